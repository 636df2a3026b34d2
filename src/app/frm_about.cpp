#include "app/frm_about.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>

#include <algorithm>
#include <filesystem>

#include "app/app_icon.h"
#include "errortrap/dialog/twips.h"
#include "errortrap/procedure.h"
#include "errortrap/ui_services.h"
#include "platform/app_object.h"
#include "platform/process_start.h"
#include "platform/registry.h"
#include "platform/runtime_error.h"

namespace morrowset {

namespace {

constexpr char kModule[] = "frmAbout.frm";
constexpr char kUnavailable[] = "System Information Is Unavailable At This Time";
constexpr char kViewerFile[] = "/MSINFO32.EXE";

constexpr char kDescription[] =
    "95/98/NT Morrowset. This program will run any application (BAT,EXE,COM) as if it was run from the "
    "command line. This program is 101% free of charge.\n"
    "Author Info: Ansgrove, ansgrove@example.org";
constexpr char kDisclaimer[] =
    "It took me far too many evenings to get this right, and I never found a free one that did the job. "
    "So here it is. Enjoy!";

using wardline::ControlDesign;
using wardline::TwipScale;

constexpr int kClientWidth = 5730;
constexpr int kClientHeight = 3555;
constexpr ControlDesign<frmAbout, QLabel> kLabels[] = {
    {&frmAbout::picIcon, {240, 240, 540, 540}, ""},
    {&frmAbout::lblTitle, {1050, 240, 3885, 480}, "Application Title"},
    {&frmAbout::lblVersion, {1050, 780, 3885, 225}, "Version"},
    {&frmAbout::lblDescription, {1050, 1125, 3885, 1170}, kDescription},
    {&frmAbout::lblDisclaimer, {240, 2625, 3870, 825}, kDisclaimer},
};
constexpr ControlDesign<frmAbout, QPushButton> kButtons[] = {
    {&frmAbout::cmdOK, {4245, 2625, 1260, 345}, "OK"},
    {&frmAbout::cmdSysInfo, {4260, 3075, 1245, 345}, "&System Info..."},
};

// The etched separator: a gray line with a white one of width 2 just below it.
struct SeparatorLine {
    int x1, y1, x2, y2, width;
    QColor colour;
};
const SeparatorLine kSeparator[] = {
    {90, 2445, 5654, 2445, 1, QColor(0x80, 0x80, 0x80)},
    {105, 2460, 5654, 2460, 2, QColor(0xFF, 0xFF, 0xFF)},
};

QPointer<frmAbout>& openDialog() {
    static QPointer<frmAbout> dialog;
    return dialog;
}

QLabel* label(QWidget* parent, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

QPushButton* button(QWidget* parent, const QString& caption) { return new QPushButton(caption, parent); }

// The character at 1-based `position`; a position outside the text is run-time error 5,
// as taking a character there always has been.
char characterAt(const std::string& text, int32_t position) {
    if (position < 1 || static_cast<std::size_t>(position) > text.size()) platform::raiseError(5);
    return text[static_cast<std::size_t>(position) - 1];
}

// Two hexadecimal digits per byte, most significant byte (the last one stored) first.
std::string hexDigitsMostSignificantFirst(const std::string& data) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string digits;
    for (auto byte = data.rbegin(); byte != data.rend(); ++byte) {
        const auto value = static_cast<unsigned char>(*byte);
        digits += kDigits[value >> 4];
        digits += kDigits[value & 0x0F];
    }
    return digits;
}

// The general format of an "&h" number text: its value as a signed 32-bit number in
// decimal. More than eight significant digits overflow (run-time error 6).
std::string formatHexNumber(const std::string& hexText) {
    std::string digits = hexText.substr(2);
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.size() > 8) platform::raiseError(6);
    const uint32_t value = digits.empty() ? 0 : static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
    return std::to_string(static_cast<int32_t>(value));
}

void showUnavailable() {
    wardline::ui().messageBox(kUnavailable, wardline::kOkOnly, platform::app().title());
}

// The viewer to start, from the registry; "" when none is registered.
std::string registeredViewer() {
    std::string sysInfoPath;
    if (GetKeyValue(platform::kHKeyLocalMachine, platform::kSystemInfoKey, platform::kSystemInfoValue, sysInfoPath))
        return sysInfoPath;  // started as it stands, without looking for the file
    if (!GetKeyValue(platform::kHKeyLocalMachine, platform::kSystemInfoLocationKey,
                     platform::kSystemInfoLocationValue, sysInfoPath))
        return {};
    std::error_code error;
    if (!std::filesystem::exists(sysInfoPath + kViewerFile, error)) return {};
    return sysInfoPath + kViewerFile;
}

}  // namespace

void showAboutDialog() {
    QPointer<frmAbout>& dialog = openDialog();
    if (!dialog) dialog = new frmAbout;
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

frmAbout* frmAbout::current() { return openDialog(); }

frmAbout::frmAbout() {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("About MyApp");
    setWindowIcon(morrowsetIcon());
    setFixedSize(TwipScale::fromFont(font()).size(kClientWidth, kClientHeight));
    createControls();
    Form_Load();
}

void frmAbout::createControls() {
    const TwipScale scale = TwipScale::fromFont(font());
    wardline::createControls(*this, kLabels, this, scale, label);
    wardline::createControls(*this, kButtons, this, scale, button);
    picIcon->setPixmap(QPixmap::fromImage(morrowsetIconImage(32)));
    picIcon->setAlignment(Qt::AlignCenter);
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

void frmAbout::Form_Load() {
    const platform::AppObject& app = platform::app();
    wardline::Procedure(kModule, "Sub Form_Load").run({
        {30, [&] { setWindowTitle(QString::fromStdString("About " + app.title())); }},
        {40, [&] {
             lblVersion->setText(QString("Version %1.%2.%3").arg(app.major()).arg(app.minor()).arg(app.revision()));
         }},
        {50, [&] { lblTitle->setText(QString::fromStdString(app.title())); }},
    });
}

void frmAbout::cmdOK_Click() {
    wardline::Procedure(kModule, "Sub cmdOK_Click").run({
        {20, [this] { close(); }},
    });
}

void frmAbout::cmdSysInfo_Click() {
    wardline::Procedure(kModule, "Sub cmdSysInfo_Click").run({
        {10, [] { StartSysInfo(); }},
    });
}

void frmAbout::reject() { cmdOK_Click(); }

// Closing unloads the box: the next "&About" loads a new one.
void frmAbout::closeEvent(QCloseEvent* event) {
    if (openDialog() == this) openDialog() = nullptr;
    event->accept();
}

void frmAbout::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    const TwipScale scale = TwipScale::fromFont(font());
    for (const SeparatorLine& line : kSeparator) {
        painter.setPen(QPen(line.colour, line.width));
        painter.drawLine(scale.x(line.x1), scale.y(line.y1), scale.x(line.x2), scale.y(line.y2));
    }
}

void StartSysInfo() {
    // Its own trap: any failure, a failed start included, ends in the message.
    wardline::Procedure(kModule, "Sub StartSysInfo").runUntrapped({
        {0, [] {
             try {
                 const std::string viewer = registeredViewer();
                 if (viewer.empty()) return showUnavailable();
                 platform::startProcess(viewer);
             } catch (...) {
                 platform::clearError();
                 showUnavailable();
             }
         }},
    });
}

bool GetKeyValue(int32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyRef, std::string& KeyVal) {
    using wardline::jumpTo;
    using wardline::leave;
    using wardline::next;
    constexpr int32_t kBufferSize = 1024;
    bool result = false;
    int32_t rc = 0;
    int32_t hKey = 0;
    bool keyOpen = false;
    int32_t keyValType = 0;
    int32_t keyValSize = 0;
    std::string tmpVal;
    const auto closeKey = [&] {
        platform::regCloseKey(hKey);
        keyOpen = false;
    };
    wardline::Procedure(kModule, "Function GetKeyValue").run({
        {130, [&] {
             rc = platform::regOpenKeyEx(KeyRoot, KeyName, 0, platform::kKeyAllAccess, hKey);
             keyOpen = rc == platform::kRegSuccess;
         }},
        {140, [&] { return rc != platform::kRegSuccess ? jumpTo(350) : next(); }},
        {150, [&] { tmpVal.assign(kBufferSize, '\0'); }},
        {160, [&] { keyValSize = kBufferSize; }},
        {170, [&] { rc = platform::regQueryValueEx(hKey, SubKeyRef, keyValType, tmpVal, keyValSize); }},
        {180, [&] { return rc != platform::kRegSuccess ? jumpTo(350) : next(); }},
        {190, [&] { return characterAt(tmpVal, keyValSize) == '\0' ? next() : jumpTo(220); }},
        {200, [&] {
             tmpVal.resize(static_cast<std::size_t>(keyValSize - 1));  // without its closing NUL
             return jumpTo(240);
         }},
        {220, [&] { tmpVal.resize(static_cast<std::size_t>(keyValSize)); }},
        {240, [&] {
             switch (keyValType) {
                 case platform::kRegString:
                     return jumpTo(250);
                 case platform::kRegNumber:
                     return jumpTo(260);
                 default:
                     return jumpTo(310);
             }
         }},
        {250, [&] {
             KeyVal = tmpVal;
             return jumpTo(310);
         }},
        {260, [&] { KeyVal = hexDigitsMostSignificantFirst(tmpVal); }},
        {290, [&] { KeyVal = formatHexNumber("&h" + KeyVal); }},
        {310, [&] { result = true; }},
        {320, [&] {
             closeKey();
             return leave();
         }},
        {350, [&] { KeyVal.clear(); }},
        {360, [&] { result = false; }},
        {370, [&] { closeKey(); }},
    });
    if (keyOpen) closeKey();  // the error handler sent the procedure out before it closed the key
    return result;
}

}  // namespace morrowset
