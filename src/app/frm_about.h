#pragma once
// The About box: the program's title, version and description, and a button that starts
// the machine's system-information viewer. There is one instance at most; it is modeless
// and has no owner, so the main window stays usable while it is open.
#include <QDialog>

#include <cstdint>
#include <string>

#include "widgets/twips.h"

namespace platform {
class AppObject;
}
class QLabel;
class QPushButton;

namespace morrowset {

// Shows the About box, loading it first when it is not open ("&About" of the main window).
void showAboutDialog();

// Starts the system-information viewer registered in the registry, or tells the user that
// none is available. Traps its own errors.
void StartSysInfo();

// Reads value `SubKeyRef` of key `KeyName` under `KeyRoot` into `KeyVal`: a string value
// without its closing NUL, a 32-bit number value as its decimal text. True when the value
// was read; otherwise `KeyVal` is emptied.
bool GetKeyValue(int32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyRef, std::string& KeyVal);

class frmAbout : public QDialog {
    Q_OBJECT

public:
    // The About box that is open, or nullptr.
    static frmAbout* current();

    void cmdOK_Click();
    void cmdSysInfo_Click();

    // Controls, named as the box's design names them.
    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;

    // The box's twip scale when its text is `font`.
    static wardline::TwipScale layoutScale(const QFont& font);

protected:
    void reject() override;  // Esc acts as OK
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    friend void showAboutDialog();
    frmAbout();
    void createControls();
    void Form_Load();
    static QString versionText(const platform::AppObject& app);

    wardline::TwipScale scale_;
};

}  // namespace morrowset
