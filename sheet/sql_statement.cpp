#include "sheet/sql_statement.h"

#include <cctype>
#include <optional>

namespace b6409 {
namespace {

enum class TokenKind { Word, Number, Name, Text, Symbol, End };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;   // as written; texts without their quotes and with '' undone
    std::string upper;  // words only: upper-cased, for keyword checks
};

class Lexer {
  public:
    explicit Lexer(std::string_view sql) : sql_(sql) {}

    bool Next(Token* token, std::string* errorText) {
        while (pos_ < sql_.size() && std::isspace(static_cast<unsigned char>(sql_[pos_]))) ++pos_;
        token->text.clear();
        token->upper.clear();
        if (pos_ >= sql_.size()) {
            token->kind = TokenKind::End;
            return true;
        }
        const char c = sql_[pos_];
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            token->kind = TokenKind::Word;
            while (pos_ < sql_.size() &&
                   (std::isalnum(static_cast<unsigned char>(sql_[pos_])) || sql_[pos_] == '_'))
                token->text += sql_[pos_++];
            for (char w : token->text)
                token->upper += static_cast<char>(std::toupper(static_cast<unsigned char>(w)));
            return true;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            token->kind = TokenKind::Number;
            while (pos_ < sql_.size() && std::isdigit(static_cast<unsigned char>(sql_[pos_])))
                token->text += sql_[pos_++];
            return true;
        }
        if (c == '[') {
            const size_t close = sql_.find(']', pos_ + 1);
            if (close == std::string_view::npos) {
                *errorText = "Syntax error: a name in brackets is not closed.";
                return false;
            }
            token->kind = TokenKind::Name;
            token->text = std::string(sql_.substr(pos_ + 1, close - pos_ - 1));
            pos_ = close + 1;
            return true;
        }
        if (c == '\'') {
            token->kind = TokenKind::Text;
            ++pos_;
            for (;;) {
                if (pos_ >= sql_.size()) {
                    *errorText = "Syntax error: a quoted text is not closed.";
                    return false;
                }
                if (sql_[pos_] == '\'') {
                    if (pos_ + 1 < sql_.size() && sql_[pos_ + 1] == '\'') {
                        token->text += '\'';
                        pos_ += 2;
                        continue;
                    }
                    ++pos_;
                    return true;
                }
                token->text += sql_[pos_++];
            }
        }
        if (c == '(' || c == ')' || c == ',' || c == '*' || c == ';') {
            token->kind = TokenKind::Symbol;
            token->text = std::string(1, c);
            ++pos_;
            return true;
        }
        *errorText = std::string("Syntax error: unexpected character '") + c + "'.";
        return false;
    }

  private:
    std::string_view sql_;
    size_t pos_ = 0;
};

std::string Describe(const Token& token) {
    switch (token.kind) {
        case TokenKind::End:
            return "the end of the statement";
        case TokenKind::Name:
            return "[" + token.text + "]";
        case TokenKind::Text:
            return "a quoted text";
        default:
            return "'" + token.text + "'";
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
                std::string name;
                if (!Name(&name) || !ColumnType()) return false;
                out->columns.push_back(std::move(name));
            } while (AcceptSymbol(','));
            if (!ExpectSymbol(')')) return false;
        } else if (IsWord("INSERT")) {
            out->kind = StatementKind::Insert;
            if (!Advance() || !ExpectWord("INTO") || !Table(&out->table)) return false;
            if (AcceptSymbol('(')) {
                do {
                    std::string name;
                    if (!Name(&name)) return false;
                    out->columns.push_back(std::move(name));
                } while (AcceptSymbol(','));
                if (!ExpectSymbol(')')) return false;
            }
            if (!ExpectWord("VALUES") || !ExpectSymbol('(')) return false;
            do {
                if (token_.kind != TokenKind::Text)
                    return Refuse("Syntax error: expected a quoted value, found " +
                                  Describe(token_) + ".");
                out->values.push_back(token_.text);
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
    bool IsWord(const char* word) const {
        return token_.kind == TokenKind::Word && token_.upper == word;
    }
    bool ExpectWord(const char* word) {
        if (!IsWord(word))
            return Refuse(std::string("Syntax error: expected '") + word + "', found " +
                          Describe(token_) + ".");
        return Advance();
    }
    bool AcceptSymbol(char symbol) {
        if (token_.kind != TokenKind::Symbol || token_.text[0] != symbol) return false;
        return Advance();
    }
    bool ExpectSymbol(char symbol) {
        if (token_.kind != TokenKind::Symbol || token_.text[0] != symbol)
            return Refuse(std::string("Syntax error: expected '") + symbol + "', found " +
                          Describe(token_) + ".");
        return Advance();
    }
    bool Name(std::string* name) {
        if (token_.kind == TokenKind::Name || token_.kind == TokenKind::Word) {
            *name = token_.text;
        } else {
            return Refuse("Syntax error: expected a name, found " + Describe(token_) + ".");
        }
        if (name->empty()) return Refuse("Syntax error: a name is empty.");
        return Advance();
    }
    bool ColumnType() {
        if (!IsWord("CHAR") && !IsWord("VARCHAR"))
            return Refuse("Syntax error: expected a column type char(n), found " +
                          Describe(token_) + ".");
        if (!Advance() || !ExpectSymbol('(')) return false;
        if (token_.kind != TokenKind::Number || token_.text.size() > 3 ||
            std::stoi(token_.text) < 1 || std::stoi(token_.text) > 255)
            return Refuse("Syntax error: a text column holds 1 to 255 characters.");
        return Advance() && ExpectSymbol(')');
    }
    bool Table(TableName* table) {
        if (token_.kind != TokenKind::Name && token_.kind != TokenKind::Word)
            return Refuse("Syntax error: expected a table name, found " + Describe(token_) + ".");
        const std::string text = token_.text;
        *table = TableName();
        const size_t dollar = text.rfind('$');
        if (token_.kind == TokenKind::Word || dollar == std::string::npos) {
            table->sheet = text;
        } else {
            table->sheet = text.substr(0, dollar);
            const std::string range = text.substr(dollar + 1);
            if (!range.empty() && !ParseRange(range, table))
                return Refuse("Invalid range '" + range +
                              "'; expected A1:<column><row> within A1:IV65536.");
        }
        if (table->sheet.empty()) return Refuse("Syntax error: a table name is empty.");
        return Advance();
    }
    static bool ParseRange(const std::string& range, TableName* table) {
        if (range.size() < 4 || (range[0] != 'A' && range[0] != 'a') || range[1] != '1' ||
            range[2] != ':')
            return false;
        size_t i = 3;
        int column = 0;
        while (i < range.size() && std::isalpha(static_cast<unsigned char>(range[i])) && i < 5) {
            column = column * 26 + (std::toupper(static_cast<unsigned char>(range[i])) - 'A' + 1);
            ++i;
        }
        if (column < 1 || column > 256 || i == range.size() || range.size() - i > 5) return false;
        int32_t row = 0;
        for (; i < range.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(range[i]))) return false;
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
    *out = Statement();
    std::string ignored;
    Parser parser(sql);
    if (parser.Parse(out, errorText ? errorText : &ignored)) return true;
    *out = Statement();
    return false;
}

std::string EscapeSqlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

}  // namespace b6409
