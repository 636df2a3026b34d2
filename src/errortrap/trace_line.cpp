#include "errortrap/trace_line.h"

#include "errortrap/runtime_state.h"
#include "errortrap/trace_sinks.h"
#include "errortrap/trace_stack.h"
#include "platform/clock.h"
#include "platform/formatting.h"
#include "platform/memory_status.h"
#include "platform/profile.h"

namespace wardline {
namespace {

constexpr double kFixedPerSecond = 10000.0 * 1000.0;  // fixed-point milliseconds in a second
constexpr int64_t kFixedPerMillisecond = 10000;
// Lines take the memory figures of a reading at most this old (in milliseconds): the kernel
// builds its meminfo table afresh for every read, which costs more than the rest of a line.
constexpr int64_t kMemoryReadingMaxAge = 10;

struct TraceLineState {
    std::string keptSeparator;  // of the system profile; read again only while empty
    platform::MemoryStatus memory;  // the latest memory figures read
    bool memoryRead = false;
    int64_t memoryReadAt = 0;  // monotonic fixed-point milliseconds
    std::string procRoot = "/proc";
};

TraceLineState& lineState() {
    static TraceLineState state;
    return state;
}

const RuntimeResetHook resetHook{[] { lineState() = TraceLineState{}; }};

// The frame part of an exit line: the frame's text after its first " : " (its level).
void appendExitFrame(std::string& line, const std::string& frameText) {
    const auto separator = frameText.find(" : ");
    line.append(frameText, separator == std::string::npos ? 0 : separator + 3);
}

// With "Arguments" not exactly -1 the line stops before its second colon, so the
// argument text and its separators are gone.
void cutArguments(std::string& line) {
    const auto first = line.find(':');
    const auto second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) {
        if (!line.empty()) line.pop_back();
        return;
    }
    line.resize(second);
    const auto last = line.find_last_not_of(' ');
    line.resize(last == std::string::npos ? 0 : last + 1);
}

void appendMemory(std::string& line, const Preferences& prefs, int64_t now) {
    TraceLineState& state = lineState();
    if (!state.memoryRead || now - state.memoryReadAt >= kMemoryReadingMaxAge * kFixedPerMillisecond) {
        if (const auto status = platform::readMemoryStatus(state.procRoot)) state.memory = *status;
        state.memoryRead = true;
        state.memoryReadAt = now;
    }
    if (prefs.includeResources) line.append(" : [res =").append(std::to_string(state.memory.memoryLoad)).append("%");
    if (prefs.includeMemory) {
        line.append(prefs.includeResources ? ", mem = " : " : [mem = ");
        line.append(std::to_string(state.memory.availablePhysical)).append("]");
    } else {
        line.append("]");
    }
}

}  // namespace

std::string pfTraceLine(int64_t overhead, int16_t exitFlag) {
    const RuntimeState& state = runtime();
    const Preferences& prefs = state.prefs;
    TraceStack& stack = traceStack();
    const int level = stack.traceDepth;

    int64_t& stamp = stack.frameTime(level);
    const int64_t now = platform::monotonicFixedMilliseconds();
    stamp = now - stack.frameTime(0) - overhead;
    const double seconds = static_cast<double>(stamp) / kFixedPerSecond;

    std::string line;
    line.reserve(160);
    line.append(state.exePrefix).append("[").append(platform::formatZeroFilled5(stack.lineCounter));
    line.append("] [").append(pfDecimal(seconds)).append(exitFlag ? "] <-" : "] ->");
    if (exitFlag)
        appendExitFrame(line, stack.frameText(level));
    else
        line.append(stack.frameBody(level));

    if (prefs.includeArguments != -1) cutArguments(line);
    if (prefs.includeMemory || prefs.includeResources) appendMemory(line, prefs, now);
    if (prefs.includeUser) line.append(" : ").append(pfUserText());
    line.append("\r\n");
    return line;
}

std::string pfDecimal(double seconds) {
    std::string& kept = lineState().keptSeparator;
    if (kept.empty()) platform::getProfileString("intl", "sDecimal", "", kept, 2);
    std::string figure = platform::formatSeconds(seconds, platform::localeDecimalSeparator());
    // A separator that the figure does not hold (the profile and the locale disagree)
    // leaves the figure as formatted rather than losing the line.
    if (!kept.empty()) {
        const auto at = figure.find(kept);
        if (at != std::string::npos) figure[at] = '.';
    }
    return figure;
}

std::string pfUserText() { return {}; }

void setMemoryStatusRoot(std::string procRoot) {
    lineState().procRoot = std::move(procRoot);
    lineState().memoryRead = false;
}

}  // namespace wardline
