#include "errortrap/dialog/dialog_focus_rules.h"

#include <QWindow>

namespace wardline {
namespace {

// True when `window` is `owner` or one of the windows kept in front of it.
bool isWindowOf(const QWindow* window, const QWindow* owner) {
    for (const QWindow* w = window; w; w = w->transientParent() ? w->transientParent() : w->parent())
        if (w == owner) return true;
    return false;
}

}  // namespace

void DialogFocusRules::shown() { mayHaveBeenCovered_ = false; }

// Getting the focus back from the dialog's own windows or from another program is no new
// activation.
bool DialogFocusRules::activated() {
    const bool newActivation =
        !activatedOnce_ || (focusAway_ != FocusAway::OwnWindow && focusAway_ != FocusAway::OutsideProgram);
    if (!activatedOnce_) mayHaveBeenCovered_ = false;  // the dialog is only now up
    activatedOnce_ = true;
    return newActivation;
}

// Called after the activation events of a focus change have been sent.
void DialogFocusRules::focusWindowChanged(const QWindow* window, const QWindow* dialog) {
    if (!dialog) return;
    if (window == dialog) {
        // The own window that just closed uncovers part of the dialog: that is no repaint
        // after another window covered it.
        exposedByOwnWindow_ = focusAway_ == FocusAway::OwnWindow;
        focusAway_ = FocusAway::Nowhere;
        return;
    }
    if (window) {
        focusAway_ = isWindowOf(window, dialog) ? FocusAway::OwnWindow : FocusAway::ProgramWindow;
    } else if (focusAway_ == FocusAway::Nowhere) {
        focusAway_ = FocusAway::OutsideProgram;  // between two windows it may pass through none
    }
    if (focusAway_ != FocusAway::OwnWindow) {
        mayHaveBeenCovered_ = true;
        exposedByOwnWindow_ = false;
    }
}

// A repaint that the window system asks for because another window uncovered the dialog,
// as opposed to a control redrawing itself or the dialog's first paint (whose focus the
// activation overrides).
bool DialogFocusRules::uncovered() const {
    return mayHaveBeenCovered_ && focusAway_ != FocusAway::OwnWindow && !exposedByOwnWindow_;
}

}  // namespace wardline
