#include "cli/ctl_json.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "idtable/id_table.h"
#include "idtable/list_transfer.h"
#include "protocol/exchange.h"
#include "protocol/reply_values.h"

namespace b6409 {

namespace {

using Json = nlohmann::ordered_json;

class CollectingSink final : public MessageSink {
  public:
    void Show(const std::string& text, MessageIcon) override { texts.push_back(text); }
    void ShowWithDetail(const std::string& text, MessageIcon icon,
                        const std::string& detail) override {
        Show(text, icon);
        if (!detail.empty()) std::fprintf(stderr, "b6409ctl: %s\n", detail.c_str());
    }
    std::vector<std::string> texts;
};

}  // namespace

bool TakesJson(const std::string& command) {
    for (const char* name : {"info", "get-baud", "get-busoff", "get-listen-only", "read"})
        if (command == name) return true;
    return false;
}

int RunCtlJson(const CtlInvocation& run, LinkFactory& links, Clock& clock, std::FILE* out) {
    CollectingSink sink;
    const ExchangeServices services{links, sink, clock, run.pacing};
    Json result;
    result["command"] = run.command;
    result["modulePort"] = run.settings.modulePortIndex + 1;
    CommandResult status;
    Json value;
    if (run.listMode) {
        IdTable table;
        status = ReadList(*run.listMode, table, run.settings, services);
        result["list"] = run.arguments[0];
        // The rows that came are kept also when the read failed, as the plain output prints them.
        value = Json::array();
        for (const IdRow& row : table.Rows()) value.push_back({row.number, row.type, row.id});
        result["rows"] = value;
    } else {
        CanFrame reply;
        ExchangeInputs inputs;
        inputs.settings = run.settings;
        inputs.acceptedReply = &reply;
        status = ExchangeCommand(run.settings.deviceKind, run.commandKind, inputs, services);
        if (status == CommandResult::Ok) {
            if (run.command == "info") {
                result["firmware"] = FirmwareVersionText(reply);
            } else if (run.command == "get-baud") {
                const auto baud = UserBaudText(reply);
                result["userBaud"] = baud ? Json(*baud) : Json(nullptr);
            } else if (run.command == "get-busoff") {
                result["busOffSeconds"] = reply.Word(0);
            } else {
                result["listenOnly"] = reply.Word(0) != 0;
            }
        }
    }
    result["status"] = static_cast<int>(status);
    result["messages"] = sink.texts;
    std::fprintf(out, "%s\n", result.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
    std::fflush(out);
    return static_cast<int>(status);
}

}  // namespace b6409
