#pragma once
// The trace stack: one frame per procedure in progress, levels 1 to 1000 (level 0 holds
// the program-start line). A frame refers to the names it was entered with and builds its
// text only when something reads it, so entering and leaving copy nothing and allocate
// nothing. The names must therefore stay valid, unchanged, for as long as the frame is on
// the stack (until the matching leave): procedures pass literal names, and
// wardline::Procedure keeps a frame's own copies when an error carries it past its
// procedure (keepNames).
//
// The frames exist once start-up has created them (reset()); before that every frame
// accessor raises std::out_of_range (run-time error 9, as an array that was never
// dimensioned would), and enter and leave skip the steps that need a frame.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace wardline {

inline constexpr int kMaxTraceLevel = 1000;

class TraceStack {
public:
    // The frame's text: "<level> : " + (level-1) tabs + module + " : " + procedure +
    // " : " + arguments for a frame stored by an enter; "" once left; the literal text
    // for a frame set with setFrameText (the program-start line of level 0).
    std::string frameText(int level) const;
    // The same without the "<level> : " prefix (what an entry trace line shows).
    std::string frameBody(int level) const;
    // Sets a frame's text literally (the program-start line of level 0).
    void setFrameText(int level, std::string text);
    // Stores a frame from copies of the names.
    void storeFrame(int level, std::string_view module, std::string_view procedure, std::string_view arguments);
    // Stores a frame that refers to the names, as enter does: they must outlive the frame.
    void referFrame(int level, std::string_view module, std::string_view procedure, std::string_view arguments);
    // Empties the frame's text and sets its code pointer to 0.
    void clearFrame(int level);
    // Makes the frame hold copies of its names, for a frame that stays on the stack after
    // the caller's names may have gone (an error travelling up past its procedure).
    void keepNames(int level);
    // True when frameText(level) contains module + " : " + procedure (case-sensitive).
    bool frameContains(int level, std::string_view module, std::string_view procedure) const;

    // The names a frame was entered with, read without building its text or allocating
    // (the crash handler reads them). False for a level that holds no entered frame.
    struct FrameNames {
        std::string_view module, procedure, arguments;
    };
    bool frameNames(int level, FrameNames& names) const noexcept;

    int64_t& frameTime(int level) { return frameAt(level).time; }
    int16_t& frameCodePointer(int level) { return frameAt(level).codePointer; }

    // The level of the innermost procedure: a 16-bit level (an enter at 32767 leaves it
    // there), held in 32 bits. Enter and leave each read it just after the other wrote it;
    // the processor hands a 32-bit value from store to load at once, a 16-bit one only
    // after a wait that doubled the cost of an enter/leave pair.
    int32_t traceDepth = 0;
    int32_t lineCounter = 0;
    int64_t entryOverhead = 0;  // fixed-point milliseconds (x10000)
    int64_t exitOverhead = 0;
    int64_t overheadProbe = 0;

    // Creates the frames afresh (levels 0 to 1000, all empty) and zeroes the counters.
    void reset();
    // True once reset() has created the frames.
    bool created() const { return frames_ != nullptr; }

private:
    // Enter and leave (trace/enter_leave.cpp) work on the frames directly: they run around
    // every procedure call.
    friend struct EnterLeave;

    enum class Kind : uint8_t { Empty, Parts, Literal };
    // One cache line per frame.
    struct alignas(64) Frame {
        std::string_view module, procedure, arguments;  // Kind::Parts; Kind::Literal: the text in module
        int64_t time = 0;
        Kind kind = Kind::Empty;
        uint8_t spare = 0;  // always 0, so that leave clears kind to code pointer with one store
        int16_t codePointer = 0;
    };
    // Texts a frame refers to that the stack holds itself: a literal frame's text, the
    // names' copies once keepNames ran.
    using OwnedTexts = std::array<std::string, 3>;
    void own(int level, Frame& f, OwnedTexts texts);
    [[noreturn]] static void throwNoFrame(int level);
    bool frameTextContains(int level, std::string_view module, std::string_view procedure) const;
    Frame& frameAt(int level) {
        if (Frame* f = findFrame(level)) return *f;
        throwNoFrame(level);
    }
    const Frame& frameAt(int level) const { return const_cast<TraceStack*>(this)->frameAt(level); }
    // The frame at `level`, or nullptr when there is none (not created, or outside 0..1000).
    Frame* findFrame(int level) {
        return frames_ && static_cast<unsigned>(level) <= kMaxTraceLevel ? &frames_[level] : nullptr;
    }
    std::unique_ptr<Frame[]> frames_;  // levels 0 to kMaxTraceLevel once created
    std::map<int, OwnedTexts> owned_;  // by level
};

// Inline, as enter and leave with tracing on use them around every traced call.
inline void TraceStack::referFrame(int level, std::string_view module, std::string_view procedure,
                                   std::string_view arguments) {
    Frame& f = frameAt(level);
    f.module = module;
    f.procedure = procedure;
    f.arguments = arguments;
    f.kind = Kind::Parts;
}

inline void TraceStack::clearFrame(int level) {
    Frame& f = frameAt(level);
    f.kind = Kind::Empty;
    f.codePointer = 0;
}

// Inline where the leave passes the names its enter passed: the usual case is decided by
// where they lie.
inline bool TraceStack::frameContains(int level, std::string_view module, std::string_view procedure) const {
    const Frame* f = const_cast<TraceStack*>(this)->findFrame(level);
    const auto same = [](std::string_view a, std::string_view b) {
        return a.data() == b.data() && a.size() == b.size();
    };
    if (f && f->kind == Kind::Parts && same(f->module, module) && same(f->procedure, procedure)) return true;
    return frameTextContains(level, module, procedure);
}

// Inline: every trace line reads its frame's names.
inline bool TraceStack::frameNames(int level, FrameNames& names) const noexcept {
    const Frame* f = const_cast<TraceStack*>(this)->findFrame(level);
    if (!f || f->kind != Kind::Parts) return false;
    names = {f->module, f->procedure, f->arguments};
    return true;
}

}  // namespace wardline
