#pragma once
// frmWARDLINE: the modal dialog in which the runtime shows an intercepted error. Four
// overlapping views chosen with Combo1 (the user's comment, the error details, the call
// tree, the system state report), two closing buttons (Continue and Break to), Help,
// the knowledge-base lookup and Print. The form is given what it shows as a value
// (DialogInput, ui_services.h): the driver (error_dialog.h) fills it through the methods
// below and reads the user's answer back (answer()). It writes nothing into the runtime.
//
// The form's procedures are not instrumented, so an error inside the dialog never comes
// back to the error handler. Handlers that "skip failing steps" run each step on its own:
// a step that fails is left out and the next one runs.
#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <string>
#include <vector>

#include "errortrap/core/ui_services.h"
#include "errortrap/dialog/dialog_focus_rules.h"
#include "errortrap/dialog/frm_wardline_controls.h"
#include "errortrap/dialog/system_report.h"
#include "widgets/twips.h"

class QWindow;

namespace wardline {

struct ErrorLevel;

class frmWARDLINE : public QDialog {
    Q_OBJECT

public:
    // Loads the form for `input`: builds the controls from the twip layout and sets the
    // captions. Without an input, a form with no error, outside the debugger and no user
    // interface to call on.
    explicit frmWARDLINE(DialogInput input = {});
    ~frmWARDLINE() override;

    // The form's twip scale when its text is `font`.
    static TwipScale layoutScale(const QFont& font);

    // The Windows directory, where the knowledge-base index lives.
    static std::string pfSys();

    // Twips to pixels at the form's scale.
    int twipsToPixelsX(int twips) const { return scale_.x(twips); }
    int twipsToPixelsY(int twips) const { return scale_.y(twips); }
    // Centres the form on its screen.
    void centreOnScreen();

    // ---- What the driver does to the form ----
    // The headline above the views.
    void showHeadline(const std::string& text);
    // The user's comment in view 0.
    void setComment(const std::string& text);
    // View 1's fields for `level`; `codePointer` stands in for a missing line number.
    void showLevelDetails(const ErrorLevel& level, int32_t codePointer);
    // The entries of the level list, the first one selected.
    void listLevels(const std::vector<std::string>& entries);
    int levelCount() const;
    // Selects entry `index` of the level list and shows its level, even when it was
    // selected already.
    void selectLevel(int index);
    // The call tree, one entry per line, with the first runtime error selected.
    void showCallTree(const std::vector<std::string>& lines);
    // Inside the development environment: Help, the knowledge-base lookup and Break to.
    void offerDevelopmentTools();
    // Outside it: Continue, beside Print, is the only way out; the views beyond the
    // comment stay only when `withSystemViews`.
    void offerOnlyContinue(bool withSystemViews);
    // Brings view `view` (0 to 3) to the front, as choosing it in Combo1 does.
    void showView(int view);
    // The system state report as the error log writes it, with CR LF line ends.
    std::string systemStateText() const;
    // The user's answer so far: the button, the comment (after Continue), the system state
    // report and the help topic of the level last chosen.
    DialogResult answer() const;
    // The help file F1 opens: the runtime's own inside the debugger, else the application's.
    const std::string& helpFileForF1() const { return helpFileForF1_; }

    // Event procedures; code runs them too, as the form's own logic does.
    void Combo1_Click();
    void errText_Click();
    void kxCtrlContinue_Click();
    void kxCtrlMore_Click();
    void kxHelp_Click();
    void cmdWWW_Click();
    void wlPrint_Click();

    // ErrLine's caption: the line number, or the code pointer when there is none.
    static std::string lineCaption(int32_t line, int32_t codePointer);

    // The lines that Print sends to the printer for `view` (none for an unknown view).
    std::vector<std::string> printedLines(int view) const;

    // The controls, for whoever acts on the form as its user does.
    const DialogControls& controls() const { return c_; }

    // True while the driver's modal show of this form runs.
    bool inModalShow = false;
    // True once the system state report has been built into kxCtrlArgs.
    bool reportBuilt = false;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override;

private:
    void setTabOrderFromLayout();
    void connectEvents();
    void Form_Load();
    void Form_Activate();
    void Form_Paint();
    void Form_KeyDown(int key);
    void noteFocusWindow(QWindow* window);
    void watchWindowExposure();
    void tellAnswered();
    void messageBox(const std::string& text, int style, const std::string& title) const;
    ReportedProgram reportedProgram() const;

    TwipScale scale_;
    DialogControls c_;
    DialogFocusRules focusRules_;
    QPointer<QWindow> watchedWindow_;
    DialogInput input_;
    std::string helpFileForF1_;
    DialogResult answer_;
};

}  // namespace wardline
