#include "errortrap/dialog/frm_wardline.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextCursor>
#include <QWindow>
#include <algorithm>
#include <fstream>
#include <map>

#include "errortrap/dialog/call_tree_list.h"
#include "errortrap/dialog/help_viewer.h"
#include "errortrap/dialog/knowledge_base.h"
#include "errortrap/dialog/report_printer.h"
#include "errortrap/dialog/system_report.h"
#include "errortrap/error_record.h"
#include "errortrap/runtime_state.h"
#include "errortrap/ui_services.h"
#include "errortrap/wardline.h"
#include "platform/app_object.h"
#include "platform/profile.h"
#include "platform/runtime_error.h"

namespace wardline {
namespace {

// Client area of the form, in twips.
constexpr int kFormWidth = 7395;
constexpr int kFormHeight = 3825;
constexpr int kTwipsPerInch = 1440;
constexpr int kFormFontPoints = 8;
constexpr int kReportFontPoints = 9;
constexpr int kViewCount = 4;

enum class Kind {
    Headline,      // word-wrapped label
    Picture,       // container of one view
    CommentBox,    // one-line text box
    CaptionLabel,  // view 1 row caption
    ValueLabel,    // view 1 row value
    ValueBox,      // view 1 read-only text box
    LevelList,     // view 1 drop-down combo box of error levels
    ViewList,      // drop-down list
    CallList,      // list box
    ReportBox,     // multi-line text box, both scroll bars, fixed-pitch font
    Button,
};

struct ControlLayout {
    const char* name;
    Kind kind;
    const char* parent;            // "" for the form
    int left, top, width, height;  // twips
    int tabIndex;
    int helpContext;  // 0 for none
    const char* designText;
};

// The form's design, parents before children. Picture1_<i> is view i.
constexpr ControlLayout kLayout[] = {
    {"lblErrCnt", Kind::Headline, "", 120, 45, 7185, 570, 26, 0, "Label1"},
    {"Combo1", Kind::ViewList, "", 105, 780, 7200, 315, 25, 0, ""},
    {"Picture1_0", Kind::Picture, "", 105, 1110, 7905, 2200, 5, 0, ""},
    {"Text1", Kind::CommentBox, "Picture1_0", 0, 15, 7185, 1890, 9, 0, ""},
    {"Picture1_1", Kind::Picture, "", 105, 1110, 7560, 2205, 6, 0, ""},
    {"kxCtrlLabel7", Kind::CaptionLabel, "Picture1_1", 0, 60, 1275, 300, 21, 0, ""},
    {"ErrType", Kind::ValueBox, "Picture1_1", 1290, 60, 5895, 300, 10, 290, ""},
    {"kxCtrlProjLab", Kind::CaptionLabel, "Picture1_1", 0, 360, 1275, 300, 22, 0, ""},
    {"errProject", Kind::ValueBox, "Picture1_1", 1290, 360, 5895, 300, 27, 290, ""},
    {"kxCtrlLabel1", Kind::CaptionLabel, "Picture1_1", 0, 660, 1275, 300, 15, 0, ""},
    {"ErrModule", Kind::ValueLabel, "Picture1_1", 1290, 660, 5895, 300, 16, 0, ""},
    {"kxCtrlLabel2", Kind::CaptionLabel, "Picture1_1", 0, 960, 1275, 300, 17, 0, ""},
    {"ErrProcedure", Kind::ValueLabel, "Picture1_1", 1290, 960, 5895, 300, 18, 0, ""},
    {"kxCtrlLabel4", Kind::CaptionLabel, "Picture1_1", 0, 1260, 1275, 300, 19, 0, ""},
    {"ErrLine", Kind::ValueLabel, "Picture1_1", 1290, 1260, 5895, 300, 20, 0, ""},
    {"kxCtrlLabel5", Kind::CaptionLabel, "Picture1_1", 0, 1560, 1275, 285, 12, 0, ""},
    {"ErrNo", Kind::ValueLabel, "Picture1_1", 1290, 1560, 5895, 285, 13, 0, ""},
    {"kxCtrlLabel6", Kind::CaptionLabel, "Picture1_1", 0, 1860, 1275, 315, 14, 0, ""},
    {"errText", Kind::LevelList, "Picture1_1", 1290, 1860, 5895, 315, 11, 280, "errText"},
    {"Picture1_2", Kind::Picture, "", 105, 1110, 7905, 2200, 7, 0, ""},
    {"kxCtrlCalls", Kind::CallList, "Picture1_2", 0, 45, 7185, 2010, 23, 350, ""},
    {"Picture1_3", Kind::Picture, "", 105, 1110, 7905, 2200, 8, 0, ""},
    {"kxCtrlArgs", Kind::ReportBox, "Picture1_3", 0, 0, 7200, 2025, 24, 330, ""},
    {"kxCtrlContinue", Kind::Button, "", 105, 3375, 2400, 375, 0, 340, ""},
    {"cmdWWW", Kind::Button, "", 2535, 3375, 1155, 375, 4, 340, "Check"},
    {"kxCtrlMore", Kind::Button, "", 3720, 3375, 1155, 375, 1, 320, ""},
    {"kxHelp", Kind::Button, "", 4905, 3375, 1155, 375, 2, 270, ""},
    {"wlPrint", Kind::Button, "", 6105, 3375, 1155, 375, 3, 300, ""},
};

constexpr const char* kHelpContextProperty = "HelpContextID";
constexpr const char* kTabIndexProperty = "TabIndex";

constexpr const char* kViewTitles[kViewCount] = {
    "To help resolve the problem, please enter what you were doing.",
    "View detailed information about the error source",
    "View error context and procedure trace",
    "View local system information",
};

struct HoverText {
    const char* control;  // "" for the form itself
    const char* text;
};

constexpr HoverText kHoverTexts[] = {
    {"", "Press 'Continue' to acknowledge this error and continue."},
    {"kxCtrlContinue", "Press to acknowledge this error and continue."},
    {"kxCtrlMore", "Press to break to design-mode in this procedure."},
    {"kxHelp", "Press to show detailed help about this error."},
    {"cmdWWW", "Press to search the Microsoft Internet Knowledge Base for any relation to this error."},
    {"wlPrint", "Press to print this tabs data to the default printer."},
    {"kxCtrlLabel7", "The error category"},
    {"ErrType", "The error category"},
    {"kxCtrlProjLab", "The error source"},
    {"errProject", "The error source"},
    {"kxCtrlLabel1", "The error module"},
    {"ErrModule", "The error module"},
    {"kxCtrlLabel2", "The error procedure"},
    {"ErrProcedure", "The error procedure"},
    {"kxCtrlLabel4", "The line number where the error happened"},
    {"ErrLine", "The line number where the error happened"},
    {"kxCtrlLabel5", "The error number"},
    {"ErrNo", "The error number"},
    {"kxCtrlLabel6", "A description of the error"},
};

const char* hoverTextFor(const QString& control) {
    for (const HoverText& hover : kHoverTexts)
        if (control == QLatin1String(hover.control)) return hover.text;
    return nullptr;
}

// Runs one step of a handler that skips failing steps.
template <typename Step>
void skipOnFailure(Step&& step) {
    try {
        step();
    } catch (...) {
    }
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QWidget* createControl(const ControlLayout& layout, QWidget* parent) {
    const QString design = QString::fromLatin1(layout.designText);
    switch (layout.kind) {
        case Kind::Headline: {
            auto* label = new QLabel(design, parent);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case Kind::Picture: {
            // Opaque, so that the view in front hides the ones behind it.
            auto* picture = new QWidget(parent);
            picture->setAutoFillBackground(true);
            return picture;
        }
        case Kind::CommentBox: {
            auto* box = new QLineEdit(parent);
            box->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return box;
        }
        case Kind::CaptionLabel:
        case Kind::ValueLabel:
            return new QLabel(design, parent);
        case Kind::ValueBox: {
            auto* box = new QLineEdit(parent);
            box->setReadOnly(true);
            return box;
        }
        case Kind::LevelList: {
            auto* list = new QComboBox(parent);
            list->setPlaceholderText(design);
            return list;
        }
        case Kind::ViewList:
            return new QComboBox(parent);
        case Kind::CallList:
            return new CallTreeList(parent);
        case Kind::ReportBox: {
            auto* box = new QPlainTextEdit(parent);
            box->setLineWrapMode(QPlainTextEdit::NoWrap);
            box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            font.setStyleHint(QFont::Monospace);
            font.setPointSize(kReportFontPoints);
            box->setFont(font);
            return box;
        }
        case Kind::Button:
            return new QPushButton(design, parent);
    }
    return nullptr;
}

// View 1 shows black text on white.
void paintWhite(QWidget* control) {
    QPalette palette = control->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Text, Qt::black);
    control->setPalette(palette);
    control->setAutoFillBackground(true);
}

// True when `window` is `owner` or one of the windows kept in front of it.
bool isWindowOf(const QWindow* window, const QWindow* owner) {
    for (const QWindow* w = window; w; w = w->transientParent() ? w->transientParent() : w->parent())
        if (w == owner) return true;
    return false;
}

// Restores the pointer shape however the step that needed the hourglass ends.
class HourglassOn {
  public:
    explicit HourglassOn(QWidget* form) : form_(form) { form_->setCursor(Qt::WaitCursor); }
    ~HourglassOn() { form_->unsetCursor(); }
    HourglassOn(const HourglassOn&) = delete;
    HourglassOn& operator=(const HourglassOn&) = delete;

  private:
    QWidget* form_;
};

}  // namespace

frmWARDLINE::frmWARDLINE() {
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);
    QFont formFont = font();
    formFont.setPointSize(kFormFontPoints);
    setFont(formFont);
    setFixedSize(twipsToPixelsX(kFormWidth), twipsToPixelsY(kFormHeight));
    createControls();
    setTabOrderFromLayout();
    connectEvents();
    Form_Load();
}

frmWARDLINE::~frmWARDLINE() = default;

std::string frmWARDLINE::pfSys() {
    return platform::windowsDirectory();
}

int frmWARDLINE::twipsToPixelsX(int twips) const {
    return qRound(twips * static_cast<double>(logicalDpiX()) / kTwipsPerInch);
}

int frmWARDLINE::twipsToPixelsY(int twips) const {
    return qRound(twips * static_cast<double>(logicalDpiY()) / kTwipsPerInch);
}

void frmWARDLINE::createControls() {
    std::map<QString, QWidget*> byName;
    for (const ControlLayout& layout : kLayout) {
        QWidget* parent = *layout.parent ? byName.at(QLatin1String(layout.parent)) : this;
        QWidget* control = createControl(layout, parent);
        control->setObjectName(QLatin1String(layout.name));
        control->setGeometry(twipsToPixelsX(layout.left), twipsToPixelsY(layout.top),
                             twipsToPixelsX(layout.width), twipsToPixelsY(layout.height));
        control->setProperty(kTabIndexProperty, layout.tabIndex);
        if (layout.helpContext) control->setProperty(kHelpContextProperty, layout.helpContext);
        if (QString(layout.parent) == QLatin1String("Picture1_1") && layout.kind != Kind::LevelList)
            paintWhite(control);
        byName[control->objectName()] = control;
    }
    const auto find = [&](const char* name) { return byName.at(QLatin1String(name)); };
    lblErrCnt = static_cast<QLabel*>(find("lblErrCnt"));
    Combo1 = static_cast<QComboBox*>(find("Combo1"));
    for (int i = 0; i < kViewCount; ++i) Picture1[i] = find(qPrintable(QStringLiteral("Picture1_%1").arg(i)));
    Text1 = static_cast<QLineEdit*>(find("Text1"));
    kxCtrlLabel7 = static_cast<QLabel*>(find("kxCtrlLabel7"));
    ErrType = static_cast<QLineEdit*>(find("ErrType"));
    kxCtrlProjLab = static_cast<QLabel*>(find("kxCtrlProjLab"));
    errProject = static_cast<QLineEdit*>(find("errProject"));
    kxCtrlLabel1 = static_cast<QLabel*>(find("kxCtrlLabel1"));
    ErrModule = static_cast<QLabel*>(find("ErrModule"));
    kxCtrlLabel2 = static_cast<QLabel*>(find("kxCtrlLabel2"));
    ErrProcedure = static_cast<QLabel*>(find("ErrProcedure"));
    kxCtrlLabel4 = static_cast<QLabel*>(find("kxCtrlLabel4"));
    ErrLine = static_cast<QLabel*>(find("ErrLine"));
    kxCtrlLabel5 = static_cast<QLabel*>(find("kxCtrlLabel5"));
    ErrNo = static_cast<QLabel*>(find("ErrNo"));
    kxCtrlLabel6 = static_cast<QLabel*>(find("kxCtrlLabel6"));
    errText = static_cast<QComboBox*>(find("errText"));
    kxCtrlCalls = static_cast<CallTreeList*>(find("kxCtrlCalls"));
    kxCtrlArgs = static_cast<QPlainTextEdit*>(find("kxCtrlArgs"));
    kxCtrlContinue = static_cast<QPushButton*>(find("kxCtrlContinue"));
    cmdWWW = static_cast<QPushButton*>(find("cmdWWW"));
    kxCtrlMore = static_cast<QPushButton*>(find("kxCtrlMore"));
    kxHelp = static_cast<QPushButton*>(find("kxHelp"));
    wlPrint = static_cast<QPushButton*>(find("wlPrint"));
}

void frmWARDLINE::setTabOrderFromLayout() {
    std::vector<QWidget*> stops;
    for (QWidget* control : findChildren<QWidget*>())
        if (control->property(kTabIndexProperty).isValid() && control->focusPolicy() != Qt::NoFocus)
            stops.push_back(control);
    std::sort(stops.begin(), stops.end(), [](QWidget* a, QWidget* b) {
        return a->property(kTabIndexProperty).toInt() < b->property(kTabIndexProperty).toInt();
    });
    for (std::size_t i = 1; i < stops.size(); ++i) setTabOrder(stops[i - 1], stops[i]);
}

void frmWARDLINE::connectEvents() {
    connect(Combo1, &QComboBox::currentIndexChanged, this, &frmWARDLINE::Combo1_Click);
    connect(errText, &QComboBox::currentIndexChanged, this, &frmWARDLINE::errText_Click);
    connect(kxCtrlContinue, &QPushButton::clicked, this, &frmWARDLINE::kxCtrlContinue_Click);
    connect(kxCtrlMore, &QPushButton::clicked, this, &frmWARDLINE::kxCtrlMore_Click);
    connect(kxHelp, &QPushButton::clicked, this, &frmWARDLINE::kxHelp_Click);
    connect(cmdWWW, &QPushButton::clicked, this, &frmWARDLINE::cmdWWW_Click);
    connect(wlPrint, &QPushButton::clicked, this, &frmWARDLINE::wlPrint_Click);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &frmWARDLINE::noteFocusWindow);
    // Key preview (F1) and hover help: the form watches itself and every control.
    setMouseTracking(true);
    installEventFilter(this);
    for (QWidget* control : findChildren<QWidget*>()) {
        control->installEventFilter(this);
        if (hoverTextFor(control->objectName())) control->setMouseTracking(true);
    }
}

void frmWARDLINE::Form_Load() {
    reportBuilt = false;
    setWindowTitle(qs(pfText(34)));
    wlPrint->setText(QStringLiteral("Print"));
    kxCtrlLabel1->setText(qs(trimmed(pfText(19)) + " "));
    kxCtrlLabel2->setText(qs(trimmed(pfText(30)) + " "));
    kxCtrlLabel4->setText(qs(pfText(35)));
    kxCtrlLabel5->setText(qs(pfText(36)));
    kxCtrlLabel6->setText(qs(pfText(37)));
    kxCtrlLabel7->setText(qs(pfText(38)));
    kxCtrlProjLab->setText(qs(pfText(61)));
    kxCtrlContinue->setText(qs(pfText(42)));
    kxCtrlMore->setText(qs(pfText(44)));
    centreOnScreen();
    kxCtrlCalls->setHorizontalExtent(QFontMetrics(font()).horizontalAdvance(QString(128, QLatin1Char('w'))));
    {
        // Filling the list chooses no view yet: the driver does that.
        const QSignalBlocker quiet(Combo1);
        for (const char* title : kViewTitles) Combo1->addItem(QLatin1String(title));
        Combo1->setCurrentIndex(-1);
    }
    errText_Click();
}

void frmWARDLINE::centreOnScreen() {
    const QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!where) return;
    const QRect area = where->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

void frmWARDLINE::Combo1_Click() {
    platform::clearError();
    const int view = Combo1->currentIndex();
    skipOnFailure([&] {
        if (view >= 0 && view < kViewCount) Picture1[static_cast<std::size_t>(view)]->raise();
    });
    if (view == 0) {
        skipOnFailure([&] { Text1->setSelection(0, static_cast<int>(Text1->text().size())); });
        skipOnFailure([&] { Text1->setFocus(); });
        return;
    }
    if (view == 3 && !reportBuilt) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        skipOnFailure([&] { kxCtrlArgs->clear(); });
        skipOnFailure([&] { BuildSystemReport(kxCtrlArgs, reportBuilt); });
        reportBuilt = true;
        QGuiApplication::restoreOverrideCursor();
    }
}

void frmWARDLINE::Form_Activate() {
    platform::clearError();
    skipOnFailure([] { runtime().busy = true; });
    skipOnFailure([] { QCoreApplication::processEvents(); });
    skipOnFailure([&] { Text1->setFocus(); });
    skipOnFailure([&] { Text1->selectAll(); });
    skipOnFailure([&] {
        if (runtime().prefs.displayMode != 0) BuildSystemReport(kxCtrlArgs, reportBuilt);
    });
}

void frmWARDLINE::Form_Paint() {
    platform::clearError();
    skipOnFailure([&] { kxCtrlContinue->setFocus(); });
    skipOnFailure([&] {
        QTextCursor cursor = kxCtrlArgs->textCursor();
        cursor.setPosition(0);
        kxCtrlArgs->setTextCursor(cursor);
    });
}

void frmWARDLINE::kxCtrlContinue_Click() {
    runtime().dialogChoice = 0;
    errorRecord().userComment = Text1->text().toStdString();
    runtime().busy = false;
    hide();
}

void frmWARDLINE::kxCtrlMore_Click() {
    runtime().dialogChoice = 5;
    runtime().busy = false;
    hide();
}

void frmWARDLINE::errText_Click() {
    const int index = errText->currentIndex();
    if (index < 0 || index > kMaxErrorLevel) return;
    const ErrorRecord& record = errorRecord();
    const ErrorLevel& level = record.levels[static_cast<std::size_t>(index)];
    ErrType->setText(qs(level.category));
    ErrNo->setText(qs(" " + std::to_string(level.number)));
    ErrModule->setText(qs(" " + level.module));
    errProject->setText(qs(level.source));
    ErrProcedure->setText(qs(" " + level.procedure));
    ErrLine->setText(qs(lineCaption(level.line, record.codePointer)));
    platform::ErrorInfo& current = platform::currentError();
    current.helpFile = level.helpFile;
    current.helpContext = level.helpContext;
}

std::string frmWARDLINE::lineCaption(int32_t line, int32_t codePointer) {
    if (line == 0) return " line numbers not used - Code Pointer = " + std::to_string(codePointer);
    return " " + std::to_string(line);
}

void frmWARDLINE::kxHelp_Click() {
    if (platform::currentError().helpFile.empty()) errText_Click();
    const platform::ErrorInfo& current = platform::currentError();
    platform::showHelpTopic(nullptr, current.helpFile, current.helpContext);
}

void frmWARDLINE::Form_KeyDown(int key) {
    if (key != Qt::Key_F1) return;
    const QWidget* focused = focusWidget();
    const int context = focused ? focused->property(kHelpContextProperty).toInt() : 0;
    platform::showHelpTopic(this, platform::app().helpFile(), context);
}

void frmWARDLINE::cmdWWW_Click() {
    if (runtime().inDevEnvironment == 0) return;
    platform::clearError();
    std::ifstream index;
    skipOnFailure([&] {
        if (const auto path = locateKnowledgeBase(pfSys())) index.open(*path, std::ios::binary);
    });
    if (!index.is_open()) {
        ui().messageBox("Cannot find allmskb.txt -- assistance not available.", kOkOnly, "");
        return;
    }
    std::string result;
    {
        const HourglassOn hourglass(this);
        skipOnFailure([&] { result = searchKnowledgeBase(index, ErrNo->text().toStdString()); });
    }
    skipOnFailure([&] { ui().messageBox(result, kOkOnly | kInformation, "Wardline"); });
}

std::vector<std::string> frmWARDLINE::printedLines(int view) const {
    const auto row = [](const QLabel* caption, const QString& value) {
        std::string line = caption->text().toStdString();
        appendInNextZone(line, value.toStdString());
        return line;
    };
    switch (view) {
        case 0:
            return {Text1->text().toStdString()};
        case 1:
            return {row(kxCtrlLabel7, ErrType->text()),       row(kxCtrlProjLab, errProject->text()),
                    row(kxCtrlLabel1, ErrModule->text()),     row(kxCtrlLabel2, ErrProcedure->text()),
                    row(kxCtrlLabel4, ErrLine->text()),       row(kxCtrlLabel5, ErrNo->text()),
                    row(kxCtrlLabel6, errText->currentText())};
        case 2: {
            std::vector<std::string> lines;
            for (int i = 0; i < kxCtrlCalls->count(); ++i)
                lines.push_back(kxCtrlCalls->item(i)->text().toStdString());
            return lines;
        }
        case 3: {
            std::vector<std::string> lines;
            for (const QString& line : kxCtrlArgs->toPlainText().split(QLatin1Char('\n')))
                lines.push_back(line.toStdString());
            return lines;
        }
        default:
            return {};
    }
}

void frmWARDLINE::wlPrint_Click() {
    platform::clearError();
    const HourglassOn hourglass(this);
    std::vector<std::string> lines;
    skipOnFailure([&] { lines = printedLines(Combo1->currentIndex()); });
    skipOnFailure([&] { printLines(lines); });
}

bool frmWARDLINE::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) {
        // Getting the focus back from the form's own windows or from another program is no
        // new activation.
        const bool newActivation = !activatedOnce_ || (focusAway_ != FocusAway::OwnWindow &&
                                                       focusAway_ != FocusAway::OutsideProgram);
        if (!activatedOnce_) mayHaveBeenCovered_ = false;  // the form is only now up
        activatedOnce_ = true;
        if (newActivation) Form_Activate();
    }
    return QDialog::event(e);
}

// Called after the activation events of a focus change have been sent.
void frmWARDLINE::noteFocusWindow(QWindow* window) {
    const QWindow* mine = windowHandle();
    if (!mine) return;
    if (window == mine) {
        // The own window that just closed (a drop-down list, a message box) uncovers part
        // of the form: that is no repaint after another window covered it.
        exposedByOwnWindow_ = focusAway_ == FocusAway::OwnWindow;
        focusAway_ = FocusAway::Nowhere;
        return;
    }
    if (window) {
        focusAway_ = isWindowOf(window, mine) ? FocusAway::OwnWindow : FocusAway::ProgramWindow;
    } else if (focusAway_ == FocusAway::Nowhere) {
        focusAway_ = FocusAway::OutsideProgram;  // between two windows it may pass through none
    }
    if (focusAway_ != FocusAway::OwnWindow) {
        mayHaveBeenCovered_ = true;
        exposedByOwnWindow_ = false;
    }
}

bool frmWARDLINE::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
        case QEvent::Expose:
            // A repaint that the window system asks for because another window uncovered
            // the form, as opposed to a control redrawing itself or the form's first paint
            // (whose focus the activation overrides).
            if (watched == watchedWindow_.data() && watchedWindow_->isExposed() && mayHaveBeenCovered_ &&
                focusAway_ != FocusAway::OwnWindow && !exposedByOwnWindow_)
                Form_Paint();
            break;
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
            exposedByOwnWindow_ = false;
            if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_F1) {
                Form_KeyDown(Qt::Key_F1);
                return true;
            }
            break;
        case QEvent::MouseMove:
            if (const char* text = hoverTextOver(watched, static_cast<QMouseEvent*>(e)->position().toPoint()))
                emit UpdateStatusBar(QLatin1String(text));
            break;
        default:
            break;
    }
    return QDialog::eventFilter(watched, e);
}

// The hover text for a mouse move that `watched` receives at `position`. A move over a
// control that has no text of its own reaches the form too, and is no move over the form.
const char* frmWARDLINE::hoverTextOver(QObject* watched, QPoint position) const {
    if (watched == this) return childAt(position) ? nullptr : hoverTextFor(QString());
    const QString name = watched->objectName();
    return name.isEmpty() ? nullptr : hoverTextFor(name);
}

void frmWARDLINE::watchWindowExposure() {
    QWindow* window = windowHandle();
    if (!window || window == watchedWindow_) return;
    watchedWindow_ = window;
    window->installEventFilter(this);
}

void frmWARDLINE::showEvent(QShowEvent* e) {
    mayHaveBeenCovered_ = false;
    watchWindowExposure();
    QDialog::showEvent(e);
    activateWindow();
}

// The dialog cannot be closed from its frame or with the keyboard while it is visible:
// it closes only through Continue or Break to.
void frmWARDLINE::closeEvent(QCloseEvent* e) {
    if (isVisible()) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

void frmWARDLINE::reject() {
    if (!isVisible()) QDialog::reject();
}

}  // namespace wardline
