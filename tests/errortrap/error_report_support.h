#pragma once
// What the error handler, error log and mail report tests share: a scratch folder that is
// also the current folder, a fixed clock, a scripted error dialog that records what the
// runtime asked of it, and a runtime started afresh with chosen preferences.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "errortrap/runtime.h"
#include "errortrap/startup.h"
#include "platform/app_object.h"
#include "platform/clock.h"
#include "support/scoped_runtime.h"
#include "support/temp_folder.h"

namespace wardline::testing {

namespace fs = std::filesystem;

using testsupport::readFile;
using testsupport::writeFile;

// Occurrences of `needle` in `text`.
inline std::size_t countOf(const std::string& text, const std::string& needle) {
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

// 24 December 2026, 09:05:07, whenever asked.
class FixedClock : public platform::TimeSource {
public:
    std::tm localNow() const override {
        std::tm when{};
        when.tm_year = 2026 - 1900;
        when.tm_mon = 11;
        when.tm_mday = 24;
        when.tm_hour = 9;
        when.tm_min = 5;
        when.tm_sec = 7;
        return when;
    }
};

// The error dialog as a script: records every call, answers with `answer`, and can run an
// action while "shown" (an event arriving while the modal dialog is up).
class RecordingUi : public SilentUi {
public:
    struct Shown {
        std::string module;
        std::string procedure;
        int32_t number = 0;
        bool busyWhileShown = false;
    };

    int messageBox(const std::string& text, int style, const std::string& title) override {
        messages.push_back(text);
        return SilentUi::messageBox(text, style, title);
    }
    void processEvents() override {
        events.push_back("processEvents");
        if (onProcessEvents) onProcessEvents();
    }
    void setMousePointer(int pointer) override {
        pointers.push_back(pointer);
        SilentUi::setMousePointer(pointer);
    }
    int16_t showErrorDialog() override {
        const ErrorLevel& top = errorRecord().levels[0];
        shown.push_back({top.module, top.procedure, top.number, runtime().busy});
        events.push_back("show " + top.procedure);
        if (whileShown) {
            auto action = std::move(whileShown);
            whileShown = nullptr;
            action();
        }
        if (failDialog) throw std::runtime_error("dialog failed");
        return answer;
    }
    void unloadErrorDialog() override { events.push_back("unload"); }

    int16_t answer = 0;
    bool failDialog = false;
    std::function<void()> whileShown;
    std::function<void()> onProcessEvents;
    std::vector<Shown> shown;
    std::vector<std::string> messages;
    std::vector<std::string> events;
    std::vector<int> pointers;
};

// Starts the runtime afresh as a program living in `folder` (no preferences file there),
// with the scratch folder as the current folder and the fixed clock.
class ErrorReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A private folder for outside monitors, so that none running on this machine joins in.
        const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
        savedRuntimeDir_ = runtimeDir ? std::optional<std::string>(runtimeDir) : std::nullopt;
        fs::create_directory(scratch / "run");
        fs::permissions(scratch / "run", fs::perms::owner_all);
        ::setenv("XDG_RUNTIME_DIR", (scratch / "run").c_str(), 1);
        savedFolder_ = fs::current_path();
        fs::current_path(scratch.path());
        giveFakes();
        wlSTART();
    }
    void TearDown() override {
        fs::current_path(savedFolder_);
        if (savedRuntimeDir_)
            ::setenv("XDG_RUNTIME_DIR", savedRuntimeDir_->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }

    Preferences& prefs() { return testRuntime->prefs(); }

    // A fresh runtime with the same fakes, not started, for a table of cases in one test.
    void freshRuntime() {
        testRuntime.renew();
        giveFakes();
    }

    testsupport::TempFolder scratch;
    RecordingUi ui;
    FixedClock clock_;
    testsupport::ScopedRuntime testRuntime;

private:
    void giveFakes() {
        testRuntime->setUi(&ui);
        testRuntime->platform().app = platform::AppObject("/opt/morrowset", "Morrowset");
        testRuntime->platform().clock = &clock_;
    }

    std::optional<std::string> savedRuntimeDir_;
    fs::path savedFolder_;
};

}  // namespace wardline::testing
