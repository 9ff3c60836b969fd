#pragma once

#include <optional>
#include <string>

#include "link/can_frame.h"

namespace b6409 {

// The values of accepted replies, for callers that keep them (profiles, scripts) rather than
// show the message.

// "v1.05": the firmware version of a module-information reply.
std::string FirmwareVersionText(const CanFrame& reply);

// The user-defined bit rate of a reply as the dialog takes it: "83.333", or "125" for a rate of
// no fraction, which the module holds the same; none when the module has no record.
std::optional<std::string> UserBaudText(const CanFrame& reply);

}  // namespace b6409
