#pragma once
// The controls of the error dialog frmWARDLINE, named as its design names them. Their
// places, captions, tab order and help numbers are in frm_wardline_layout.cpp.
#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace wardline {

class CallTreeList;

inline constexpr int kDialogViewCount = 4;

struct DialogControls {
    QLabel* lblErrCnt = nullptr;
    QComboBox* Combo1 = nullptr;
    // The four views, one in front of the others; Combo1's entry i brings view i to the front.
    std::array<QWidget*, kDialogViewCount> Picture1{};
    // View 0: the user's comment.
    QLineEdit* Text1 = nullptr;
    // View 1: the error details, a caption and a value per row.
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
    // View 2: the call tree.
    CallTreeList* kxCtrlCalls = nullptr;
    // View 3: the system state report.
    QPlainTextEdit* kxCtrlArgs = nullptr;
    QPushButton* kxCtrlContinue = nullptr;
    QPushButton* cmdWWW = nullptr;
    QPushButton* kxCtrlMore = nullptr;
    QPushButton* kxHelp = nullptr;
    QPushButton* wlPrint = nullptr;
};

}  // namespace wardline
