#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace b6409 {

// A connection that could not be made (no such driver, an unreadable workbook). It is the one
// error that leaves SheetFile uncaught; its caller reports it.
class DatabaseError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The rows of one SELECT, read forward only.
class SpreadsheetQuery {
  public:
    virtual ~SpreadsheetQuery() = default;
    virtual int ColumnCount() = 0;
    virtual std::string ColumnName(int column) = 0;  // empty for a column that does not exist
    virtual bool AtEnd() = 0;
    // The current row's value of a 0-based column; false when there is no such value.
    virtual bool FieldValue(int column, std::string* text) = 0;
    // Steps to the next row (past the last one AtEnd turns true); false only on failure.
    virtual bool MoveNext() = 0;
};

class SpreadsheetConnection {
  public:
    // Destroying a connection that was not closed discards what its statements changed.
    virtual ~SpreadsheetConnection() = default;
    // A statement that returns no rows; false with the driver's text when it is refused.
    virtual bool Execute(const std::string& sql, std::string* errorText) = 0;
    // Null with the driver's text when the query cannot be opened.
    virtual std::unique_ptr<SpreadsheetQuery> OpenQuery(const std::string& sql,
                                                        std::string* errorText) = 0;
    // Ends the connection and makes its changes lasting. False with a reason when they could
    // not be kept (the workbook file could not be written): a failed write must not read as
    // success to the one who changed it.
    virtual bool Close(std::string* errorText) = 0;
};

class SpreadsheetDriver {
  public:
    virtual ~SpreadsheetDriver() = default;
    // Throws DatabaseError when the connection cannot be made.
    virtual std::unique_ptr<SpreadsheetConnection> Connect(const std::string& connectString) = 0;
};

// The installed drivers, by name, in the order they were installed.
class DriverRegistry {
  public:
    // The process-wide registry, holding the embedded workbook driver under
    // kEmbeddedWorkbookDriverName.
    static DriverRegistry& Default();

    // Installs (or replaces) a driver. Names are not empty and hold no zero byte.
    void Install(const std::string& name, std::unique_ptr<SpreadsheetDriver> driver);
    SpreadsheetDriver* Find(std::string_view name) const;

    // Fills buffer with the names, each ending in a zero byte, then an empty name. Names that
    // do not fit whole are left off. False when not even the empty name fits.
    bool InstalledDriverNames(char* buffer, size_t size) const;

    // Connects through the driver that the string's DRIVER={...} key names; throws
    // DatabaseError when that driver is not installed or refuses.
    std::unique_ptr<SpreadsheetConnection> Connect(const std::string& connectString) const;

  private:
    std::vector<std::pair<std::string, std::unique_ptr<SpreadsheetDriver>>> drivers_;
};

// One key of a connection string ("KEY=value;..."). Values may stand in braces, double or
// single quotes, which are removed; in braces "}}" stands for one '}', so a braced value may
// hold any text, ';' and quotes included.
struct ConnectionKey {
    std::string key;  // upper-cased
    std::string value;
};
// False with a reason when the string is malformed or names a key twice.
bool ParseConnectString(std::string_view text, std::vector<ConnectionKey>* keys,
                        std::string* errorText);
// A value as it goes into a connection string: in braces, every '}' doubled.
std::string BracedConnectValue(std::string_view value);

// The database object a SheetFile owns for its life: it opens and closes connections through
// a registry, at most one at a time.
class Database {
  public:
    explicit Database(const DriverRegistry& registry) : registry_(registry) {}

    void Open(const std::string& connectString);  // throws DatabaseError
    bool IsOpen() const { return connection_ != nullptr; }
    bool Execute(const std::string& sql, std::string* errorText);
    std::unique_ptr<SpreadsheetQuery> OpenQuery(const std::string& sql, std::string* errorText);
    // Closes the connection if one is open; false with the driver's reason when its changes
    // could not be kept.
    bool Close(std::string* errorText);

  private:
    const DriverRegistry& registry_;
    std::unique_ptr<SpreadsheetConnection> connection_;
};

}  // namespace b6409
