#pragma once

// One QApplication for a whole test program, made before the first test and torn down after the
// last; gtest_main supplies main(), so the application comes from a global environment. Each Qt
// test folder registers it once with B6409_QT_TEST_ENVIRONMENT.
#include <gtest/gtest.h>

#include <QApplication>
#include <functional>
#include <memory>

namespace b6409::test {

class QtEnvironment : public ::testing::Environment {
  public:
    // afterStart runs once the application exists, e.g. to give it the program's look.
    explicit QtEnvironment(std::function<void()> afterStart = {})
        : afterStart_(std::move(afterStart)) {}

    void SetUp() override {
        // No display is needed, also when the program is run by hand.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
        if (afterStart_) afterStart_();
    }
    void TearDown() override { app_.reset(); }

  private:
    std::function<void()> afterStart_;
    int argc_ = 1;
    char name_[16] = "b6409_qt_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

}  // namespace b6409::test

#define B6409_QT_TEST_ENVIRONMENT(...)                                                    \
    namespace {                                                                           \
    [[maybe_unused]] ::testing::Environment* const qtEnvironment =                        \
        ::testing::AddGlobalTestEnvironment(new b6409::test::QtEnvironment(__VA_ARGS__)); \
    }
