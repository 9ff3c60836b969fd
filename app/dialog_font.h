#pragma once

#include <QFont>

namespace b6409 {

// The font of the utility's dialogs: 9-point Ming (serif) style, which also carries the Chinese
// texts of the menus. The Taiwanese Ming fonts come first by their usual names, then the free
// "AR PL UMing" family; where none is installed the system's general font stands in.
// Needs the application object: the last fallback comes from the platform.
QFont DialogFont();

}  // namespace b6409
