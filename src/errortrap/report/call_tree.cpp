#include "errortrap/report/call_tree.h"

#include <algorithm>
#include <string_view>

#include "platform/conversions.h"
#include "platform/text.h"

namespace wardline {
namespace {

// The first of several names joined by kPathJoin.
std::string firstName(const std::string& names) {
    return names.substr(0, names.find(kPathJoin));
}

// A snapshot slot without its level prefix: "2 : \tfrmMain.frm : Sub X : " reads
// "frmMain.frm : Sub X :". A slot without " :" loses its first character instead.
std::string snapshotEntry(std::string slot) {
    std::replace(slot.begin(), slot.end(), '\t', ' ');
    const std::size_t mark = slot.find(" :");
    const std::size_t start = mark == std::string::npos ? 1 : mark + 2;
    return std::string(
        platform::trimmed(std::string_view(slot).substr(std::min(start, slot.size())), platform::kSpaces));
}

std::string runtimeErrorText(const ErrorLevel& level, bool withLine) {
    std::string text = "Runtime error " + std::to_string(level.number) + ", " + level.description;
    if (withLine && level.line >= 1) text += " on line " + std::to_string(level.line);
    return text;
}

class TreeLines {
public:
    // Adds a line numbered `number_`; `countIt` false leaves the number for the next line.
    void add(std::string_view kind, int indent, const std::string& text, bool countIt = true) {
        lines_.push_back(std::to_string(number_) + " : " + std::string(kind) + "\t" +
                         std::string(static_cast<std::size_t>(std::max(indent, 0)), '\t') + text);
        if (countIt) ++number_;
    }
    int size() const { return static_cast<int>(lines_.size()); }
    std::vector<std::string> take() { return std::move(lines_); }

private:
    std::vector<std::string> lines_;
    int number_ = 1;
};

}  // namespace

std::vector<std::string> callTreeLines(const ErrorRecord& record, CallTreeLayout layout) {
    const bool forLog = layout == CallTreeLayout::ErrorLog;
    const ErrorLevel& top = record.levels[0];
    const std::string trapping = firstName(top.module) + " : " + firstName(top.procedure);
    const int depth = static_cast<int>(
        std::clamp<int64_t>(platform::leadingNumber(record.callTreeSnapshot[0]), 0, kCallTreeSlots - 1));
    TreeLines tree;
    int indent = -1;
    int trapMark = 0;

    for (int k = 1; k <= depth; ++k) {
        const std::string entry = snapshotEntry(record.callTreeSnapshot[static_cast<std::size_t>(k)]);
        tree.add("Call", ++indent, entry);
        if (entry.find(trapping) == std::string::npos) continue;
        trapMark = tree.size();
        const int trapIndent = forLog ? tree.size() : indent;
        if (forLog) ++indent;
        tree.add("Trap", trapIndent, runtimeErrorText(top, true));
    }
    // The error was raised further in than the procedure whose trap caught it.
    if (trapMark < tree.size() - 1) tree.add("Error", indent, runtimeErrorText(top, false), !forLog);

    const int levels = std::clamp<int>(record.levelCount, 0, kMaxErrorLevel);
    for (int n = 1; n <= levels; ++n) {
        const ErrorLevel& level = record.levels[static_cast<std::size_t>(n)];
        tree.add("Call", ++indent,
                 firstName(level.source) + " : " + firstName(level.module) + " : " + firstName(level.procedure));
        tree.add("Error", indent, runtimeErrorText(level, true));
    }
    return tree.take();
}

}  // namespace wardline
