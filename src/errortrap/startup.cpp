#include "errortrap/startup.h"

#include <signal.h>

#include <array>
#include <cstdint>
#include <exception>
#include <string_view>

#include "errortrap/core/runtime.h"
#include "errortrap/core/runtime_texts.h"
#include "errortrap/core/skip_on_failure.h"
#include "errortrap/report/crash_handler.h"
#include "errortrap/report/internal_error.h"
#include "errortrap/trace/trace_sinks.h"
#include "platform/app_object.h"
#include "platform/clock.h"
#include "platform/conversions.h"
#include "platform/debugger.h"
#include "platform/error_texts.h"
#include "platform/formatting.h"
#include "platform/log_open.h"
#include "platform/profile.h"
#include "platform/runtime_error.h"

namespace wardline {
namespace {

// One key of the preferences file: where it is, its default, the size of the buffer it
// is read into (the value is at most one character shorter) and what it sets.
struct PreferenceKey {
    std::string_view section;
    std::string_view key;
    std::string_view defaultValue;
    std::size_t bufferSize;
    bool (*wanted)(const Preferences&);  // nullptr: always read
    void (*apply)(Preferences&, const std::string& value);
};

// The numeric value of a text: its leading number.
int64_t numeric(const std::string& value) { return platform::leadingNumber(value); }
int16_t flagAbove0(const std::string& value) { return numeric(value) > 0 ? -1 : 0; }
int16_t negated(const std::string& value) { return static_cast<int16_t>(-numeric(value)); }

std::string inApplicationFolder(const std::string& name) { return platform::app().path() + "/" + name; }

// A failing read leaves the setting at 0 (a value that is not a whole number, or a
// doubled "MaxRecords" beyond 16 bits).
void setRecordLimit(Preferences& prefs, const std::string& value) {
    const int32_t doubled = int32_t{platform::toInteger16(value)} * 2;
    if (doubled > INT16_MAX || doubled < INT16_MIN) platform::raiseError(platform::kOverflow);
    prefs.circRecordLimit = static_cast<int16_t>(doubled);
}

void setErrorLogPath(Preferences& prefs, const std::string& value) {
    const std::string name = value.empty() ? "error.log" : value;
    prefs.errorLogPath = name.find('/') == std::string::npos ? inApplicationFolder(name) : name;
}

bool whenCircularLogOn(const Preferences& prefs) { return prefs.circularLogOn; }
bool whenWriteToDisk(const Preferences& prefs) { return prefs.writeToDisk != 0; }

// Read whether or not the preferences file exists; each failure is skipped.
constexpr std::array<PreferenceKey, 4> kCircularLogKeys = {{
    {"preferences", "CircularLog", "0", 5, nullptr,
     [](Preferences& p, const std::string& v) { p.circularLogOn = !v.empty() && v[0] == '1'; }},
    {"CicularLog", "FileName", "circ0001.log", 128, nullptr,
     [](Preferences& p, const std::string& v) { p.circFileName = inApplicationFolder(v); }},
    {"CicularLog", "RecordSize", "1024", 128, whenCircularLogOn,
     [](Preferences& p, const std::string& v) { p.circRecordSize = platform::toInteger16(v); }},
    {"CicularLog", "MaxRecords", "20", 128, whenCircularLogOn, setRecordLimit},
}};

// Read only when the preferences file exists, in this order.
constexpr std::array<PreferenceKey, 11> kRemainingKeys = {{
    {"preferences", "Force System Info", "", 8, nullptr,
     [](Preferences& p, const std::string& v) { p.forceSystemInfo = flagAbove0(v); }},
    {"email", "Address", "", 255, nullptr, [](Preferences& p, const std::string& v) { p.mailAddress = v; }},
    {"log file", "Write To Disk", "", 8, nullptr,
     [](Preferences& p, const std::string& v) { p.writeToDisk = flagAbove0(v); }},
    {"log file", "Capture To Disk", "", 8, nullptr,
     [](Preferences& p, const std::string& v) { p.captureToDisk = flagAbove0(v); }},
    {"log file", "Log File", "", 128, whenWriteToDisk, setErrorLogPath},
    {"preferences", "Silent Run", "0", 2, nullptr,
     [](Preferences& p, const std::string& v) { p.silentRun = negated(v); }},
    {"preferences", "Display Mode", "0", 2, nullptr,
     [](Preferences& p, const std::string& v) { p.displayMode = negated(v); }},
    {"include", "Resources", "1", 2, nullptr,
     [](Preferences& p, const std::string& v) { p.includeResources = negated(v); }},
    {"include", "Memory", "1", 2, nullptr,
     [](Preferences& p, const std::string& v) { p.includeMemory = negated(v); }},
    {"include", "Arguments", "1", 2, nullptr,
     [](Preferences& p, const std::string& v) { p.includeArguments = negated(v); }},
    {"include", "User", "1", 2, nullptr, [](Preferences& p, const std::string& v) { p.includeUser = negated(v); }},
}};

void readKey(const PreferenceKey& key, const std::string& iniPath, Preferences& prefs) {
    if (key.wanted && !key.wanted(prefs)) return;
    std::string value;
    platform::getPrivateProfileString(key.section, key.key, key.defaultValue, value, key.bufferSize, iniPath);
    key.apply(prefs, value);
}

void openCircularLog(Runtime& runtime) {
    Preferences& prefs = runtime.prefs();
    if (!prefs.circularLogOn) return;
    prefs.circularLogOn =
        sinksOf(runtime).circularLog().open(prefs.circFileName, prefs.circRecordSize, prefs.circRecordLimit);
}

void writeProgramStartFrame(Runtime& runtime) {
    const std::tm now = runtime.platform().timeSource().localNow();
    TraceStack& stack = runtime.traceStack();
    stack.setFrameText(0, pfText(TextId::kProgramStart) + " <" + platform::formatDate(now) + ", " +
                              platform::formatTime(now) + ">");
}

// The second half: the first failure ends start-up through the internal error report.
void secondHalf(Runtime& runtime, const std::string& iniPath) {
    RuntimeState& state = runtime.state();
    if (platform::locateProfileFile(iniPath))
        for (const PreferenceKey& key : kRemainingKeys) readKey(key, iniPath, state.prefs);
    if (state.withoutDisplay) state.prefs.silentRun = -1;

    // The development environment is a debugger here. The error dialog form is probed for
    // once, without being built.
    runtime.ui().probeErrorDialog();
    state.inDevEnvironment = platform::inDevelopmentDebugger() ? -1 : 0;

    state.exePrefix = "[" + runtime.platform().app.exeName() + "] ";
    runtime.traceStack().frameTime(0) = platform::monotonicFixedMilliseconds();
    state.monitorPresent = sinksOf(runtime).monitor().connect() ? -1 : 0;
    sinksOf(runtime).write(state.exePrefix + pfText(TextId::kStartBanner) + "\r\n");
}

// The source text of the program's own run-time errors.
void learnLocalSourceName(Runtime& runtime) {
    runtime.state().localSourceName = runtime.platform().identity.projectName;
}

// A file-size limit (ulimit -f) makes a write past it fail with EFBIG, which every writer
// takes as a full disk, instead of ending the program with SIGXFSZ. And one descriptor is
// held back, so that running out of them still leaves room to write the error's report.
void prepareForHostileLimits() {
    ::signal(SIGXFSZ, SIG_IGN);
    platform::reserveLogDescriptor();
}

}  // namespace

std::string pfIniName() { return "WLCLIENT.INI"; }

void startRuntime(Runtime& runtime) {
    RuntimeState& state = runtime.state();
    if (state.runtimeStarted) return;

    prepareForHostileLimits();
    std::string iniPath;
    skipOnFailure([&] { iniPath = inApplicationFolder(pfIniName()); });
    for (const PreferenceKey& key : kCircularLogKeys)
        skipOnFailure([&] { readKey(key, iniPath, state.prefs); });
    skipOnFailure([&] { openCircularLog(runtime); });
    // (No timer resolution to request: the monotonic clock has sub-millisecond steps.)
    TraceStack& stack = runtime.traceStack();
    skipOnFailure([&] { stack.reset(); });
    state.runtimeStarted = true;  // before anything can end start-up early: it runs once
    skipOnFailure([&] { writeProgramStartFrame(runtime); });
    // (No process error mode to set: file errors never raise system dialogs here.)

    try {
        secondHalf(runtime, iniPath);
    } catch (...) {
        const platform::ErrorInfo failure = platform::errorInfoFor(std::current_exception());
        reportInternalError(runtime.ui(), static_cast<int16_t>(failure.number), "wlSTART()");
    }

    skipOnFailure([&] { learnLocalSourceName(runtime); });
    skipOnFailure([&] { installCrashHandlers(runtime); });
}

}  // namespace wardline
