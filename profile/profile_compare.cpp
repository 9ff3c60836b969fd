#include "profile/profile_compare.h"

#include <algorithm>
#include <optional>

#include "common/text_format.h"
#include "idtable/id_entry.h"
#include "idtable/id_table.h"
#include "protocol/option_values.h"

namespace b6409 {

namespace {

std::string BaudText(const std::optional<std::string>& baud) {
    return baud ? *baud + " kbit/s" : "no record";
}

bool SameBaud(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    if (!a || !b) return !a && !b;
    return PackUserBaud(*a) == PackUserBaud(*b);
}

std::string RowText(const std::vector<ProfileRow>& rows, size_t i) {
    if (i >= rows.size()) return "no such row";
    return "[\"" + rows[i].type + "\", \"" + rows[i].id + "\"]";
}

bool SameRow(IdListMode mode, const ProfileRow& a, const ProfileRow& b) {
    const RowEntry x = ReadRowEntry(mode, a.type, a.id);
    const RowEntry y = ReadRowEntry(mode, b.type, b.id);
    if (!x.entry || !y.entry) return a == b;
    return x.entry->kind == y.entry->kind && x.entry->first == y.entry->first &&
           x.entry->second == y.entry->second;
}

void CompareList(const std::string& portName, const char* listName, IdListMode mode,
                 const std::vector<ProfileRow>& wanted, const std::vector<ProfileRow>& module,
                 std::vector<SettingComparison>* out) {
    const size_t before = out->size();
    const size_t count = std::max(wanted.size(), module.size());
    for (size_t i = 0; i < count; ++i) {
        if (i < wanted.size() && i < module.size() && SameRow(mode, wanted[i], module[i])) continue;
        out->push_back({portName + " " + listName + " row " + RowNumberText(i + 1), false,
                        RowText(wanted, i), RowText(module, i)});
    }
    if (out->size() == before)
        out->push_back({portName + " " + listName + " list", true,
                        FormatText("%zu rows", wanted.size()),
                        FormatText("%zu rows", module.size())});
}

}  // namespace

std::vector<SettingComparison> CompareProfiles(const ModuleProfile& wanted,
                                               const ModuleProfile& module) {
    std::vector<SettingComparison> out;
    for (size_t p = 0; p < wanted.ports.size(); ++p) {
        const PortProfile& w = wanted.ports[p];
        const PortProfile& m = module.ports[p];
        const std::string portName = FormatText("port %zu", p + 1);
        CompareList(portName, "filter", IdListMode::Filter, w.filter, m.filter, &out);
        CompareList(portName, "mapping", IdListMode::Mapping, w.mapping, m.mapping, &out);
        out.push_back({portName + " bit rate", SameBaud(w.userBaud, m.userBaud),
                       BaudText(w.userBaud), BaudText(m.userBaud)});
        out.push_back({portName + " listen-only", w.listenOnly == m.listenOnly,
                       w.listenOnly ? "on" : "off", m.listenOnly ? "on" : "off"});
    }
    out.push_back({"bus-off time", wanted.busOffSeconds == module.busOffSeconds,
                   FormatText("%u s", wanted.busOffSeconds),
                   FormatText("%u s", module.busOffSeconds)});
    return out;
}

bool AllSame(const std::vector<SettingComparison>& comparisons) {
    return std::all_of(comparisons.begin(), comparisons.end(),
                       [](const SettingComparison& c) { return c.same; });
}

std::string ComparisonLine(const SettingComparison& comparison) {
    if (comparison.same) return comparison.setting + ": ok";
    return comparison.setting + ": differs: module has " + comparison.moduleHas + ", profile has " +
           comparison.profileHas;
}

}  // namespace b6409
