#pragma once

#include <cstdint>
#include <string>

#include "common/clock.h"
#include "common/message_sink.h"
#include "link/can_frame.h"
#include "link/device_link.h"
#include "link/link_settings.h"
#include "protocol/command_kind.h"
#include "protocol/exchange_pacing.h"

namespace b6409 {

// Takes the entry frames of a list read, in arrival order: the entry code (data bytes 2-3) and
// the value (data bytes 4-7). The ID table pairs the halves of ranges and mappings.
class ListReader {
  public:
    virtual ~ListReader() = default;
    virtual void ResetReceivePairing() = 0;  // a read starts
    virtual void AppendReceived(uint16_t code, uint32_t value) = 0;
};

// What an exchange reads at the moment it starts.
struct ExchangeInputs {
    LinkSettings settings;
    std::string optionValueText;       // for SetUserBaud, SetBusOffResetTime, SetListenOnly*
    ListStep listStep;                 // for SetFilterList, SetMappingList
    ListReader* listReader = nullptr;  // for GetFilterList, GetMappingList
    // Receives the accepted reply, for callers that keep the value rather than show it.
    CanFrame* acceptedReply = nullptr;
};

// What an exchange uses from the outside.
struct ExchangeServices {
    LinkFactory& links;
    MessageSink& sink;
    Clock& clock;
    Pacing pacing = Pacing::Fixed;
};

// Most entry frames a list read takes; one more ends it as failed.
inline constexpr int kListReadEntryLimit = 65535;

// The request frame of a command: 11-bit data frame, DLC 8.
CanFrame BuildRequest(CommandKind command, const LinkNumbers& numbers,
                      const ExchangeInputs& inputs);

// Opens the link of the chosen kind, sends one request, waits for the reply (or, for a list
// read, the run of entry frames up to the end frame), closes the link and shows the outcome. An
// option value the request cannot carry as typed is refused first (Refused, nothing opened).
CommandResult ExchangeCommand(DeviceKind kind, CommandKind command, const ExchangeInputs& inputs,
                              const ExchangeServices& services);

}  // namespace b6409
