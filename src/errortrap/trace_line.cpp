#include "errortrap/trace_line.h"

#include <charconv>
#include <cmath>

#include "errortrap/runtime.h"
#include "platform/clock.h"
#include "platform/decimal_separator.h"
#include "platform/formatting.h"
#include "platform/memory_status.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace wardline {
namespace {

constexpr double kFixedPerSecond = 10000.0 * 1000.0;  // fixed-point milliseconds in a second
constexpr int64_t kFixedPerMillisecond = 10000;
// Lines take the memory figures of a reading at most this old (in milliseconds).
constexpr int64_t kMemoryReadingMaxAge = 10;

// The frame part of an exit line: the frame's text after its first " : " (its level).
void appendExitFrame(std::string& line, const std::string& frameText) {
    const auto separator = frameText.find(" : ");
    line.append(frameText, separator == std::string::npos ? 0 : separator + 3);
}

// The frame part of a line. A frame entered by a procedure reads the same in an entry and
// an exit line ((level - 1) tabs, module, procedure, arguments) and is appended from its
// parts; any other frame takes the way of its text.
void appendFrame(std::string& line, const TraceStack& stack, int level, bool exit) {
    TraceStack::FrameNames names;
    if (!stack.frameNames(level, names)) {
        if (exit)
            appendExitFrame(line, stack.frameText(level));
        else
            line.append(stack.frameBody(level));
        return;
    }
    line.append(static_cast<std::size_t>(level - 1), '\t');
    line.append(names.module).append(" : ").append(names.procedure).append(" : ").append(names.arguments);
}

template <typename Number>
void appendNumber(std::string& line, Number value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    line.append(digits, result.ptr);
}

// The pattern "00000": at least five digits, zero-filled, a minus sign before negatives.
void appendZeroFilled5(std::string& line, int64_t value) {
    if (value < 0) {
        line.append(platform::formatZeroFilled5(value));
        return;
    }
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    const auto length = static_cast<std::size_t>(result.ptr - digits);
    if (length < 5) line.append(5 - length, '0');
    line.append(digits, length);
}

// The time format "00000.000" with `separator`, rounded once from whole thousandths, as
// platform::formatSeconds does; figures beyond what whole thousandths hold take its way.
void appendSeconds(std::string& line, double seconds, char separator) {
    if (!(std::fabs(seconds) < 9e15)) {
        line.append(platform::formatSeconds(seconds, separator));
        return;
    }
    const long long thousandths = std::llround(std::fabs(seconds) * 1000.0);
    if (seconds < 0 && thousandths != 0) line.push_back('-');
    appendZeroFilled5(line, thousandths / 1000);
    line.push_back(separator);
    const auto fraction = static_cast<int>(thousandths % 1000);
    line.push_back(static_cast<char>('0' + fraction / 100));
    line.push_back(static_cast<char>('0' + fraction / 10 % 10));
    line.push_back(static_cast<char>('0' + fraction % 10));
}

// pfDecimal's figure, appended: the locale's separator becomes "." where the system
// profile names it.
void appendDecimal(std::string& line, double seconds, TraceLineMemo& memo) {
    std::string& kept = memo.decimalSeparator;
    if (kept.empty()) kept = platform::systemDecimalSeparator();
    const std::size_t start = line.size();
    appendSeconds(line, seconds, platform::localeDecimalSeparator());
    // A separator that the figure does not hold (the profile and the locale disagree)
    // leaves the figure as formatted rather than losing the line.
    if (!kept.empty()) {
        const auto at = line.find(kept, start);
        if (at != std::string::npos) line[at] = '.';
    }
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
    line.resize(
        platform::trimmedTrailing(std::string_view(line).substr(0, second), platform::kSpaces).size());
}

void appendMemory(std::string& line, const Preferences& prefs, int64_t now, TraceLineMemo& state,
                  const std::string& root) {
    if (!state.memoryRead || now - state.memoryReadAt >= kMemoryReadingMaxAge * kFixedPerMillisecond) {
        if (const auto status = platform::readMemoryStatus(root)) state.memory = *status;
        state.memoryRead = true;
        state.memoryReadAt = now;
    }
    if (prefs.includeResources) {
        line.append(" : [res =");
        appendNumber(line, state.memory.memoryLoad);
        line.append("%");
    }
    if (prefs.includeMemory) {
        line.append(prefs.includeResources ? ", mem = " : " : [mem = ");
        appendNumber(line, state.memory.availablePhysical);
        line.append("]");
    } else {
        line.append("]");
    }
}

}  // namespace

void buildTraceLine(Runtime& runtime, std::string& line, int64_t overhead, int16_t exitFlag) {
    const RuntimeState& state = runtime.state();
    const Preferences& prefs = state.prefs;
    TraceStack& stack = runtime.traceStack();
    const int level = stack.traceDepth;

    int64_t& stamp = stack.frameTime(level);
    const int64_t now = platform::monotonicFixedMilliseconds();
    stamp = now - stack.frameTime(0) - overhead;
    const double seconds = static_cast<double>(stamp) / kFixedPerSecond;

    line.clear();
    line.append(state.exePrefix).append("[");
    appendZeroFilled5(line, stack.lineCounter);
    line.append("] [");
    appendDecimal(line, seconds, runtime.traceLineMemo());
    line.append(exitFlag ? "] <-" : "] ->");
    appendFrame(line, stack, level, exitFlag != 0);

    if (prefs.includeArguments != -1) cutArguments(line);
    if (prefs.includeMemory || prefs.includeResources)
        appendMemory(line, prefs, now, runtime.traceLineMemo(), runtime.platform().memoryStatusRoot);
    if (prefs.includeUser) line.append(" : ").append(pfUserText());
    line.append("\r\n");
}

void traceTopFrame(Runtime& runtime, int64_t overhead, int16_t exitFlag) {
    TraceLineMemo& memo = runtime.traceLineMemo();
    try {
        if (memo.lineInUse) {
            std::string line;
            buildTraceLine(runtime, line, overhead, exitFlag);
            runtime.sinks().write(line);
            return;
        }
        memo.lineInUse = true;
        struct Release {
            bool& inUse;
            ~Release() { inUse = false; }
        } release{memo.lineInUse};
        buildTraceLine(runtime, memo.line, overhead, exitFlag);
        runtime.sinks().write(memo.line);
    } catch (...) {
    }
}

std::string pfTraceLine(int64_t overhead, int16_t exitFlag) {
    std::string line;
    buildTraceLine(currentRuntime(), line, overhead, exitFlag);
    return line;
}

std::string pfDecimal(double seconds) {
    std::string figure;
    appendDecimal(figure, seconds, currentRuntime().traceLineMemo());
    return figure;
}

std::string pfUserText() { return {}; }

}  // namespace wardline
