#include "link/socketcan/can_links.h"

#include <algorithm>

#include "common/text_format.h"

namespace b6409 {

namespace {

// Both record families name their frame fields alike.
template <typename Record>
Record ToRecord(const CanFrame& frame) {
    Record record{};
    record.format = frame.extended ? 1 : 0;
    record.remote = frame.remote ? 1 : 0;
    record.dlc = frame.dlc;
    record.id = frame.id;
    std::copy(frame.data.begin(), frame.data.end(), record.data);
    return record;
}

template <typename Record>
CanFrame FromRecord(const Record& record) {
    CanFrame frame;
    frame.id = record.id;
    frame.extended = record.format != 0;
    frame.remote = record.remote != 0;
    // A DLC above 8 from a layer still carries only 8 bytes.
    frame.dlc = std::min<uint8_t>(record.dlc, 8);
    std::copy(record.data, record.data + 8, frame.data.begin());
    return frame;
}

// Each failure carries what the layer tells about its latest call, read before anything else
// is called on it.
template <typename Api>
std::optional<LinkFailure> CodeFailure(const Api& api, const char* format, int code) {
    if (code == 0) return std::nullopt;
    return LinkFailure{FormatText(format, code), api.LastFailureDetail()};
}

template <typename Api>
std::optional<LinkFailure> PortCodeFailure(const Api& api, const char* format, int canPort,
                                           int code) {
    if (code == 0) return std::nullopt;
    return LinkFailure{FormatText(format, canPort, code), api.LastFailureDetail()};
}

std::optional<LinkFailure> NamedFailure(const UhvCanApi& api, int code) {
    if (code == 0) return std::nullopt;
    return LinkFailure{LibraryErrorName(code), api.LastFailureDetail()};
}

constexpr const char* kCardSendError = "Send CANMsg Error ! (ErrCode:%d)";
constexpr const char* kCardReceiveError = "Recv CANMsg Error ! (ErrCode:%d)";

// Lets every frame through at bit-rate index 5.
const CardPortConfig kAcceptAllConfig{};

uint32_t CardCount(int result) {
    return result > 0 ? static_cast<uint32_t>(result) : 0;
}

}  // namespace

std::optional<LinkFailure> UhvLink::Open() {
    UhvOpenRecord record{};
    // COM256 does not fit the record's byte and travels as 0.
    record.devicePort = static_cast<uint8_t>(numbers_.devicePortNumber);
    record.deviceKind = static_cast<uint8_t>(kind_);
    record.bitRateCan1 = numbers_.canPortNumber == 1 ? kBitRate : 0;
    record.bitRateCan2 = numbers_.canPortNumber == 2 ? kBitRate : 0;
    if (auto failure = NamedFailure(api_, api_.OpenAdapter(&record))) return failure;
    // Clears what arrived before this exchange; its result says nothing about the link.
    api_.PrepareSend(numbers_.canPortNumber);
    return std::nullopt;
}

std::optional<LinkFailure> UhvLink::SendFrame(const CanFrame& frame) {
    const auto record = ToRecord<UhvFrameRecord>(frame);
    return NamedFailure(api_, api_.SendFrame(numbers_.canPortNumber, &record));
}

uint32_t UhvLink::WaitingCount() {
    uint32_t count = 0;
    api_.CountReceived(numbers_.canPortNumber, &count);
    return count;
}

bool UhvLink::WaitForReply(unsigned timeoutMs) {
    return api_.WaitReceived(numbers_.canPortNumber, timeoutMs);
}

ReceiveOutcome UhvLink::ReceiveFrame() {
    UhvFrameRecord record{};
    const int code = api_.ReceiveFrame(numbers_.canPortNumber, &record);
    if (code != 0) return {CanFrame{}, NamedFailure(api_, code)};
    return {FromRecord(record), std::nullopt};
}

void UhvLink::Close() {
    api_.CloseAdapter(static_cast<uint8_t>(numbers_.devicePortNumber));
}

std::optional<LinkFailure> PcmLink::Open() {
    const uint8_t board = numbers_.boardNumber;
    const uint8_t port = numbers_.canPortNumber;
    if (auto failure =
            CodeFailure(api_, "Active Board Error ! (ErrCode:%d)", api_.ActivateCard(board)))
        return failure;
    if (auto failure =
            CodeFailure(api_, "Init Board Error ! (ErrCode:%d)", api_.InitPort(board, port)))
        return failure;
    return CodeFailure(api_, "Configure Board Error ! (ErrCode:%d)",
                       api_.ConfigurePort(board, port, &kAcceptAllConfig));
}

std::optional<LinkFailure> PccLink::Open() {
    const uint8_t board = numbers_.boardNumber;
    const uint8_t port = numbers_.canPortNumber;
    if (auto failure =
            CodeFailure(api_, "Active Board Error ! (ErrCode:%d)", api_.ActivateCard(board)))
        return failure;
    if (auto failure = PortCodeFailure(api_, "CAN Reset Port %d Error ! (ErrCode:%d)", port,
                                       api_.ResetPort(board, port)))
        return failure;
    if (auto failure = PortCodeFailure(api_, "CAN Init Port %d Error ! (ErrCode:%d)", port,
                                       api_.InitPort(board, port)))
        return failure;
    if (auto failure = PortCodeFailure(api_, "CAN Config Port %d Error ! (ErrCode:%d)", port,
                                       api_.ConfigurePort(board, port, &kAcceptAllConfig)))
        return failure;
    if (auto failure = PortCodeFailure(api_, "CAN Enable IRQ Port %d Error ! (ErrCode:%d)", port,
                                       api_.EnableReceiveInterrupt(board, port)))
        return failure;
    return CodeFailure(api_, "CAN_InstallIrq error! (ErrCode:%d)",
                       api_.InstallInterruptHandler(board));
}

template <typename Api>
std::optional<LinkFailure> CardLink<Api>::SendFrame(const CanFrame& frame) {
    const auto record = ToRecord<CardFrameRecord>(frame);
    return CodeFailure(api_, kCardSendError,
                       api_.SendFrame(numbers_.boardNumber, numbers_.canPortNumber, &record));
}

template <typename Api>
uint32_t CardLink<Api>::WaitingCount() {
    return CardCount(api_.CountReceived(numbers_.boardNumber, numbers_.canPortNumber));
}

template <typename Api>
bool CardLink<Api>::WaitForReply(unsigned timeoutMs) {
    return api_.WaitReceived(numbers_.boardNumber, numbers_.canPortNumber, timeoutMs);
}

template <typename Api>
ReceiveOutcome CardLink<Api>::ReceiveFrame() {
    CardFrameRecord record{};
    const int code = api_.ReceiveFrame(numbers_.boardNumber, numbers_.canPortNumber, &record);
    if (code != 0) return {CanFrame{}, CodeFailure(api_, kCardReceiveError, code)};
    return {FromRecord(record), std::nullopt};
}

template <typename Api>
void CardLink<Api>::Close() {
    api_.CloseCard(numbers_.boardNumber);
}

template class CardLink<PcmApi>;
template class CardLink<PccApi>;

}  // namespace b6409
