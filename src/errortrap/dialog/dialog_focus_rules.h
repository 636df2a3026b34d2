#pragma once
// When the error dialog counts as activated and when it counts as uncovered, from what the
// focus did since the dialog came up. Activation runs the dialog's activate procedure,
// uncovering its paint procedure (which gives Continue the focus).
//  - The first paints are no uncovering; the first activation is.
//  - Focus coming back from another program, or from one of the dialog's own windows, is
//    no new activation.
//  - A window of the dialog's own that closes (the help viewer, a message box) uncovers
//    it; a drop-down list that closes does not.
//  - Once another window of the program or of another program has had the focus, the
//    window system's repaint of the dialog uncovers it.
class QWindow;

namespace wardline {

class DialogFocusRules {
public:
    // The dialog is being shown.
    void shown();
    // The dialog's window became active; true when that is a new activation.
    bool activated();
    // The program's focus window became `window` (nullptr: none of the program's);
    // `dialog` is the dialog's own window. True when the focus came back to the dialog
    // from one of its own windows that covered it.
    bool focusWindowChanged(const QWindow* window, const QWindow* dialog);
    // The user pressed a key or a mouse button in the dialog.
    void userInput() { exposedByOwnPopup_ = false; }
    // The window system shows the dialog's window again; true when another window may
    // have covered it, so that this is a repaint request.
    bool uncovered() const;

private:
    // Where the focus went when it last left the dialog.
    enum class FocusAway { Nowhere, OwnPopup, OwnWindow, ProgramWindow, OutsideProgram };
    FocusAway focusAway_ = FocusAway::Nowhere;
    bool activatedOnce_ = false;
    // The focus has been with another window since the dialog came up, so another window
    // may have covered it.
    bool mayHaveBeenCovered_ = false;
    // One of the dialog's drop-down lists has just closed and the user has not pressed a
    // key or a button since: what it uncovers is no request.
    bool exposedByOwnPopup_ = false;
};

}  // namespace wardline
