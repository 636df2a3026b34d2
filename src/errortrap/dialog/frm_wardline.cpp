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
#include <fstream>

#include "errortrap/core/error_record.h"
#include "errortrap/core/runtime_texts.h"
#include "errortrap/core/skip_on_failure.h"
#include "errortrap/core/ui_services.h"
#include "errortrap/dialog/call_tree_list.h"
#include "errortrap/dialog/frm_wardline_layout.h"
#include "errortrap/dialog/help_viewer.h"
#include "errortrap/dialog/hourglass.h"
#include "errortrap/dialog/knowledge_base.h"
#include "errortrap/dialog/report_printer.h"
#include "errortrap/dialog/system_report.h"
#include "platform/profile.h"
#include "platform/runtime_error.h"

namespace wardline {
namespace {

constexpr int kContinueGapTwips = 10;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// The row captions of view 1.
LabelCaptions rowCaptions() {
    using C = DialogControls;
    using enum TextId;
    return {
        {&C::kxCtrlLabel1, qs(labelText(kModuleLabel))},
        {&C::kxCtrlLabel2, qs(labelText(kProcedureLabel))},
        {&C::kxCtrlLabel4, qs(pfText(kLineNumberLabel))},
        {&C::kxCtrlLabel5, qs(pfText(kErrorNumberLabel))},
        {&C::kxCtrlLabel6, qs(pfText(kDescriptionLabel))},
        {&C::kxCtrlLabel7, qs(pfText(kCategoryLabel))},
        {&C::kxCtrlProjLab, qs(pfText(kSourceLabel))},
    };
}

// The buttons' captions; Help is named only inside the development environment.
ButtonCaptions buttonCaptions() {
    using C = DialogControls;
    return {
        {&C::wlPrint, QStringLiteral("Print")},
        {&C::kxCtrlContinue, qs(pfText(TextId::kContinueCaption))},
        {&C::kxCtrlMore, qs(pfText(TextId::kBreakToCaption))},
    };
}

const QString kHelpCaption = QStringLiteral("Help");

// Inside the debugger F1 opens the runtime's own help.
constexpr const char* kRuntimeHelpFile = "wardline.hlp";

}  // namespace

frmWARDLINE::frmWARDLINE(DialogInput input)
    : scale_(layoutScale(font())), input_(std::move(input)),
      helpFileForF1_(input_.inDevEnvironment ? kRuntimeHelpFile : input_.helpFile) {
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFixedSize(scale_.size(kDialogWidthTwips, kDialogHeightTwips));
    c_ = createDialogControls(this, scale_);
    setTabOrderFromLayout();
    connectEvents();
    Form_Load();
}

frmWARDLINE::~frmWARDLINE() = default;

TwipScale frmWARDLINE::layoutScale(const QFont& font) {
    ButtonCaptions buttons = buttonCaptions();
    buttons.push_back({&DialogControls::kxHelp, kHelpCaption});
    return dialogScale(font, rowCaptions(), buttons);
}

std::string frmWARDLINE::pfSys() {
    return platform::windowsDirectory();
}

void frmWARDLINE::setTabOrderFromLayout() {
    const std::vector<QWidget*> stops = dialogTabOrder(c_);
    for (std::size_t i = 1; i < stops.size(); ++i) setTabOrder(stops[i - 1], stops[i]);
}

void frmWARDLINE::connectEvents() {
    connect(c_.Combo1, &QComboBox::currentIndexChanged, this, &frmWARDLINE::Combo1_Click);
    connect(c_.errText, &QComboBox::currentIndexChanged, this, &frmWARDLINE::errText_Click);
    connect(c_.kxCtrlContinue, &QPushButton::clicked, this, &frmWARDLINE::kxCtrlContinue_Click);
    connect(c_.kxCtrlMore, &QPushButton::clicked, this, &frmWARDLINE::kxCtrlMore_Click);
    connect(c_.kxHelp, &QPushButton::clicked, this, &frmWARDLINE::kxHelp_Click);
    connect(c_.cmdWWW, &QPushButton::clicked, this, &frmWARDLINE::cmdWWW_Click);
    connect(c_.wlPrint, &QPushButton::clicked, this, &frmWARDLINE::wlPrint_Click);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &frmWARDLINE::noteFocusWindow);
    // Key preview (F1): the form watches itself and every control.
    installEventFilter(this);
    for (QWidget* control : findChildren<QWidget*>()) control->installEventFilter(this);
}

void frmWARDLINE::Form_Load() {
    reportBuilt = false;
    setWindowTitle(qs(pfText(TextId::kDialogTitle)));
    for (const auto& caption : buttonCaptions()) (c_.*caption.control)->setText(caption.text);
    for (const auto& caption : rowCaptions()) (c_.*caption.control)->setText(caption.text);
    centreOnScreen();
    setDialogStatusTips(c_, this);
    c_.kxCtrlCalls->setHorizontalExtent(QFontMetrics(font()).horizontalAdvance(QString(128, QLatin1Char('w'))));
    {
        // Filling the list chooses no view yet: the driver does that.
        const QSignalBlocker quiet(c_.Combo1);
        for (const char* title : kDialogViewTitles) c_.Combo1->addItem(QLatin1String(title));
        c_.Combo1->setCurrentIndex(-1);
    }
    errText_Click();
}

void frmWARDLINE::centreOnScreen() {
    const QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!where) return;
    const QRect area = where->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

// ---- What the driver does ----

void frmWARDLINE::showHeadline(const std::string& text) { c_.lblErrCnt->setText(qs(text)); }

void frmWARDLINE::setComment(const std::string& text) { c_.Text1->setText(qs(text)); }

void frmWARDLINE::showLevelDetails(const ErrorLevel& level, int32_t codePointer) {
    c_.ErrType->setText(qs(level.category));
    c_.ErrNo->setText(qs(" " + std::to_string(level.number)));
    c_.ErrModule->setText(qs(" " + level.module));
    c_.errProject->setText(qs(level.source));
    c_.ErrProcedure->setText(qs(" " + level.procedure));
    c_.ErrLine->setText(qs(lineCaption(level.line, codePointer)));
}

void frmWARDLINE::listLevels(const std::vector<std::string>& entries) {
    c_.errText->clear();
    for (const std::string& entry : entries) c_.errText->addItem(qs(entry));
    c_.errText->setCurrentIndex(0);
}

int frmWARDLINE::levelCount() const { return c_.errText->count(); }

void frmWARDLINE::selectLevel(int index) {
    if (c_.errText->currentIndex() == index) {
        errText_Click();
    } else {
        c_.errText->setCurrentIndex(index);
    }
}

void frmWARDLINE::showCallTree(const std::vector<std::string>& lines) {
    c_.kxCtrlCalls->clear();
    for (const std::string& line : lines) c_.kxCtrlCalls->addItem(qs(line));
    const auto found = c_.kxCtrlCalls->findItems(QStringLiteral("Runtime error"), Qt::MatchContains);
    if (!found.isEmpty()) c_.kxCtrlCalls->setCurrentItem(found.first());
}

void frmWARDLINE::offerDevelopmentTools() {
    c_.kxHelp->setText(kHelpCaption);
    c_.kxHelp->setVisible(true);
    c_.cmdWWW->setVisible(true);
}

void frmWARDLINE::offerOnlyContinue(bool withSystemViews) {
    if (!withSystemViews)
        for (int i = 1; i < kDialogViewCount; ++i) c_.Combo1->removeItem(1);
    c_.kxCtrlMore->setVisible(false);
    c_.kxCtrlContinue->move(c_.wlPrint->x() - c_.kxCtrlContinue->width() - scale_.x(kContinueGapTwips),
                            c_.kxCtrlContinue->y());
    c_.kxHelp->setVisible(false);
    c_.cmdWWW->setVisible(false);
}

void frmWARDLINE::showView(int view) { c_.Combo1->setCurrentIndex(view); }

std::string frmWARDLINE::systemStateText() const {
    return c_.kxCtrlArgs->toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n")).toStdString();
}

DialogResult frmWARDLINE::answer() const {
    DialogResult result = answer_;
    result.systemStateText = systemStateText();
    return result;
}

void frmWARDLINE::tellAnswered() {
    if (input_.answered) input_.answered();
}

// ---- Event procedures ----

void frmWARDLINE::Combo1_Click() {
    platform::clearError();
    const int view = c_.Combo1->currentIndex();
    skipOnFailure([&] {
        if (view >= 0 && view < kDialogViewCount) c_.Picture1[static_cast<std::size_t>(view)]->raise();
    });
    if (view == 0) {
        skipOnFailure([&] { c_.Text1->setSelection(0, static_cast<int>(c_.Text1->text().size())); });
        skipOnFailure([&] { c_.Text1->setFocus(); });
        return;
    }
    if (view == 3 && !reportBuilt) {
        const Hourglass hourglass(input_.ui);
        skipOnFailure([&] { c_.kxCtrlArgs->clear(); });
        skipOnFailure([&] { BuildSystemReport(c_.kxCtrlArgs, reportBuilt, reportedProgram(), input_.ui); });
        reportBuilt = true;
    }
}

void frmWARDLINE::Form_Activate() {
    platform::clearError();
    skipOnFailure([&] {
        if (input_.shown) input_.shown();
    });
    skipOnFailure([] { QCoreApplication::processEvents(); });
    skipOnFailure([&] { c_.Text1->setFocus(); });
    skipOnFailure([&] { c_.Text1->selectAll(); });
    skipOnFailure([&] {
        if (input_.reportOnShow) BuildSystemReport(c_.kxCtrlArgs, reportBuilt, reportedProgram(), input_.ui);
    });
}

void frmWARDLINE::Form_Paint() {
    platform::clearError();
    skipOnFailure([&] { c_.kxCtrlContinue->setFocus(); });
    skipOnFailure([&] {
        QTextCursor cursor = c_.kxCtrlArgs->textCursor();
        cursor.setPosition(0);
        c_.kxCtrlArgs->setTextCursor(cursor);
    });
}

void frmWARDLINE::kxCtrlContinue_Click() {
    answer_.choice = kChoiceContinue;
    answer_.userComment = c_.Text1->text().toStdString();
    tellAnswered();
    hide();
}

void frmWARDLINE::kxCtrlMore_Click() {
    answer_.choice = kChoiceBreakTo;
    tellAnswered();
    hide();
}

void frmWARDLINE::errText_Click() {
    const int index = c_.errText->currentIndex();
    if (!input_.record || index < 0 || index > kMaxErrorLevel) return;
    const ErrorRecord& record = *input_.record;
    const ErrorLevel& level = record.levels[static_cast<std::size_t>(index)];
    showLevelDetails(level, record.codePointer);
    answer_.helpFile = level.helpFile;
    answer_.helpContext = level.helpContext;
}

std::string frmWARDLINE::lineCaption(int32_t line, int32_t codePointer) {
    if (line == 0) return " line numbers not used - Code Pointer = " + std::to_string(codePointer);
    return " " + std::to_string(line);
}

void frmWARDLINE::kxHelp_Click() {
    if (answer_.helpFile.empty()) errText_Click();
    platform::showHelpTopic(nullptr, answer_.helpFile, answer_.helpContext);
}

void frmWARDLINE::Form_KeyDown(int key) {
    if (key != Qt::Key_F1) return;
    platform::showHelpTopic(this, helpFileForF1_, dialogHelpContext(c_, focusWidget()));
}

void frmWARDLINE::messageBox(const std::string& text, int style, const std::string& title) const {
    if (input_.ui) input_.ui->messageBox(text, style, title);
}

ReportedProgram frmWARDLINE::reportedProgram() const { return {input_.inDevEnvironment, helpFileForF1_}; }

void frmWARDLINE::cmdWWW_Click() {
    if (!input_.inDevEnvironment) return;
    platform::clearError();
    std::ifstream index;
    skipOnFailure([&] {
        if (const auto path = locateKnowledgeBase(pfSys())) index.open(*path, std::ios::binary);
    });
    if (!index.is_open()) {
        messageBox("Cannot find allmskb.txt -- assistance not available.", kOkOnly, "");
        return;
    }
    std::string result;
    {
        const Hourglass hourglass(input_.ui);
        skipOnFailure([&] { result = searchKnowledgeBase(index, c_.ErrNo->text().toStdString()); });
    }
    skipOnFailure([&] { messageBox(result, kOkOnly | kInformation, "Wardline"); });
}

std::vector<std::string> frmWARDLINE::printedLines(int view) const {
    const auto row = [](const QLabel* caption, const QString& value) {
        std::string line = caption->text().toStdString();
        appendInNextZone(line, value.toStdString());
        return line;
    };
    switch (view) {
        case 0:
            return {c_.Text1->text().toStdString()};
        case 1:
            return {row(c_.kxCtrlLabel7, c_.ErrType->text()),   row(c_.kxCtrlProjLab, c_.errProject->text()),
                    row(c_.kxCtrlLabel1, c_.ErrModule->text()), row(c_.kxCtrlLabel2, c_.ErrProcedure->text()),
                    row(c_.kxCtrlLabel4, c_.ErrLine->text()),   row(c_.kxCtrlLabel5, c_.ErrNo->text()),
                    row(c_.kxCtrlLabel6, c_.errText->currentText())};
        case 2: {
            std::vector<std::string> lines;
            for (int i = 0; i < c_.kxCtrlCalls->count(); ++i)
                lines.push_back(c_.kxCtrlCalls->item(i)->text().toStdString());
            return lines;
        }
        case 3: {
            std::vector<std::string> lines;
            for (const QString& line : c_.kxCtrlArgs->toPlainText().split(QLatin1Char('\n')))
                lines.push_back(line.toStdString());
            return lines;
        }
        default:
            return {};
    }
}

void frmWARDLINE::wlPrint_Click() {
    platform::clearError();
    const Hourglass hourglass(input_.ui);
    std::vector<std::string> lines;
    skipOnFailure([&] { lines = printedLines(c_.Combo1->currentIndex()); });
    skipOnFailure([&] { printLines(lines); });
}

// ---- Activation, focus and repaints ----

bool frmWARDLINE::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate && focusRules_.activated()) Form_Activate();
    return QDialog::event(e);
}

// The help viewer or a message box of the form closing uncovers the form.
void frmWARDLINE::noteFocusWindow(QWindow* window) {
    if (focusRules_.focusWindowChanged(window, windowHandle())) Form_Paint();
}

bool frmWARDLINE::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
        case QEvent::Expose:
            if (watched == watchedWindow_.data() && watchedWindow_->isExposed() && focusRules_.uncovered())
                Form_Paint();
            break;
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
            focusRules_.userInput();
            if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_F1) {
                Form_KeyDown(Qt::Key_F1);
                return true;
            }
            break;
        default:
            break;
    }
    return QDialog::eventFilter(watched, e);
}

void frmWARDLINE::watchWindowExposure() {
    QWindow* window = windowHandle();
    if (!window || window == watchedWindow_) return;
    watchedWindow_ = window;
    window->installEventFilter(this);
}

void frmWARDLINE::showEvent(QShowEvent* e) {
    focusRules_.shown();
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
