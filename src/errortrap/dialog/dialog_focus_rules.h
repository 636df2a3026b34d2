#pragma once
// When the error dialog counts as activated and when the window system's repaint of it
// counts as uncovering it, from what the focus did since the dialog came up. Activation
// runs the dialog's activate procedure, uncovering its paint procedure; the rules keep
// both from running for the dialog's own drop-down lists and message boxes, for the first
// paints, and for focus coming back from another program.
class QWindow;

namespace wardline {

class DialogFocusRules {
public:
    // The dialog is being shown.
    void shown();
    // The dialog's window became active; true when that is a new activation.
    bool activated();
    // The program's focus window became `window` (nullptr: none of the program's);
    // `dialog` is the dialog's own window.
    void focusWindowChanged(const QWindow* window, const QWindow* dialog);
    // The user pressed a key or a mouse button in the dialog.
    void userInput() { exposedByOwnWindow_ = false; }
    // The window system shows the dialog's window again; true when another window may
    // have covered it, so that this is a repaint request.
    bool uncovered() const;

private:
    // Where the focus went when it last left the dialog.
    enum class FocusAway { Nowhere, OwnWindow, ProgramWindow, OutsideProgram };
    FocusAway focusAway_ = FocusAway::Nowhere;
    bool activatedOnce_ = false;
    // The focus has been with another window since the dialog came up, so another window
    // may have covered it.
    bool mayHaveBeenCovered_ = false;
    // One of the dialog's own windows (a drop-down list, a message box) has just closed
    // and the user has not pressed a key or a button since: what it uncovers is no request.
    bool exposedByOwnWindow_ = false;
};

}  // namespace wardline
