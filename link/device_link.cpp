#include "link/device_link.h"

namespace b6409 {

void CloseAndReport(DeviceLink& link, MessageSink& sink, const std::string& message) {
    link.Close();
    sink.Show(message, MessageIcon::None);
}

}  // namespace b6409
