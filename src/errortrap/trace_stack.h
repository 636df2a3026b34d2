#pragma once
// The trace stack: one frame per procedure in progress, levels 1 to 1000 (level 0 holds
// the program-start line). A frame keeps the parts its text is made of and builds the
// text only when something reads it, so entering and leaving cost no allocation.
#include <array>
#include <cstdint>
#include <string>

namespace wardline {

inline constexpr int kMaxTraceLevel = 1000;

class TraceStack {
public:
    // The frame's text: "<level> : " + (level-1) tabs + module + " : " + procedure +
    // " : " + arguments for a frame stored by an enter; "" once left.
    std::string frameText(int level) const;
    // The same without the "<level> : " prefix (what an entry trace line shows).
    std::string frameBody(int level) const;
    // Sets a frame's text literally (the program-start line of level 0).
    void setFrameText(int level, std::string text);
    void storeFrame(int level, const std::string& module, const std::string& procedure,
                    const std::string& arguments);
    void clearFrame(int level);
    // True when frameText(level) contains module + " : " + procedure (case-sensitive).
    bool frameContains(int level, const std::string& module, const std::string& procedure) const;

    int64_t& frameTime(int level) { return frames_.at(static_cast<std::size_t>(level)).time; }
    int16_t& frameCodePointer(int level) { return frames_.at(static_cast<std::size_t>(level)).codePointer; }

    int16_t traceDepth = 0;
    int32_t lineCounter = 0;
    int64_t entryOverhead = 0;  // fixed-point milliseconds (x10000)
    int64_t exitOverhead = 0;
    int64_t overheadProbe = 0;

    void reset();

private:
    enum class Kind : uint8_t { Empty, Parts, Literal };
    struct Frame {
        Kind kind = Kind::Empty;
        std::string module, procedure, arguments;  // Kind::Parts
        std::string literal;                       // Kind::Literal
        int64_t time = 0;
        int16_t codePointer = 0;
    };
    const Frame& frame(int level) const { return frames_.at(static_cast<std::size_t>(level)); }
    std::array<Frame, kMaxTraceLevel + 1> frames_;
};

TraceStack& traceStack();

}  // namespace wardline
