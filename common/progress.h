#pragma once

#include <cstdint>

#include "common/rgb.h"

namespace b6409 {

// The four colours of the progress bar.
struct ProgressColors {
    Rgb start = MakeRgb(255, 150, 100);
    Rgb end = MakeRgb(0, 255, 0);
    Rgb background = MakeRgb(240, 240, 240);
    Rgb text = MakeRgb(0, 0, 255);
};

// The progress bar's operations as a list download drives them.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    virtual void SetColors(const ProgressColors& colors) = 0;
    virtual void SetShowText(bool show) = 0;
    virtual void SetRange(int32_t lower, int32_t upper) = 0;
    virtual void SetPos(int32_t position) = 0;
};

// Lets the window handle what is waiting between two rows of a download: the dialog processes
// its pending events, the command line does nothing. Returns 0 when the user asked to stop (the
// window is closing, or the command line was interrupted): the download then ends before its
// next row.
class EventPump {
  public:
    virtual ~EventPump() = default;
    virtual int PumpWaitingMessages() = 0;
};

// For callers without a bar or a window: the command line, tests and benchmarks.
class NullProgress final : public ProgressSink {
  public:
    void SetColors(const ProgressColors&) override {}
    void SetShowText(bool) override {}
    void SetRange(int32_t, int32_t) override {}
    void SetPos(int32_t) override {}
};

class NullPump final : public EventPump {
  public:
    int PumpWaitingMessages() override { return 1; }
};

}  // namespace b6409
