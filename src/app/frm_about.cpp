#include "app/frm_about.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>

#include <algorithm>
#include <filesystem>

#include "app/app_icon.h"
#include "errortrap/core/runtime.h"
#include "errortrap/trace/procedure.h"
#include "platform/app_object.h"
#include "platform/error_texts.h"
#include "platform/process_start.h"
#include "platform/registry.h"
#include "platform/runtime_error.h"
#include "widgets/button_keys.h"
#include "widgets/twips.h"

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

// The etched separator, in twips: a gray line one pixel thick with a white line two pixels
// thick just below it, which starts a little further right.
struct Separator {
    int grayLeft, whiteLeft, right, top;
};
constexpr Separator kSeparator{90, 105, 5654, 2445};
const QColor kEtchShadow(0x80, 0x80, 0x80);
const QColor kEtchLight(0xFF, 0xFF, 0xFF);

QFont titleFont(const QFont& font) {
    QFont title = font;
    title.setPointSizeF(title.pointSizeF() * 1.5);
    title.setBold(true);
    return title;
}

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
    if (position < 1 || static_cast<std::size_t>(position) > text.size())
        platform::raiseError(platform::kInvalidProcedureCall);
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
    if (digits.size() > 8) platform::raiseError(platform::kOverflow);
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

frmAbout::frmAbout() : scale_(layoutScale(font())) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("About MyApp");
    setWindowIcon(morrowsetIcon());
    setFixedSize(scale_.size(kClientWidth, kClientHeight));
    createControls();
    Form_Load();
}

// The box's scale: the title, the version line and the wrapped texts in the desktop's
// font fit their labels, the captions their buttons.
TwipScale frmAbout::layoutScale(const QFont& font) {
    using wardline::TextHolder;
    std::vector<wardline::TextRoom> rooms = wardline::captionRooms(kButtons, TextHolder::Button, font);
    const auto room = [&](QLabel* frmAbout::*label, const QString& text, TextHolder holder, const QFont& in) {
        const wardline::Twips place = wardline::placeOf(kLabels, label);
        rooms.push_back({text, place.width, place.height, holder, in});
    };
    const platform::AppObject& app = platform::app();
    room(&frmAbout::lblTitle, QString::fromStdString(app.title()), TextHolder::WrappedLabel, titleFont(font));
    room(&frmAbout::lblVersion, versionText(app), TextHolder::Label, font);
    room(&frmAbout::lblDescription, QString::fromLatin1(kDescription), TextHolder::WrappedLabel, font);
    room(&frmAbout::lblDisclaimer, QString::fromLatin1(kDisclaimer), TextHolder::WrappedLabel, font);
    return TwipScale::forText(font, rooms);
}

QString frmAbout::versionText(const platform::AppObject& app) {
    return QString("Version %1.%2.%3").arg(app.major()).arg(app.minor()).arg(app.revision());
}

void frmAbout::createControls() {
    wardline::createControls(*this, kLabels, this, scale_, label);
    wardline::createControls(*this, kButtons, this, scale_, button);
    picIcon->setPixmap(QPixmap::fromImage(morrowsetIconImage(32)));
    picIcon->setAlignment(Qt::AlignCenter);
    lblTitle->setFont(titleFont(lblTitle->font()));
    cmdOK->setDefault(true);
    wardline::clickOnEnter(cmdOK);
    wardline::clickOnEnter(cmdSysInfo);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

void frmAbout::Form_Load() {
    const platform::AppObject& app = platform::app();
    wardline::Procedure(kModule, "Sub Form_Load").run({
        {30, [&] { setWindowTitle(QString::fromStdString("About " + app.title())); }},
        {40, [&] {
             lblVersion->setText(versionText(app));
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
    const int top = scale_.y(kSeparator.top);
    const int right = scale_.x(kSeparator.right);
    const int grayLeft = scale_.x(kSeparator.grayLeft);
    const int whiteLeft = scale_.x(kSeparator.whiteLeft);
    painter.fillRect(grayLeft, top, right - grayLeft, 1, kEtchShadow);
    painter.fillRect(whiteLeft, top + 1, right - whiteLeft, 2, kEtchLight);
}

void StartSysInfo() {
    // Its own trap: any failure, a failed start included, ends in the message.
    wardline::Procedure(kModule, "Sub StartSysInfo").runUntrapped({
        {0, [] {
             try {
                 const std::string viewer = registeredViewer();
                 if (viewer.empty()) return showUnavailable();
                 platform::launchProcess(viewer);
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
