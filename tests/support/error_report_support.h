#pragma once
// What the error handler, error log and mail report tests share: a scratch folder that is
// also the current folder, a clock that stands still, the recording user interface, and a
// runtime started afresh with chosen preferences.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "errortrap/core/runtime.h"
#include "errortrap/startup.h"
#include "platform/app_object.h"
#include "platform/clock.h"
#include "support/fake_clock.h"
#include "support/recording_ui.h"
#include "support/scoped_runtime.h"
#include "support/temp_folder.h"

namespace wardline::testing {

namespace fs = std::filesystem;

using testsupport::readFile;
using testsupport::RecordingUi;
using testsupport::writeFile;

// Occurrences of `needle` in `text`.
inline std::size_t countOf(const std::string& text, const std::string& needle) {
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

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
        startRuntime(currentRuntime());
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
    testsupport::FakeClock clock_{2026, 12, 24, 9, 5, 7};  // stands still
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
