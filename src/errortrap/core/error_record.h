#pragma once
// The one intercepted error, as the error handler records it and the error dialog, the
// error log and the mail report read it. Overwritten by every intercepted error.
#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "errortrap/core/unanswered_reports.h"

namespace wardline {

// Joins the names of the places an error passed through on its way up, the nearest first
// ("local << level 1"), in a level's module, procedure and source.
inline constexpr std::string_view kPathJoin = " << ";

struct ErrorLevel {
    std::string helpFile;
    int32_t helpContext = 0;
    std::string category;
    std::string module;     // may hold several names joined by kPathJoin
    std::string procedure;  // likewise
    int32_t line = 0;
    std::string source;  // with " (local)" or " (remote)"; may hold several joined by kPathJoin
    int32_t number = 0;
    std::string description;
};

inline constexpr int kMaxErrorLevel = 10;
inline constexpr int kCallTreeSlots = 1001;

struct ErrorRecord {
    int16_t levelCount = 0;  // forwarded remote levels, 0 for an error raised here
    std::array<ErrorLevel, kMaxErrorLevel + 1> levels;
    int32_t codePointer = 0;
    // Slot 0: the trace depth at the error as decimal text; slots 1..depth: frame texts.
    std::array<std::string, kCallTreeSlots> callTreeSnapshot;
    std::string userComment;
    std::string systemStateText;
    // Why this error's report is not mailed although an address is set; empty when it is
    // (or no address is set). The error log's report says it after the user's comment.
    std::string mailNote;
};

// An error whose dialog waits for its turn: its record, and its report kept for the
// program's end until the dialog is answered.
struct WaitingDialog {
    ErrorRecord record;
    UnansweredReport report;
};

// The error handlers running now, and the dialogs waiting for one.
//
// The clock never waits for a person: while a clock tick runs (clockTicks > 0), enter and
// leave do not wait for an open dialog. An error raised in a tick, while a dialog is open,
// or while another handler runs (count > 0) gets its trace line at once and waits in
// dialogsToShow for its dialog, shown once no other is open, one at a time, in order. Every
// report is written (and mailed) when its own dialog is answered, with that dialog's
// comment and system state.
struct HandlersInProgress {
    int count = 0;
    int clockTicks = 0;
    std::deque<WaitingDialog> dialogsToShow;
};

}  // namespace wardline
