#include "errortrap/core/trace_stack.h"

#include <stdexcept>

namespace wardline {

namespace {

// The usual balanced leave: the frame holds exactly these names.
// Names passed again from where the enter took them are equal without reading their texts.
bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && (a.data() == b.data() || a == b);
}

template <typename Frame, typename Kind>
bool holdsExactly(const Frame& f, Kind parts, std::string_view module, std::string_view procedure) {
    return f.kind == parts && sameText(f.module, module) && sameText(f.procedure, procedure);
}

}  // namespace

void TraceStack::throwNoFrame(int level) {
    throw std::out_of_range("trace stack level " + std::to_string(level));
}

std::string TraceStack::frameBody(int level) const {
    const Frame& f = frameAt(level);
    switch (f.kind) {
        case Kind::Empty:
            return {};
        case Kind::Literal:
            return std::string(f.module);
        case Kind::Parts:
            break;
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(level) + f.module.size() + f.procedure.size() + f.arguments.size() +
                 8);
    text.append(static_cast<std::size_t>(level > 0 ? level - 1 : 0), '\t');
    text.append(f.module).append(" : ").append(f.procedure).append(" : ").append(f.arguments);
    return text;
}

std::string TraceStack::frameText(int level) const {
    if (frameAt(level).kind != Kind::Parts) return frameBody(level);
    return std::to_string(level) + " : " + frameBody(level);
}

void TraceStack::setFrameText(int level, std::string text) {
    Frame& f = frameAt(level);
    f.kind = text.empty() ? Kind::Empty : Kind::Literal;
    own(level, f, {std::move(text), {}, {}});
}

void TraceStack::storeFrame(int level, std::string_view module, std::string_view procedure,
                            std::string_view arguments) {
    Frame& f = frameAt(level);
    own(level, f, {std::string(module), std::string(procedure), std::string(arguments)});
    f.kind = Kind::Parts;
}

void TraceStack::keepNames(int level) {
    Frame& f = frameAt(level);
    if (f.kind != Kind::Parts) return;
    own(level, f, {std::string(f.module), std::string(f.procedure), std::string(f.arguments)});
}

void TraceStack::own(int level, Frame& f, OwnedTexts texts) {
    OwnedTexts& kept = owned_[level];
    kept = std::move(texts);
    f.module = kept[0];
    f.procedure = kept[1];
    f.arguments = kept[2];
}

bool TraceStack::frameTextContains(int level, std::string_view module, std::string_view procedure) const {
    const Frame& f = frameAt(level);
    if (holdsExactly(f, Kind::Parts, module, procedure)) return true;
    if (f.kind == Kind::Empty) return false;
    std::string wanted;
    wanted.append(module).append(" : ").append(procedure);
    return frameText(level).find(wanted) != std::string::npos;
}

void TraceStack::reset() {
    traceDepth = 0;
    lineCounter = 0;
    entryOverhead = 0;
    exitOverhead = 0;
    overheadProbe = 0;
    frames_ = std::make_unique<Frame[]>(kMaxTraceLevel + 1);
    owned_.clear();
}

}  // namespace wardline
