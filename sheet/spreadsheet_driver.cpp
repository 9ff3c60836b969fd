#include "sheet/spreadsheet_driver.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "sheet/workbook_driver.h"

namespace b6409 {

DriverRegistry& DriverRegistry::Default() {
    static DriverRegistry registry = [] {
        DriverRegistry r;
        r.Install(kEmbeddedWorkbookDriverName, std::make_unique<WorkbookDriver>());
        return r;
    }();
    return registry;
}

void DriverRegistry::Install(const std::string& name, std::unique_ptr<SpreadsheetDriver> driver) {
    if (name.empty() || name.find('\0') != std::string::npos)
        throw std::invalid_argument("a driver name is empty or holds a zero byte");
    for (auto& entry : drivers_)
        if (entry.first == name) {
            entry.second = std::move(driver);
            return;
        }
    drivers_.emplace_back(name, std::move(driver));
}

SpreadsheetDriver* DriverRegistry::Find(std::string_view name) const {
    for (const auto& entry : drivers_)
        if (entry.first == name) return entry.second.get();
    return nullptr;
}

bool DriverRegistry::InstalledDriverNames(char* buffer, size_t size) const {
    if (buffer == nullptr || size == 0) return false;
    size_t used = 0;
    for (const auto& entry : drivers_) {
        const size_t need = entry.first.size() + 1;
        if (used + need + 1 > size) break;  // keep room for the closing empty name
        std::memcpy(buffer + used, entry.first.c_str(), need);
        used += need;
    }
    buffer[used] = '\0';
    return true;
}

std::unique_ptr<SpreadsheetConnection> DriverRegistry::Connect(
    const std::string& connectString) const {
    std::vector<ConnectionKey> keys;
    std::string error;
    if (!ParseConnectString(connectString, &keys, &error))
        throw DatabaseError("Invalid connection string: " + error);
    const auto driverKey = std::find_if(keys.begin(), keys.end(),
                                        [](const ConnectionKey& k) { return k.key == "DRIVER"; });
    if (driverKey == keys.end())
        throw DatabaseError("Data source name not found and no driver specified.");
    SpreadsheetDriver* driver = Find(driverKey->value);
    if (driver == nullptr)
        throw DatabaseError("Driver '" + driverKey->value + "' is not installed.");
    return driver->Connect(connectString);
}

bool ParseConnectString(std::string_view text, std::vector<ConnectionKey>* keys,
                        std::string* errorText) {
    keys->clear();
    auto fail = [&](std::string reason) {
        if (errorText) *errorText = std::move(reason);
        keys->clear();
        return false;
    };
    auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && (isSpace(text[pos]) || text[pos] == ';')) ++pos;
        if (pos >= text.size()) break;
        const size_t equals = text.find('=', pos);
        const size_t semicolon = text.find(';', pos);
        if (equals == std::string_view::npos || equals > semicolon)
            return fail("'" + std::string(text.substr(pos, semicolon - pos)) +
                        "' is not KEY=value");
        ConnectionKey entry;
        for (size_t i = pos; i < equals; ++i)
            if (!isSpace(text[i]))
                entry.key += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        if (entry.key.empty()) return fail("a key is empty");
        pos = equals + 1;
        const char open = pos < text.size() ? text[pos] : '\0';
        if (open == '{' || open == '"' || open == '\'') {
            const char close = open == '{' ? '}' : open;
            for (size_t from = pos + 1;;) {
                const size_t end = text.find(close, from);
                if (end == std::string_view::npos)
                    return fail("the value of " + entry.key + " is not closed");
                entry.value.append(text.substr(from, end - from));
                pos = end + 1;
                // Within braces "}}" is one brace of the value, so a value may hold any text.
                if (open != '{' || pos >= text.size() || text[pos] != '}') break;
                entry.value += '}';
                from = pos + 1;
            }
            while (pos < text.size() && isSpace(text[pos])) ++pos;
            if (pos < text.size() && text[pos] != ';')
                return fail("text follows the closed value of " + entry.key);
        } else {
            const size_t end = std::min(text.find(';', pos), text.size());
            entry.value = std::string(text.substr(pos, end - pos));
            pos = end;
        }
        for (const auto& k : *keys)
            if (k.key == entry.key) return fail("the key " + entry.key + " is given twice");
        keys->push_back(std::move(entry));
    }
    return true;
}

std::string BracedConnectValue(std::string_view value) {
    std::string braced = "{";
    for (const char c : value) {
        braced += c;
        if (c == '}') braced += '}';
    }
    return braced + "}";
}

void Database::Open(const std::string& connectString) {
    if (connection_) {
        std::string ignored;
        Close(&ignored);
    }
    connection_ = registry_.Connect(connectString);
    if (!connection_) throw DatabaseError("The driver returned no connection.");
}

bool Database::Execute(const std::string& sql, std::string* errorText) {
    if (!connection_) {
        *errorText = "The database is not open.";
        return false;
    }
    return connection_->Execute(sql, errorText);
}

std::unique_ptr<SpreadsheetQuery> Database::OpenQuery(const std::string& sql,
                                                      std::string* errorText) {
    if (!connection_) {
        *errorText = "The database is not open.";
        return nullptr;
    }
    return connection_->OpenQuery(sql, errorText);
}

bool Database::Close(std::string* errorText) {
    if (!connection_) return true;
    const bool kept = connection_->Close(errorText);
    connection_.reset();
    return kept;
}

}  // namespace b6409
