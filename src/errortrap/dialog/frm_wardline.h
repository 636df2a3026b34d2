#pragma once
// frmWARDLINE: the modal dialog in which the runtime shows an intercepted error. Four
// overlapping views chosen with Combo1 (the user's comment, the error details, the call
// tree, the system state report), two closing buttons (Continue and Break to), Help,
// the knowledge-base lookup and Print. The form holds no error data of its own: the
// driver (error_dialog.h) fills it through the methods below and reads it back.
//
// The form's procedures are not instrumented, so an error inside the dialog never comes
// back to the error handler. Handlers that "skip failing steps" run each step on its own:
// a step that fails is left out and the next one runs.
#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <string>
#include <vector>

#include "errortrap/dialog/dialog_focus_rules.h"
#include "errortrap/dialog/frm_wardline_controls.h"
#include "widgets/twips.h"

class QWindow;

namespace wardline {

struct ErrorLevel;

class frmWARDLINE : public QDialog {
    Q_OBJECT

public:
    // Loads the form: builds the controls from the twip layout and sets the captions.
    frmWARDLINE();
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

signals:
    // The sink of the hover-help texts; nothing in the program listens to it.
    void UpdateStatusBar(const QString& text);

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
    const char* hoverTextOver(QObject* watched, QPoint position) const;

    TwipScale scale_;
    DialogControls c_;
    DialogFocusRules focusRules_;
    QPointer<QWindow> watchedWindow_;
};

}  // namespace wardline
