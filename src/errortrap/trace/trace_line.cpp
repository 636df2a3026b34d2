#include "errortrap/trace/trace_line.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "errortrap/core/runtime.h"
#include "errortrap/trace/trace_sinks.h"
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

// Gathers a line's pieces in a buffer of its own and hands them to the line in one append.
// A trace line is a dozen short pieces; appending each to the string on its own cost more
// than all the rest of the line, and the line is made around every traced call.
class LineAppender {
public:
    explicit LineAppender(std::string& line) : line_(line) {}
    LineAppender(const LineAppender&) = delete;
    LineAppender& operator=(const LineAppender&) = delete;

    [[gnu::always_inline]] void append(std::string_view text) {
        if (text.size() > kRoom - size_) [[unlikely]]
            return appendLong(text);
        if (text.empty()) return;  // an empty view may carry no data pointer, which memcpy may not be handed
        std::memcpy(buffer_ + size_, text.data(), text.size());
        size_ += text.size();
    }
    [[gnu::always_inline]] void push_back(char c) {
        if (size_ == kRoom) [[unlikely]]
            flush();
        buffer_[size_++] = c;
    }
    void append(std::size_t count, char c) {
        flush();
        line_.append(count, c);
    }
    // Hands the pieces gathered so far to the line.
    void flush() {
        line_.append(buffer_, size_);
        size_ = 0;
    }

private:
    void appendLong(std::string_view text) {
        flush();
        line_.append(text);
    }

    static constexpr std::size_t kRoom = 256;
    std::string& line_;
    std::size_t size_ = 0;
    char buffer_[kRoom];
};

// The frame part of an exit line: the frame's text after its first " : " (its level).
void appendExitFrame(LineAppender& line, std::string_view frameText) {
    const auto separator = frameText.find(" : ");
    line.append(frameText.substr(separator == std::string_view::npos ? 0 : separator + 3));
}

// The frame part of a line. A frame entered by a procedure reads the same in an entry and
// an exit line ((level - 1) tabs, module, procedure, arguments) and is appended from its
// parts; any other frame takes the way of its text.
void appendFrame(LineAppender& line, const TraceStack& stack, int level, bool exit) {
    TraceStack::FrameNames names;
    if (!stack.frameNames(level, names)) {
        if (exit)
            appendExitFrame(line, stack.frameText(level));
        else
            line.append(stack.frameBody(level));
        return;
    }
    if (level > 1) line.append(static_cast<std::size_t>(level - 1), '\t');
    line.append(names.module);
    line.append(" : ");
    line.append(names.procedure);
    line.append(" : ");
    line.append(names.arguments);
}

// The helpers below write to a std::string or to a LineAppender alike.
template <typename Out, typename Number>
void appendNumber(Out& out, Number value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

// "00" to "99", each pair where its value points.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the two digits of `value` (0 to 99) at `at`.
inline void putDigitPair(char* at, uint32_t value) { std::memcpy(at, kDigitPairs + 2 * value, 2); }

// The pattern "00000": at least five digits, zero-filled, a minus sign before negatives.
template <typename Out>
void appendZeroFilled5(Out& out, int64_t value) {
    if (value >= 0 && value < 100'000) {
        // In 32 bits and two digits at a time: the line counter and the seconds go through
        // here on every line.
        const auto figure = static_cast<uint32_t>(value);
        char digits[5] = {static_cast<char>('0' + figure / 10'000)};
        putDigitPair(digits + 1, figure / 100 % 100);
        putDigitPair(digits + 3, figure % 100);
        out.append(std::string_view(digits, sizeof digits));
    } else if (value < 0) {
        out.append(platform::formatZeroFilled5(value));
    } else {
        appendNumber(out, value);
    }
}

// llround for 0 <= x < 2^63, without the call into the maths library: the fraction left by
// the truncation is exact, so halves go up exactly as llround takes them away from zero.
inline long long roundedHalfAway(double x) {
    auto whole = static_cast<long long>(x);
    if (x - static_cast<double>(whole) >= 0.5) ++whole;
    return whole;
}

// The time format "00000.000" with `separator`, rounded once from whole thousandths, as
// platform::formatSeconds does; figures beyond what whole thousandths hold take its way.
template <typename Out>
void appendSeconds(Out& out, double seconds, char separator) {
    if (!(std::fabs(seconds) < 9e15)) {
        out.append(platform::formatSeconds(seconds, separator));
        return;
    }
    const long long thousandths = roundedHalfAway(std::fabs(seconds) * 1000.0);
    if (seconds < 0 && thousandths != 0) out.push_back('-');
    appendZeroFilled5(out, thousandths / 1000);
    const auto fraction = static_cast<uint32_t>(thousandths % 1000);
    char figure[4] = {separator, static_cast<char>('0' + fraction / 100)};
    putDigitPair(figure + 2, fraction % 100);
    out.append(std::string_view(figure, sizeof figure));
}

// pfDecimal's figure, appended: the locale's separator becomes "." where the system
// profile names it.
template <typename Out>
void appendDecimal(Out& out, double seconds, TraceLineMemo& memo) {
    using Kind = platform::DecimalRule::Kind;
    if (!memo.decimalRuleRead) {
        memo.decimalRule = platform::traceDecimalRule();
        memo.localeDecimalSeparator = platform::localeDecimalSeparator();
        memo.decimalRuleRead = true;
    }
    const platform::DecimalRule rule = memo.decimalRule;
    const char localeSeparator = memo.localeDecimalSeparator;
    if (rule.kind == Kind::Point) return appendSeconds(out, seconds, '.');
    if (rule.kind == Kind::AsFormatted) return appendSeconds(out, seconds, localeSeparator);
    // The usual case: the profile names the locale's own separator, which the figure holds
    // once, between its parts (a minus sign would stand elsewhere too).
    if (rule.separator == localeSeparator && localeSeparator != '-' &&
        !(localeSeparator >= '0' && localeSeparator <= '9'))
        return appendSeconds(out, seconds, '.');
    std::string figure;
    appendSeconds(figure, seconds, localeSeparator);
    // A separator that the figure does not hold (the profile and the locale disagree)
    // leaves the figure as formatted rather than losing the line.
    const auto at = figure.find(rule.separator);
    if (at != std::string::npos) figure[at] = '.';
    out.append(figure);
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

// The memory part of a line, for the figures of one reading.
std::string memoryText(const Preferences& prefs, const platform::MemoryStatus& memory) {
    std::string text;
    if (prefs.includeResources) {
        text.append(" : [res =");
        appendNumber(text, memory.memoryLoad);
        text.append("%");
    }
    if (prefs.includeMemory) {
        text.append(prefs.includeResources ? ", mem = " : " : [mem = ");
        appendNumber(text, memory.availablePhysical);
    }
    text.append("]");
    return text;
}

// The memory part for a line made `now`: the lines of one reading share its text as well
// as its figures.
const std::string& currentMemoryText(const Preferences& prefs, int64_t now, TraceLineMemo& memo,
                                     const std::string& root) {
    const bool stale = !memo.memoryRead || now - memo.memoryReadAt >= kMemoryReadingMaxAge * kFixedPerMillisecond;
    if (stale) {
        if (const auto status = platform::readMemoryStatus(root)) memo.memory = *status;
        memo.memoryRead = true;
        memo.memoryReadAt = now;
    }
    const int shape = (prefs.includeResources ? 1 : 0) | (prefs.includeMemory ? 2 : 0);
    if (stale || memo.memoryTextShape != shape) {
        memo.memoryText = memoryText(prefs, memo.memory);
        memo.memoryTextShape = shape;
    }
    return memo.memoryText;
}

}  // namespace

void buildTraceLine(Runtime& runtime, std::string& line, int64_t overhead, int16_t exitFlag) {
    const RuntimeState& state = runtime.state();
    const Preferences& prefs = state.prefs;
    TraceStack& stack = runtime.traceStack();
    TraceLineMemo& memo = runtime.traceLineMemo();
    const int level = stack.traceDepth;

    int64_t& stamp = stack.frameTime(level);
    const int64_t now = platform::monotonicFixedMilliseconds();
    stamp = now - stack.frameTime(0) - overhead;
    const double seconds = static_cast<double>(stamp) / kFixedPerSecond;

    line.clear();
    LineAppender out(line);
    out.append(state.exePrefix);
    out.push_back('[');
    appendZeroFilled5(out, stack.lineCounter);
    out.append("] [");
    appendDecimal(out, seconds, memo);
    out.append(exitFlag ? "] <-" : "] ->");
    appendFrame(out, stack, level, exitFlag != 0);

    if (prefs.includeArguments != -1) {
        out.flush();
        cutArguments(line);
    }
    if (prefs.includeMemory || prefs.includeResources)
        out.append(currentMemoryText(prefs, now, memo, runtime.platform().memoryStatusRoot));
    // "User" adds the separator of a user text that no program here has.
    if (prefs.includeUser) out.append(" : ");
    out.append("\r\n");
    out.flush();
}

void traceTopFrame(Runtime& runtime, int64_t overhead, int16_t exitFlag) {
    TraceLineMemo& memo = runtime.traceLineMemo();
    try {
        if (memo.lineInUse) {
            std::string line;
            buildTraceLine(runtime, line, overhead, exitFlag);
            sinksOf(runtime).write(line);
            return;
        }
        memo.lineInUse = true;
        struct Release {
            bool& inUse;
            ~Release() { inUse = false; }
        } release{memo.lineInUse};
        buildTraceLine(runtime, memo.line, overhead, exitFlag);
        sinksOf(runtime).write(memo.line);
    } catch (...) {
    }
}

std::string pfDecimal(Runtime& runtime, double seconds) {
    std::string figure;
    appendDecimal(figure, seconds, runtime.traceLineMemo());
    return figure;
}

}  // namespace wardline
