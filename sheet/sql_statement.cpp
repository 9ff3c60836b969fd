#include "sheet/sql_statement.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <string>

namespace b6409 {
namespace {

enum class TokenKind { Word, Number, Name, Text, Symbol, End };

// The C library's character classes, asked only about bytes beyond ASCII: every character of
// every statement passes here, and an export sends one INSERT per row.
bool IsSpace(unsigned char c) {
    return c < 0x80 ? c == ' ' || (c >= '\t' && c <= '\r') : std::isspace(c) != 0;
}
bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
bool IsAlpha(unsigned char c) {
    return c < 0x80 ? (c | 0x20) >= 'a' && (c | 0x20) <= 'z' : std::isalpha(c) != 0;
}
bool IsWordCharacter(unsigned char c) {
    return c < 0x80 ? IsAlpha(c) || IsDigit(c) || c == '_' : std::isalnum(c) != 0;
}
char ToUpper(unsigned char c) {
    if (c >= 0x80) return static_cast<char>(std::toupper(c));
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
}

// Tokens are views of the statement: most of an INSERT's thirty-odd tokens are copied
// nowhere, and the few that are, only once.
struct Token {
    TokenKind kind = TokenKind::End;
    // As written; names without their brackets, texts without their quotes and with '' undone.
    std::string_view text;
    std::string unquoted;  // what a text with '' in it views
};

// Scans with pointers kept in locals: stores into the token could otherwise alias the
// position, and every statement of an export passes here a character at a time.
class Lexer {
  public:
    explicit Lexer(std::string_view sql) : at_(sql.data()), end_(sql.data() + sql.size()) {}

    bool Next(Token* token, std::string* errorText) {
        const char* at = at_;
        const char* const end = end_;
        while (at < end && IsSpace(static_cast<unsigned char>(*at))) ++at;
        // A token that fails keeps its kind with an empty text, which the message about it shows.
        token->text = {};
        if (at == end) {
            token->kind = TokenKind::End;
            at_ = at;
            return true;
        }
        // The kinds most frequent in an INSERT first.
        const char c = *at;
        switch (c) {
            case '[': {
                const auto* close =
                    static_cast<const char*>(std::memchr(at + 1, ']', end - at - 1));
                if (!close) {
                    *errorText = "Syntax error: a name in brackets is not closed.";
                    return false;
                }
                token->kind = TokenKind::Name;
                token->text = std::string_view(at + 1, close - at - 1);
                at_ = close + 1;
                return true;
            }
            case '\'':
                return QuotedText(at + 1, token, errorText);
            case '(':
            case ')':
            case ',':
            case '*':
            case ';':
                token->kind = TokenKind::Symbol;
                token->text = std::string_view(at, 1);
                at_ = at + 1;
                return true;
            default:
                break;
        }
        if (IsAlpha(static_cast<unsigned char>(c)) || c == '_') {
            token->kind = TokenKind::Word;
            TakeWhile(at, token, IsWordCharacter);
            return true;
        }
        if (IsDigit(static_cast<unsigned char>(c))) {
            token->kind = TokenKind::Number;
            TakeWhile(at, token, IsDigit);
            return true;
        }
        *errorText = std::string("Syntax error: unexpected character '") + c + "'.";
        return false;
    }

  private:
    // From just after the opening quote.
    bool QuotedText(const char* at, Token* token, std::string* errorText) {
        token->kind = TokenKind::Text;
        token->unquoted.clear();
        for (bool doubled = false;;) {
            const auto* quote = static_cast<const char*>(std::memchr(at, '\'', end_ - at));
            if (!quote) {
                *errorText = "Syntax error: a quoted text is not closed.";
                return false;
            }
            const std::string_view piece(at, quote - at);
            at = quote + 1;
            if (at == end_ || *at != '\'') {
                token->text = piece;
                if (doubled) token->text = token->unquoted.append(piece);
                at_ = at;
                return true;
            }
            token->unquoted.append(piece) += '\'';  // '' stands for one quote
            doubled = true;
            ++at;
        }
    }

    // Takes the characters from `at` on that fit as the token's text.
    template <typename Fits>
    void TakeWhile(const char* at, Token* token, Fits fits) {
        const char* const start = at;
        while (at < end_ && fits(static_cast<unsigned char>(*at))) ++at;
        token->text = std::string_view(start, at - start);
        at_ = at;
    }

    const char* at_;
    const char* end_;
};

std::string Describe(const Token& token) {
    switch (token.kind) {
        case TokenKind::End:
            return "the end of the statement";
        case TokenKind::Name:
            return "[" + std::string(token.text) + "]";
        case TokenKind::Text:
            return "a quoted text";
        default:
            return "'" + std::string(token.text) + "'";
    }
}

class Parser {
  public:
    explicit Parser(std::string_view sql) : lexer_(sql) {}

    bool Parse(Statement* out, std::string* errorText) {
        error_ = errorText;
        if (!Advance()) return false;
        if (IsWord("DROP")) {
            out->kind = StatementKind::DropTable;
            if (!Advance() || !ExpectWord("TABLE") || !Table(&out->table)) return false;
        } else if (IsWord("CREATE")) {
            out->kind = StatementKind::CreateTable;
            if (!Advance() || !ExpectWord("TABLE") || !Table(&out->table) || !ExpectSymbol('('))
                return false;
            do {
                if (!Name(&out->columns) || !ColumnType()) return false;
            } while (AcceptSymbol(','));
            if (!ExpectSymbol(')')) return false;
        } else if (IsWord("INSERT")) {
            out->kind = StatementKind::Insert;
            if (!Advance() || !ExpectWord("INTO") || !Table(&out->table)) return false;
            if (AcceptSymbol('(')) {
                do {
                    if (!Name(&out->columns)) return false;
                } while (AcceptSymbol(','));
                if (!ExpectSymbol(')')) return false;
            }
            if (!ExpectWord("VALUES") || !ExpectSymbol('(')) return false;
            do {
                if (token_.kind != TokenKind::Text)
                    return Refuse("Syntax error: expected a quoted value, found " +
                                  Describe(token_) + ".");
                out->values.emplace_back(token_.text);
                if (!Advance()) return false;
            } while (AcceptSymbol(','));
            if (!ExpectSymbol(')')) return false;
            if (!out->columns.empty() && out->columns.size() != out->values.size())
                return Refuse("Number of query values and destination fields are not the same.");
        } else if (IsWord("SELECT")) {
            out->kind = StatementKind::Select;
            if (!Advance() || !ExpectSymbol('*') || !ExpectWord("FROM") || !Table(&out->table))
                return false;
        } else {
            return Refuse(
                "Invalid SQL statement; expected 'DROP', 'CREATE', 'INSERT' or 'SELECT'.");
        }
        AcceptSymbol(';');
        if (token_.kind != TokenKind::End)
            return Refuse("Syntax error: unexpected " + Describe(token_) + " after the statement.");
        return true;
    }

  private:
    bool Advance() { return lexer_.Next(&token_, error_); }
    bool Refuse(std::string text) {
        *error_ = std::move(text);
        return false;
    }
    // A keyword in any letter case.
    bool IsWord(std::string_view word) const {
        return token_.kind == TokenKind::Word && token_.text.size() == word.size() &&
               std::equal(word.begin(), word.end(), token_.text.begin(), [](char k, char c) {
                   return k == ToUpper(static_cast<unsigned char>(c));
               });
    }
    bool ExpectWord(const char* word) {
        if (!IsWord(word))
            return Refuse(std::string("Syntax error: expected '") + word + "', found " +
                          Describe(token_) + ".");
        return Advance();
    }
    // A symbol that failed to lex further has an empty text.
    bool IsSymbol(char symbol) const {
        return token_.kind == TokenKind::Symbol && !token_.text.empty() && token_.text[0] == symbol;
    }
    bool AcceptSymbol(char symbol) {
        if (!IsSymbol(symbol)) return false;
        return Advance();
    }
    bool ExpectSymbol(char symbol) {
        if (!IsSymbol(symbol))
            return Refuse(std::string("Syntax error: expected '") + symbol + "', found " +
                          Describe(token_) + ".");
        return Advance();
    }
    // Adds the name to names.
    bool Name(std::vector<std::string>* names) {
        if (token_.kind != TokenKind::Name && token_.kind != TokenKind::Word)
            return Refuse("Syntax error: expected a name, found " + Describe(token_) + ".");
        if (token_.text.empty()) return Refuse("Syntax error: a name is empty.");
        names->emplace_back(token_.text);
        return Advance();
    }
    bool ColumnType() {
        if (!IsWord("CHAR") && !IsWord("VARCHAR"))
            return Refuse("Syntax error: expected a column type char(n), found " +
                          Describe(token_) + ".");
        if (!Advance() || !ExpectSymbol('(')) return false;
        if (token_.kind != TokenKind::Number || token_.text.size() > 3 ||
            std::stoi(std::string(token_.text)) < 1 || std::stoi(std::string(token_.text)) > 255)
            return Refuse("Syntax error: a text column holds 1 to 255 characters.");
        return Advance() && ExpectSymbol(')');
    }
    bool Table(TableName* table) {
        if (token_.kind != TokenKind::Name && token_.kind != TokenKind::Word)
            return Refuse("Syntax error: expected a table name, found " + Describe(token_) + ".");
        const std::string_view text = token_.text;
        *table = TableName();
        const size_t dollar = text.rfind('$');
        if (token_.kind == TokenKind::Word || dollar == std::string_view::npos) {
            table->sheet.assign(text);
        } else {
            table->sheet.assign(text.substr(0, dollar));
            const std::string_view range = text.substr(dollar + 1);
            if (!range.empty() && !ParseRange(range, table))
                return Refuse("Invalid range '" + std::string(range) +
                              "'; expected A1:<column><row> within A1:IV65536.");
        }
        if (table->sheet.empty()) return Refuse("Syntax error: a table name is empty.");
        return Advance();
    }
    static bool ParseRange(std::string_view range, TableName* table) {
        if (range.size() < 4 || (range[0] != 'A' && range[0] != 'a') || range[1] != '1' ||
            range[2] != ':')
            return false;
        size_t i = 3;
        int column = 0;
        while (i < range.size() && IsAlpha(static_cast<unsigned char>(range[i])) && i < 5) {
            const auto letter =
                static_cast<unsigned char>(ToUpper(static_cast<unsigned char>(range[i])));
            column = column * 26 + (letter - 'A' + 1);
            ++i;
        }
        if (column < 1 || column > 256 || i == range.size() || range.size() - i > 5) return false;
        int32_t row = 0;
        for (; i < range.size(); ++i) {
            if (!IsDigit(static_cast<unsigned char>(range[i]))) return false;
            row = row * 10 + (range[i] - '0');
        }
        if (row < 1 || row > 65536) return false;
        table->hasRange = true;
        table->lastColumn = column;
        table->lastRow = row;
        return true;
    }

    Lexer lexer_;
    Token token_;
    std::string* error_ = nullptr;
};

}  // namespace

bool ParseStatement(std::string_view sql, Statement* out, std::string* errorText) {
    // Emptied rather than replaced: a caller that parses into the same statement again and
    // again (one INSERT per row) keeps its lists' memory.
    auto reset = [out] {
        out->kind = StatementKind::Select;
        out->table = TableName();
        out->columns.clear();
        out->values.clear();
    };
    reset();
    std::string ignored;
    Parser parser(sql);
    if (parser.Parse(out, errorText ? errorText : &ignored)) return true;
    reset();
    return false;
}

void AppendSqlText(std::string& out, std::string_view text) {
    for (size_t from = 0;;) {
        const size_t quote = text.find('\'', from);
        if (quote == std::string_view::npos) {
            out.append(text.substr(from));
            return;
        }
        out.append(text.substr(from, quote + 1 - from)).push_back('\'');
        from = quote + 1;
    }
}

std::string EscapeSqlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendSqlText(out, text);
    return out;
}

}  // namespace b6409
