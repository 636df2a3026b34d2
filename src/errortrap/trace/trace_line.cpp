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
    // The line's length with the pieces gathered so far.
    std::size_t size() const { return line_.size() + size_; }
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

// Equal texts, compared inline: a line compares a few short names with those of the line
// before, and a call of memcmp for each cost more than the comparisons.
inline bool sameText(std::string_view a, std::string_view b) {
    const std::size_t n = a.size();
    if (n != b.size()) return false;
    const char* x = a.data();
    const char* y = b.data();
    const auto differ = [](const char* p, const char* q, auto word) {
        std::memcpy(&word, p, sizeof word);
        decltype(word) other;
        std::memcpy(&other, q, sizeof other);
        return word ^ other;
    };
    if (n >= 8) {
        for (std::size_t at = 0; at + 8 < n; at += 8)
            if (differ(x + at, y + at, uint64_t{}) != 0) return false;
        return differ(x + n - 8, y + n - 8, uint64_t{}) == 0;
    }
    if (n >= 4) return (differ(x, y, uint32_t{}) | differ(x + n - 4, y + n - 4, uint32_t{})) == 0;
    return n == 0 || (x[0] == y[0] && x[n / 2] == y[n / 2] && x[n - 1] == y[n - 1]);
}

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

// What the figure for a time stamp shows: its whole thousandths of a second, negative with
// its sign. The same key makes the same figure. Below 10^13 (some 11 days) the double's
// rounding of the seconds errs by far less than a stamp's last digit, so it comes out as
// rounding the stamp itself, which integers do faster, except for a stamp exactly halfway
// between two thousandths: that one takes the double's way. False for figures beyond whole
// thousandths.
bool figureKey(int64_t stamp, int64_t& key) {
    constexpr uint64_t kExactBelow = 10'000'000'000'000;
    constexpr uint64_t kHalf = kFixedPerMillisecond / 2;
    const uint64_t magnitude = stamp < 0 ? 0 - static_cast<uint64_t>(stamp) : static_cast<uint64_t>(stamp);
    if (magnitude < kExactBelow && magnitude % kFixedPerMillisecond != kHalf) {
        const auto thousandths = static_cast<int64_t>((magnitude + kHalf) / kFixedPerMillisecond);
        key = stamp < 0 ? -thousandths : thousandths;
        return true;
    }
    const double seconds = static_cast<double>(stamp) / kFixedPerSecond;
    if (!(std::fabs(seconds) < 9e15)) return false;
    const long long thousandths = roundedHalfAway(std::fabs(seconds) * 1000.0);
    key = seconds < 0 ? -thousandths : thousandths;
    return true;
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

int memoryShape(const Preferences& prefs) {
    return (prefs.includeResources ? 1 : 0) | (prefs.includeMemory ? 2 : 0);
}

const std::string& freshMemoryText(const Preferences& prefs, int64_t now, TraceLineMemo& memo,
                                   const std::string& root);

// The memory part for a line made `now`: the lines of one reading share its text as well
// as its figures.
inline const std::string& currentMemoryText(const Preferences& prefs, int64_t now, TraceLineMemo& memo,
                                            const std::string& root) {
    const bool fresh =
        memo.memoryRead && now - memo.memoryReadAt < kMemoryReadingMaxAge * kFixedPerMillisecond;
    if (fresh && memo.memoryTextShape == memoryShape(prefs)) [[likely]]
        return memo.memoryText;
    return freshMemoryText(prefs, now, memo, root);
}

// The same when the figures are to be read again or the switches changed.
[[gnu::noinline]] const std::string& freshMemoryText(const Preferences& prefs, int64_t now,
                                                     TraceLineMemo& memo, const std::string& root) {
    const bool stale = !memo.memoryRead || now - memo.memoryReadAt >= kMemoryReadingMaxAge * kFixedPerMillisecond;
    if (stale) {
        if (const auto status = platform::readMemoryStatus(root)) memo.memory = *status;
        memo.memoryRead = true;
        memo.memoryReadAt = now;
    }
    const int shape = memoryShape(prefs);
    if (stale || memo.memoryTextShape != shape) {
        memo.memoryText = memoryText(prefs, memo.memory);
        memo.memoryTextShape = shape;
        ++memo.memoryTextVersion;
    }
    return memo.memoryText;
}

// Stamps the top frame with the time since start at `now`, less `overhead`, and returns
// the stamp.
int64_t stampTopFrame(TraceStack& stack, int64_t now, int64_t overhead) {
    int64_t& stamp = stack.frameTime(stack.traceDepth);
    stamp = now - stack.frameTime(0) - overhead;
    return stamp;
}

double secondsOf(int64_t stamp) {
    return static_cast<double>(stamp) / kFixedPerSecond;
}

// The line up to its frame part: tag, sequence number, time figure and direction. Notes
// where its changing parts lie in `kept` when given.
void appendHead(LineAppender& out, Runtime& runtime, int64_t stamp, int16_t exitFlag,
                TraceLineMemo::KeptLine* kept) {
    const int32_t counter = runtime.traceStack().lineCounter;
    out.append(runtime.state().exePrefix);
    out.push_back('[');
    const std::size_t counterAt = out.size();
    appendZeroFilled5(out, counter);
    const std::size_t counterEnd = out.size();
    out.append("] [");
    const std::size_t secondsAt = out.size();
    appendDecimal(out, secondsOf(stamp), runtime.traceLineMemo());
    const std::size_t secondsEnd = out.size();
    out.append(exitFlag ? "] <-" : "] ->");
    if (!kept) return;
    kept->counterAt = counterAt;
    kept->counterEnd = counterEnd;
    kept->counter = counter;
    kept->secondsAt = secondsAt;
    kept->secondsEnd = secondsEnd;
    kept->secondsKeyed = figureKey(stamp, kept->secondsKey);
    kept->frameAt = out.size();
}

// The [include] switches that shape the frame part and the rest of a line.
int tailShape(const Preferences& prefs) {
    return (prefs.includeArguments == -1 ? 1 : 0) | (prefs.includeUser ? 2 : 0) |
           (prefs.includeResources ? 4 : 0) | (prefs.includeMemory ? 8 : 0);
}
constexpr int kTailHasMemory = 4 | 8;

// The memory text's version a line made `now` shows; 0 for a line without one.
uint32_t memoryTextFor(Runtime& runtime, int shape, int64_t now) {
    if (!(shape & kTailHasMemory)) return 0;
    TraceLineMemo& memo = runtime.traceLineMemo();
    currentMemoryText(runtime.prefs(), now, memo, runtime.platform().memoryStatusRoot);
    return memo.memoryTextVersion;
}

// The rest of the line: the top frame's part, cut before its arguments unless "Arguments"
// is -1, the memory part, the user part and the line end. Notes what it was made of in
// `kept` when given.
void appendTail(LineAppender& out, std::string& line, Runtime& runtime, int64_t now, int16_t exitFlag,
                TraceLineMemo::KeptLine* kept) {
    const Preferences& prefs = runtime.prefs();
    TraceLineMemo& memo = runtime.traceLineMemo();
    const TraceStack& stack = runtime.traceStack();
    const int level = stack.traceDepth;
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
    if (!kept) return;
    TraceStack::FrameNames names;
    kept->tailKeyed = stack.frameNames(level, names);
    if (!kept->tailKeyed) return;
    kept->tailLevel = level;
    kept->tailShape = tailShape(prefs);
    kept->tailMemoryText = memoryTextFor(runtime, kept->tailShape, now);
    kept->module.assign(names.module);
    kept->procedure.assign(names.procedure);
    kept->arguments.assign(names.arguments);
}

// True when the line before ends as this one will: the frame part of a procedure with the
// same names at the same level (its entry and exit lines show the same), the same switches
// and the same memory text.
bool sameTail(Runtime& runtime, const TraceLineMemo::KeptLine& kept, int64_t now) {
    if (!kept.tailKeyed) return false;
    const TraceStack& stack = runtime.traceStack();
    TraceStack::FrameNames names;
    const int shape = tailShape(runtime.prefs());
    return kept.tailLevel == stack.traceDepth && kept.tailShape == shape &&
           stack.frameNames(stack.traceDepth, names) && sameText(kept.module, names.module) &&
           sameText(kept.procedure, names.procedure) && sameText(kept.arguments, names.arguments) &&
           kept.tailMemoryText == memoryTextFor(runtime, shape, now);
}

void buildWholeLine(Runtime& runtime, std::string& line, int64_t stamp, int64_t now, int16_t exitFlag,
                    TraceLineMemo::KeptLine* kept) {
    line.clear();
    LineAppender out(line);
    appendHead(out, runtime, stamp, exitFlag, kept);
    appendTail(out, line, runtime, now, exitFlag, kept);
}

// The line before showed the sequence number before this one (almost always): its digits
// go up by one in place. Otherwise the number is written over the old one when it is as
// long. False when the number's length changes.
bool keepSequenceNumber(std::string& line, TraceLineMemo::KeptLine& kept, int32_t counter) {
    char* const digits = line.data() + kept.counterAt;
    const std::size_t width = kept.counterEnd - kept.counterAt;
    if (kept.counter >= 0 && int64_t{counter} == int64_t{kept.counter} + 1) {
        for (std::size_t i = width; i-- > 0;) {
            if (digits[i] != '9') {
                ++digits[i];
                kept.counter = counter;
                return true;
            }
            digits[i] = '0';
        }
        return false;  // 99999 and the like: one digit more
    }
    std::string text;
    appendZeroFilled5(text, counter);
    if (text.size() != width) return false;
    std::memcpy(digits, text.data(), width);
    kept.counter = counter;
    return true;
}

// Lines made within the same thousandth of a second keep the figure; a new figure is
// written over the old one when it is as long. False when its length changes.
bool keepFigure(std::string& line, TraceLineMemo::KeptLine& kept, int64_t stamp, TraceLineMemo& memo) {
    int64_t key = 0;
    if (!figureKey(stamp, key)) return false;
    if (kept.secondsKeyed && key == kept.secondsKey) return true;
    std::string figure;
    appendDecimal(figure, secondsOf(stamp), memo);
    if (figure.size() != kept.secondsEnd - kept.secondsAt) return false;
    std::memcpy(line.data() + kept.secondsAt, figure.data(), figure.size());
    kept.secondsKeyed = true;
    kept.secondsKey = key;
    return true;
}

// The line before, made into this one where the two share its head: the same tag, a
// sequence number and a time figure of the same lengths. False when it must be built whole.
bool reuseHead(Runtime& runtime, std::string& line, int64_t stamp, int16_t exitFlag) {
    TraceLineMemo& memo = runtime.traceLineMemo();
    TraceLineMemo::KeptLine& kept = memo.kept;
    const std::string& prefix = runtime.state().exePrefix;
    if (kept.counterAt != prefix.size() + 1 ||
        !sameText(std::string_view(line).substr(0, prefix.size()), prefix))
        return false;
    if (!keepSequenceNumber(line, kept, runtime.traceStack().lineCounter)) return false;
    if (!keepFigure(line, kept, stamp, memo)) return false;
    char* const direction = line.data() + kept.frameAt - 2;
    direction[0] = exitFlag ? '<' : '-';
    direction[1] = exitFlag ? '-' : '>';
    return true;
}

}  // namespace

void buildTraceLineAt(Runtime& runtime, std::string& line, int64_t now, int64_t overhead, int16_t exitFlag) {
    const int64_t stamp = stampTopFrame(runtime.traceStack(), now, overhead);
    buildWholeLine(runtime, line, stamp, now, exitFlag, nullptr);
}

void buildTraceLine(Runtime& runtime, std::string& line, int64_t overhead, int16_t exitFlag) {
    buildTraceLineAt(runtime, line, platform::monotonicFixedMilliseconds(), overhead, exitFlag);
}

const std::string& nextTraceLine(Runtime& runtime, int64_t now, int64_t overhead, int16_t exitFlag) {
    TraceLineMemo& memo = runtime.traceLineMemo();
    std::string& line = memo.line;
    const int64_t stamp = stampTopFrame(runtime.traceStack(), now, overhead);
    // Until the line is whole again, it is no line to build on.
    const bool reusable = memo.kept.valid;
    memo.kept.valid = false;
    if (reusable && reuseHead(runtime, line, stamp, exitFlag)) {
        if (!sameTail(runtime, memo.kept, now)) {
            line.resize(memo.kept.frameAt);
            LineAppender out(line);
            appendTail(out, line, runtime, now, exitFlag, &memo.kept);
        }
    } else {
        buildWholeLine(runtime, line, stamp, now, exitFlag, &memo.kept);
    }
    memo.kept.valid = true;
    return line;
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
        const int64_t now = platform::monotonicFixedMilliseconds();
        sinksOf(runtime).write(nextTraceLine(runtime, now, overhead, exitFlag), now / kFixedPerMillisecond);
    } catch (...) {
    }
}

std::string pfDecimal(Runtime& runtime, double seconds) {
    std::string figure;
    appendDecimal(figure, seconds, runtime.traceLineMemo());
    return figure;
}

}  // namespace wardline
