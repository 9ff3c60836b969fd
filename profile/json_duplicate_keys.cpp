#include "profile/json_duplicate_keys.h"

#include <nlohmann/json.hpp>
#include <set>
#include <vector>

namespace b6409 {

namespace {

using Json = nlohmann::json;

// Follows the document's structure as the parser walks it, and stops at the first key that its
// object already holds.
class DuplicateKeyFinder : public nlohmann::json_sax<Json> {
  public:
    const std::optional<std::string>& duplicate() const { return duplicate_; }

    bool null() override { return Scalar(); }
    bool boolean(bool) override { return Scalar(); }
    bool number_integer(number_integer_t) override { return Scalar(); }
    bool number_unsigned(number_unsigned_t) override { return Scalar(); }
    bool number_float(number_float_t, const string_t&) override { return Scalar(); }
    bool string(string_t&) override { return Scalar(); }
    bool binary(binary_t&) override { return Scalar(); }
    bool start_object(std::size_t) override { return Open(false); }
    bool start_array(std::size_t) override { return Open(true); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }
    bool key(string_t& key) override {
        Level& object = levels_.back();
        if (!object.keys.insert(key).second) {
            duplicate_ = Join(object.path, key);
            return false;
        }
        object.key = key;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

  private:
    struct Level {
        bool array = false;
        std::string path;
        std::size_t next = 0;  // of an array: the index of its next element
        std::set<std::string> keys;
        std::string key;  // of an object: the key of the value about to come
    };

    static std::string Join(const std::string& path, const std::string& key) {
        return path.empty() ? key : path + "." + key;
    }
    // The path of the value that starts now.
    std::string NextPath() {
        if (levels_.empty()) return {};
        Level& parent = levels_.back();
        if (parent.array) return parent.path + "[" + std::to_string(parent.next++) + "]";
        return Join(parent.path, parent.key);
    }
    bool Scalar() {
        NextPath();
        return true;
    }
    bool Open(bool array) {
        Level level;
        level.array = array;
        level.path = NextPath();
        levels_.push_back(std::move(level));
        return true;
    }
    bool Close() {
        levels_.pop_back();
        return true;
    }

    std::vector<Level> levels_;
    std::optional<std::string> duplicate_;
};

}  // namespace

std::optional<std::string> FirstDuplicateKey(std::string_view text) {
    DuplicateKeyFinder finder;
    try {
        Json::sax_parse(text, &finder);
    } catch (const Json::exception&) {
        // Faults of the text itself are the reader's to name.
    }
    return finder.duplicate();
}

}  // namespace b6409
