#include "profile/profile_json.h"

#include <cstring>
#include <initializer_list>
#include <nlohmann/json.hpp>

#include "common/text_format.h"
#include "files/bounded_file_read.h"
#include "idtable/id_entry.h"
#include "idtable/id_table.h"
#include "idtable/input_filters.h"
#include "profile/json_duplicate_keys.h"
#include "protocol/option_values.h"

namespace b6409 {

namespace {

using Json = nlohmann::json;

// Four lists of the longest a module reads back, at about sixty bytes a row, with room to spare.
constexpr uint64_t kProfileFileLimit = 32 * 1024 * 1024;

// Texts that are no UTF-8 cannot come from a document; any from elsewhere are written with the
// replacement character rather than make the whole save fail.
std::string Quoted(const std::string& text) {
    return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

void WriteRows(std::string& out, const char* key, const std::vector<ProfileRow>& rows, bool last) {
    out += "      \"";
    out += key;
    out += "\": [";
    for (size_t i = 0; i < rows.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        out += "        [" + Quoted(rows[i].type) + ", " + Quoted(rows[i].id) + "]";
    }
    out += rows.empty() ? "]" : "\n      ]";
    out += last ? "\n" : ",\n";
}

// The first fault found while reading; later checks are skipped once it is set.
class Reader {
  public:
    bool failed() const { return !problem_.empty(); }
    const std::string& problem() const { return problem_; }

    void Fail(const std::string& path, const std::string& why) {
        if (!failed()) problem_ = (path.empty() ? std::string("(document)") : path) + ": " + why;
    }

    // The object's keys must be among the known ones, and the required ones present.
    bool CheckKeys(const Json& object, const std::string& path,
                   std::initializer_list<const char*> required,
                   std::initializer_list<const char*> optional = {}) {
        if (!object.is_object()) {
            Fail(path, "must be an object");
            return false;
        }
        for (const auto& [key, value] : object.items()) {
            bool known = false;
            for (const char* k : required) known = known || key == k;
            for (const char* k : optional) known = known || key == k;
            if (!known) {
                Fail(Join(path, key), "unknown key");
                return false;
            }
        }
        for (const char* k : required) {
            if (!object.contains(k)) {
                Fail(Join(path, k), "missing");
                return false;
            }
        }
        return true;
    }

    static std::string Join(const std::string& path, const std::string& key) {
        return path.empty() ? key : path + "." + key;
    }

  private:
    std::string problem_;
};

// The option checks speak to someone about to send; here the caller says what was not sent.
std::string OptionProblem(CommandKind kind, const std::string& valueText) {
    std::string problem = OptionValueProblem(kind, valueText).value_or("");
    const std::string_view ending = " Nothing was sent.";
    if (problem.size() >= ending.size() &&
        problem.compare(problem.size() - ending.size(), ending.size(), ending) == 0)
        problem.resize(problem.size() - ending.size());
    if (!problem.empty() && problem.back() == '.') problem.pop_back();
    return problem;
}

std::string IndexPath(const std::string& path, size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

void ReadRows(Reader& reader, const Json& rows, const std::string& path, IdListMode mode,
              int modulePort, std::vector<ProfileRow>* out) {
    if (!rows.is_array()) return reader.Fail(path, "must be an array of rows");
    for (size_t i = 0; i < rows.size() && !reader.failed(); ++i) {
        const Json& row = rows[i];
        const std::string rowPath = IndexPath(path, i);
        if (!row.is_array() || row.size() != 2 || !row[0].is_string() || !row[1].is_string())
            return reader.Fail(rowPath, "must be a row [\"type text\", \"ID text\"]");
        const ProfileRow read{row[0].get<std::string>(), row[1].get<std::string>()};
        const RowEntry entry = ReadRowEntry(mode, read.type, read.id);
        if (!entry.entry)
            return reader.Fail(rowPath, FormatText("module port %d, row %s: ", modulePort,
                                                   RowNumberText(i + 1).c_str()) +
                                            entry.problem);
        out->push_back(read);
    }
}

void ReadPort(Reader& reader, const Json& port, const std::string& path, int modulePort,
              PortProfile* out) {
    if (!reader.CheckKeys(port, path, {"userBaud", "listenOnly", "filter", "mapping"})) return;
    const Json& baud = port["userBaud"];
    const std::string baudPath = Reader::Join(path, "userBaud");
    if (baud.is_string()) {
        const std::string text = baud.get<std::string>();
        if (text.empty() || text.size() > kOptionValueLimit || !OptionValueFilterAccepts(text))
            return reader.Fail(baudPath, "\"" + text +
                                             "\" is not a bit rate in kbit/s as the dialog takes "
                                             "it (e.g. \"83.333\" or \"125\")");
        if (const std::string problem = OptionProblem(CommandKind::SetUserBaud, text);
            !problem.empty())
            return reader.Fail(baudPath, problem);
        out->userBaud = text;
    } else if (!baud.is_null()) {
        return reader.Fail(baudPath, "must be a text such as \"83.333\", or null for no record");
    }
    const Json& listenOnly = port["listenOnly"];
    if (!listenOnly.is_boolean())
        return reader.Fail(Reader::Join(path, "listenOnly"), "must be true or false");
    out->listenOnly = listenOnly.get<bool>();
    ReadRows(reader, port["filter"], Reader::Join(path, "filter"), IdListMode::Filter, modulePort,
             &out->filter);
    ReadRows(reader, port["mapping"], Reader::Join(path, "mapping"), IdListMode::Mapping,
             modulePort, &out->mapping);
}

void ReadDocument(Reader& reader, const Json& document, ModuleProfile* out) {
    if (!reader.CheckKeys(document, "", {"format", "busOffSeconds", "ports"},
                          {"firmware", "saved"}))
        return;
    const Json& format = document["format"];
    if (!format.is_number_integer()) return reader.Fail("format", "must be a whole number");
    if (format.get<int64_t>() != kProfileFormat)
        return reader.Fail(
            "format", FormatText("version %lld is not one this program reads (%d)",
                                 static_cast<long long>(format.get<int64_t>()), kProfileFormat));
    for (const char* info : {"firmware", "saved"}) {
        if (document.contains(info) && !document[info].is_string())
            return reader.Fail(info, "must be a text");
    }
    if (document.contains("firmware")) out->firmware = document["firmware"].get<std::string>();
    if (document.contains("saved")) out->savedAt = document["saved"].get<std::string>();

    const Json& busOff = document["busOffSeconds"];
    if (!busOff.is_number_unsigned())
        return reader.Fail("busOffSeconds", "must be a whole number of seconds, 0 or more");
    const uint64_t seconds = busOff.get<uint64_t>();
    const std::string secondsText = std::to_string(seconds);
    // Beyond 32 bits the option check would read the text as the largest number, still refused.
    if (const std::string problem = OptionProblem(CommandKind::SetBusOffResetTime, secondsText);
        !problem.empty())
        return reader.Fail("busOffSeconds", problem);
    out->busOffSeconds = static_cast<unsigned>(seconds);

    const Json& ports = document["ports"];
    if (!ports.is_array() || ports.size() != out->ports.size())
        return reader.Fail("ports", "must be an array of two ports (module port 1, then 2)");
    for (size_t i = 0; i < ports.size() && !reader.failed(); ++i)
        ReadPort(reader, ports[i], IndexPath("ports", i), static_cast<int>(i + 1), &out->ports[i]);
}

}  // namespace

std::string WriteProfileJson(const ModuleProfile& profile) {
    std::string out = "{\n";
    out += FormatText("  \"format\": %d,\n", kProfileFormat);
    out += "  \"firmware\": " + Quoted(profile.firmware) + ",\n";
    out += "  \"saved\": " + Quoted(profile.savedAt) + ",\n";
    out += FormatText("  \"busOffSeconds\": %u,\n", profile.busOffSeconds);
    out += "  \"ports\": [\n";
    for (size_t i = 0; i < profile.ports.size(); ++i) {
        const PortProfile& port = profile.ports[i];
        out += "    {\n";
        out += "      \"userBaud\": " + (port.userBaud ? Quoted(*port.userBaud) : "null") + ",\n";
        out += std::string("      \"listenOnly\": ") + (port.listenOnly ? "true" : "false") + ",\n";
        WriteRows(out, "filter", port.filter, false);
        WriteRows(out, "mapping", port.mapping, true);
        out += i + 1 == profile.ports.size() ? "    }\n" : "    },\n";
    }
    out += "  ]\n}\n";
    return out;
}

ProfileReading ReadProfileJson(std::string_view text) {
    ProfileReading reading;
    Json document;
    try {
        document = Json::parse(text);
    } catch (const Json::parse_error& error) {
        reading.problem = FormatText("(document): not JSON, the fault is at byte %zu", error.byte);
        return reading;
    } catch (const Json::exception&) {
        // The only other fault the parser reports: a number beyond what a double holds.
        reading.problem = "(document): holds a number too large to read";
        return reading;
    }
    if (const std::optional<std::string> twice = FirstDuplicateKey(text)) {
        reading.problem = *twice + ": appears twice";
        return reading;
    }
    Reader reader;
    ModuleProfile profile;
    ReadDocument(reader, document, &profile);
    if (reader.failed())
        reading.problem = reader.problem();
    else
        reading.profile = std::move(profile);
    return reading;
}

ProfileReading ReadProfileFile(const std::string& path) {
    ProfileReading reading;
    std::vector<uint8_t> bytes;
    const BoundedRead read = ReadRegularFile(path, kProfileFileLimit, bytes);
    switch (read.status) {
        case BoundedReadStatus::Ok:
            break;
        case BoundedReadStatus::CannotOpen:
            reading.problem = path + ": cannot be opened (" + std::strerror(read.error) + ")";
            return reading;
        case BoundedReadStatus::NotAFile:
            reading.problem = path + ": not a file";
            return reading;
        case BoundedReadStatus::TooLarge:
            reading.problem = path + ": larger than any profile can be";
            return reading;
        case BoundedReadStatus::ReadFailed:
            reading.problem = path + ": cannot be read (" + std::strerror(read.error) + ")";
            return reading;
    }
    reading = ReadProfileJson(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!reading.profile) reading.problem = path + ": " + reading.problem;
    return reading;
}

AtomicWriteResult SaveProfileFile(const std::string& path, const ModuleProfile& profile) {
    const std::string text = WriteProfileJson(profile);
    return WriteFileAtomically(path, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace b6409
