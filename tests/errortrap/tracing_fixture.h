#pragma once
// A runtime that has not started yet, in a program living in a fresh application folder,
// with a Windows directory and a monitor folder of its own and the recording UI installed.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "errortrap/runtime_state.h"
#include "errortrap/startup.h"
#include "errortrap/trace_line.h"
#include "errortrap/trace_stack.h"
#include "platform/app_object.h"
#include "platform/debugger.h"
#include "support/recording_ui.h"
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

    void SetUp() override {
        oldPath_ = platform::app().path();
        oldName_ = platform::app().exeName();
        platform::app().overridePath(app.path(), "Morrowset");
        platform::overrideTracerProgramName("");  // the same answer under a debugger
        wardline::resetRuntimeForTesting();
    }
    void TearDown() override {
        wardline::resetRuntimeForTesting();
        platform::overrideTracerProgramName(std::nullopt);
        platform::app().overridePath(oldPath_, oldName_);
    }

    // Writes the preferences file (when given) and starts the runtime.
    void start(const char* preferences = nullptr) {
        if (preferences) app.write("WLCLIENT.INI", preferences);
        wardline::wlSTART();
    }
    wardline::Preferences& prefs() { return wardline::runtime().prefs; }

private:
    std::string oldPath_;
    std::string oldName_;
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
