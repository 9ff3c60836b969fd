#pragma once

#include <QObject>

namespace b6409 {

// For the start-up benchmark: when B6409_STARTUP_PROBE is set, the program prints the time from
// its start to the main window's first paint and its resident memory then, and ends.
class StartupProbe final : public QObject {
  public:
    // Watches the window if the benchmark asked for it.
    static void WatchIfAsked(QObject* window);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace b6409
