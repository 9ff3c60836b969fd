#include "link/device_link.h"

namespace b6409 {

void CloseAndReport(DeviceLink& link, MessageSink& sink, const std::string& message) {
    link.Close();
    sink.Show(message, MessageIcon::None);
}

void CloseAndReport(DeviceLink& link, MessageSink& sink, const LinkFailure& failure) {
    if (failure.detail.empty()) return CloseAndReport(link, sink, failure.message);
    link.Close();
    sink.ShowWithDetail(failure.message, MessageIcon::None, failure.detail);
}

}  // namespace b6409
