#pragma once
// A runtime that has not started yet, in a program living in a fresh application folder,
// with a Windows directory and a monitor folder of its own and the recording UI installed.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "errortrap/core/runtime.h"
#include "errortrap/core/trace_stack.h"
#include "errortrap/startup.h"
#include "errortrap/trace/trace_line.h"
#include "platform/app_object.h"
#include "support/recording_ui.h"
#include "support/scoped_runtime.h"
#include "support/temp_folder.h"

namespace testsupport {

class TracingTest : public ::testing::Test {
protected:
    TempFolder app;
    TempFolder windows;
    TempFolder runtimeDir;
    ScopedEnv windir{"WINDIR", windows.path()};
    ScopedEnv xdg{"XDG_RUNTIME_DIR", runtimeDir.path()};
    RecordingUi ui;
    ScopedRuntime testRuntime;

    void SetUp() override { giveFakes(); }

    // A fresh runtime with the same fakes, for a table of cases in one test.
    void freshRuntime() {
        testRuntime.renew();
        giveFakes();
    }

    // Writes the preferences file (when given) and starts the runtime.
    void start(const char* preferences = nullptr) {
        if (preferences) app.write("WLCLIENT.INI", preferences);
        wardline::startRuntime(wardline::currentRuntime());
    }
    wardline::Preferences& prefs() { return testRuntime->prefs(); }

private:
    void giveFakes() {
        testRuntime->setUi(&ui);
        testRuntime->platform().app = platform::AppObject(app.path(), "Morrowset");
        testRuntime->platform().tracerName = "";  // the same answer under a debugger
    }
};

// A trace line with its time figure replaced by T, so that lines can be compared whole.
inline std::string maskedTime(const std::string& line) {
    static const std::regex time(R"(\] \[-?\d{5,}\.\d{3}\] )");
    return std::regex_replace(line, time, "] [T] ");
}

// The same with the memory figures replaced by L and B.
inline std::string masked(const std::string& line) {
    static const std::regex load(R"(\[res =\d+%)");
    static const std::regex bytes(R"(mem = \d+\])");
    std::string out = maskedTime(line);
    out = std::regex_replace(out, load, "[res =L%");
    return std::regex_replace(out, bytes, "mem = B]");
}

}  // namespace testsupport
