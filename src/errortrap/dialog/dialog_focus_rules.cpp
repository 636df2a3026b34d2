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

bool DialogFocusRules::activated() {
    const bool newActivation = !activatedOnce_ || focusAway_ == FocusAway::Nowhere ||
                               focusAway_ == FocusAway::ProgramWindow;
    if (!activatedOnce_) mayHaveBeenCovered_ = false;  // the dialog is only now up
    activatedOnce_ = true;
    return newActivation;
}

// Called after the activation events of a focus change have been sent.
bool DialogFocusRules::focusWindowChanged(const QWindow* window, const QWindow* dialog) {
    if (!dialog) return false;
    if (window == dialog) {
        const bool backFromOwnWindow = focusAway_ == FocusAway::OwnWindow;
        exposedByOwnPopup_ = focusAway_ == FocusAway::OwnPopup;
        focusAway_ = FocusAway::Nowhere;
        return backFromOwnWindow;
    }
    if (window) {
        if (!isWindowOf(window, dialog))
            focusAway_ = FocusAway::ProgramWindow;
        else
            focusAway_ = window->type() == Qt::Popup ? FocusAway::OwnPopup : FocusAway::OwnWindow;
    } else if (focusAway_ == FocusAway::Nowhere) {
        focusAway_ = FocusAway::OutsideProgram;  // between two windows it may pass through none
    }
    if (focusAway_ != FocusAway::OwnPopup) {
        mayHaveBeenCovered_ = true;
        exposedByOwnPopup_ = false;
    }
    return false;
}

// A repaint that the window system asks for because another window uncovered the dialog,
// as opposed to a control redrawing itself or the dialog's first paint (whose focus the
// activation overrides). While one of its own windows is in front, the dialog waits for
// that window to close.
bool DialogFocusRules::uncovered() const {
    return mayHaveBeenCovered_ && focusAway_ != FocusAway::OwnPopup && focusAway_ != FocusAway::OwnWindow &&
           !exposedByOwnPopup_;
}

}  // namespace wardline
