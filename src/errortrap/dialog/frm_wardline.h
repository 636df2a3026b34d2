#pragma once
// frmWARDLINE: the modal dialog in which the runtime shows an intercepted error. Four
// overlapping views chosen with Combo1 (the user's comment, the error details, the call
// tree, the system state report), two closing buttons (Continue and Break to), Help,
// the knowledge-base lookup and Print. The form holds no error data of its own: the
// driver (error_dialog.h) fills it from the error record and reads it back.
//
// The form's procedures are not instrumented, so an error inside the dialog never comes
// back to the error handler. Handlers that "skip failing steps" run each step on its own:
// a step that fails is left out and the next one runs.
#include <QDialog>
#include <QPointer>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWindow;

namespace wardline {

class CallTreeList;

class frmWARDLINE : public QDialog {
    Q_OBJECT

public:
    // Loads the form: builds the controls from the twip layout and sets the captions.
    frmWARDLINE();
    ~frmWARDLINE() override;

    // The Windows directory, where the knowledge-base index lives.
    static std::string pfSys();

    // Twips (1/1440 inch) to pixels at the form's logical resolution.
    int twipsToPixelsX(int twips) const;
    int twipsToPixelsY(int twips) const;
    // Centres the form on its screen.
    void centreOnScreen();

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

    // True while the driver's modal show of this form runs.
    bool inModalShow = false;
    // True once the system state report has been built into kxCtrlArgs.
    bool reportBuilt = false;

    // Controls, named as in the layout table of frm_wardline.cpp.
    QLabel* lblErrCnt = nullptr;
    QComboBox* Combo1 = nullptr;
    std::array<QWidget*, 4> Picture1{};
    QLineEdit* Text1 = nullptr;
    QLabel* kxCtrlLabel7 = nullptr;
    QLineEdit* ErrType = nullptr;
    QLabel* kxCtrlProjLab = nullptr;
    QLineEdit* errProject = nullptr;
    QLabel* kxCtrlLabel1 = nullptr;
    QLabel* ErrModule = nullptr;
    QLabel* kxCtrlLabel2 = nullptr;
    QLabel* ErrProcedure = nullptr;
    QLabel* kxCtrlLabel4 = nullptr;
    QLabel* ErrLine = nullptr;
    QLabel* kxCtrlLabel5 = nullptr;
    QLabel* ErrNo = nullptr;
    QLabel* kxCtrlLabel6 = nullptr;
    QComboBox* errText = nullptr;
    CallTreeList* kxCtrlCalls = nullptr;
    QPlainTextEdit* kxCtrlArgs = nullptr;
    QPushButton* kxCtrlContinue = nullptr;
    QPushButton* cmdWWW = nullptr;
    QPushButton* kxCtrlMore = nullptr;
    QPushButton* kxHelp = nullptr;
    QPushButton* wlPrint = nullptr;

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
    void createControls();
    void setTabOrderFromLayout();
    void connectEvents();
    void Form_Load();
    void Form_Activate();
    void Form_Paint();
    void Form_KeyDown(int key);
    void noteFocusWindow(QWindow* window);
    void watchWindowExposure();
    const char* hoverTextOver(QObject* watched, QPoint position) const;

    QPointer<QWindow> watchedWindow_;
    // Where the focus went when it last left the form.
    enum class FocusAway { Nowhere, OwnWindow, ProgramWindow, OutsideProgram };
    FocusAway focusAway_ = FocusAway::Nowhere;
    bool activatedOnce_ = false;
    // The focus has been with another window since the form came up, so another window
    // may have covered the form: uncovering it is a repaint request.
    bool mayHaveBeenCovered_ = false;
    // One of the form's own windows (a drop-down list, a message box) has just closed and
    // the user has not pressed a key or a button since: what it uncovers is no request.
    bool exposedByOwnWindow_ = false;
};

}  // namespace wardline
