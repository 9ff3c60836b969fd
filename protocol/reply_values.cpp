#include "protocol/reply_values.h"

#include "common/text_format.h"

namespace b6409 {

std::string FirmwareVersionText(const CanFrame& reply) {
    return FormatText("v%X.%02X", reply.data[1], reply.data[0]);
}

std::optional<std::string> UserBaudText(const CanFrame& reply) {
    // A one-byte reply is the module's way of saying it holds no record.
    if (reply.dlc == 1) return std::nullopt;
    const unsigned integer = reply.Word(0), fraction = reply.Word(2);
    return fraction == 0 ? FormatText("%u", integer) : FormatText("%u.%u", integer, fraction);
}

}  // namespace b6409
