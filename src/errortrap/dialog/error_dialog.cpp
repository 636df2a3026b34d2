#include "errortrap/dialog/error_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>

#include "errortrap/dialog/call_tree_list.h"
#include "errortrap/dialog/frm_wardline.h"
#include "errortrap/error_record.h"
#include "errortrap/runtime_state.h"
#include "platform/app_object.h"
#include "platform/conversions.h"
#include "platform/runtime_error.h"

namespace wardline {
namespace {

constexpr int kContinueGapTwips = 10;
constexpr const char* kRuntimeHelpFile = "wardline.hlp";

QPointer<frmWARDLINE>& loadedForm() {
    static QPointer<frmWARDLINE> form;
    return form;
}

bool widgetsAvailable() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// Loads the form for one error and unloads it at the end of the scope. A form loaded
// before (one whose modal show is still unwinding under a nested error) is the loaded
// one again afterwards.
class LoadedForm {
public:
    LoadedForm() : previous_(loadedForm()), form_(new frmWARDLINE) { loadedForm() = form_; }
    ~LoadedForm() {
        delete form_.data();
        loadedForm() = previous_;
    }
    LoadedForm(const LoadedForm&) = delete;
    LoadedForm& operator=(const LoadedForm&) = delete;
    frmWARDLINE& operator*() const { return *form_; }

private:
    QPointer<frmWARDLINE> previous_;
    QPointer<frmWARDLINE> form_;
};

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The first of several names joined by " << ".
std::string firstName(const std::string& names) {
    return names.substr(0, names.find(" << "));
}

// Remote levels the record can hold: a forwarded chain may announce more than it keeps.
int recordedLevels(const ErrorRecord& record) {
    return std::clamp<int>(record.levelCount, 0, kMaxErrorLevel);
}

// A trace frame as the call tree shows it: tabs as blanks, the level number up to its
// " :" dropped, blanks trimmed.
std::string callTreeFrame(std::string frame) {
    std::replace(frame.begin(), frame.end(), '\t', ' ');
    const auto colon = frame.find(" :");
    frame = colon == std::string::npos ? frame.substr(std::min<std::size_t>(1, frame.size()))
                                       : frame.substr(colon + 2);
    return trimmed(frame);
}

std::string runtimeErrorText(const ErrorLevel& level, bool withLine) {
    std::string text = "Runtime error " + std::to_string(level.number) + ", " + level.description;
    if (withLine && level.line >= 1) text += " on line " + std::to_string(level.line);
    return text;
}

void adaptToEnvironment(frmWARDLINE& form) {
    const RuntimeState& state = runtime();
    if (state.inDevEnvironment != 0) {
        form.Combo1->setCurrentIndex(1);
        form.centreOnScreen();
        form.kxHelp->setText(QStringLiteral("Help"));
        form.kxHelp->setVisible(true);
        platform::app().setHelpFile(kRuntimeHelpFile);
        form.cmdWWW->setVisible(true);
        return;
    }
    if (state.prefs.forceSystemInfo == 0)
        for (int i = 0; i < 3; ++i) form.Combo1->removeItem(1);
    form.Combo1->setCurrentIndex(0);
    form.kxCtrlMore->setVisible(false);
    // Continue, now the only way out, stands just left of Print.
    form.kxCtrlContinue->move(
        form.wlPrint->x() - form.kxCtrlContinue->width() - form.twipsToPixelsX(kContinueGapTwips),
        form.kxCtrlContinue->y());
    form.centreOnScreen();
    form.kxHelp->setVisible(false);
    form.cmdWWW->setVisible(false);
}

std::string headline(const ErrorRecord& record) {
    const std::string& exeName = platform::app().exeName();
    const int levels = recordedLevels(record);
    if (levels < 2)
        return "An unexpected '" + lowerCase(record.levels[0].description) + "' error occured in " + exeName +
               ".";
    return "An unexpected '" + lowerCase(record.levels[static_cast<std::size_t>(levels)].description) +
           "' error occured in a component used by " + exeName + ".";
}

void showLevelZero(frmWARDLINE& form, const ErrorRecord& record) {
    const ErrorLevel& level = record.levels[0];
    form.ErrModule->setText(qs(" " + level.module));
    form.errProject->setText(qs(level.source));
    form.ErrProcedure->setText(qs(" " + level.procedure));
    form.ErrLine->setText(qs(frmWARDLINE::lineCaption(level.line, record.codePointer)));
    form.ErrNo->setText(qs(" " + std::to_string(level.number)));
}

// One entry per level, numbered from the top: level 0 carries the highest number.
void fillLevelList(frmWARDLINE& form, const ErrorRecord& record) {
    const int levels = recordedLevels(record);
    form.errText->clear();
    for (int l = 0; l <= levels; ++l)
        form.errText->addItem(qs("Error " + std::to_string(levels - l + 1) + " - " +
                                 record.levels[static_cast<std::size_t>(l)].description));
    form.errText->setCurrentIndex(0);
}

std::vector<std::string> callTreeEntries(const ErrorRecord& record) {
    std::vector<std::string> entries;
    const auto add = [&entries](const char* kind, int indent, const std::string& text) {
        entries.push_back(std::to_string(entries.size() + 1) + " : " + kind + "\t" +
                          std::string(static_cast<std::size_t>(std::max(indent, 0)), '\t') + text);
    };
    const ErrorLevel& level0 = record.levels[0];
    const std::string trapped = firstName(level0.module) + " : " + firstName(level0.procedure);
    const auto depth = static_cast<int>(
        std::clamp<int64_t>(platform::leadingNumber(record.callTreeSnapshot[0]), 0, kCallTreeSlots - 1));
    int indent = -1;
    std::size_t trapMark = 0;
    for (int k = 1; k <= depth; ++k) {
        const std::string frame = callTreeFrame(record.callTreeSnapshot[static_cast<std::size_t>(k)]);
        add("Call", ++indent, frame);
        if (frame.find(trapped) != std::string::npos) {
            trapMark = entries.size();
            add("Trap", indent, runtimeErrorText(level0, true));
        }
    }
    if (static_cast<int64_t>(trapMark) < static_cast<int64_t>(entries.size()) - 1)
        add("Error", indent, runtimeErrorText(level0, false));
    for (int l = 1; l <= recordedLevels(record); ++l) {
        const ErrorLevel& level = record.levels[static_cast<std::size_t>(l)];
        add("Call", ++indent,
            firstName(level.source) + " : " + firstName(level.module) + " : " + firstName(level.procedure));
        add("Error", indent, runtimeErrorText(level, true));
    }
    return entries;
}

void fillCallTree(frmWARDLINE& form, const ErrorRecord& record) {
    for (const std::string& entry : callTreeEntries(record)) form.kxCtrlCalls->addItem(qs(entry));
    const auto found = form.kxCtrlCalls->findItems(QStringLiteral("Runtime error"), Qt::MatchContains);
    if (!found.isEmpty()) form.kxCtrlCalls->setCurrentItem(found.first());
}

// Selects the entry and shows its level, even when it was selected already.
void selectLevel(frmWARDLINE& form, int index) {
    if (form.errText->currentIndex() == index) {
        form.errText_Click();
    } else {
        form.errText->setCurrentIndex(index);
    }
}

}  // namespace

int16_t ShowErrorDialog() {
    if (!widgetsAvailable()) return 0;
    const ErrorRecord& record = errorRecord();
    const LoadedForm loaded;
    frmWARDLINE& form = *loaded;
    form.ErrType->setText(qs(record.levels[0].category));
    const std::string savedHelpFile = platform::app().helpFile();
    form.kxCtrlCalls->clear();
    adaptToEnvironment(form);
    std::string caption = headline(record);
    form.Text1->setText(QStringLiteral("Type in what you where doing here."));
    showLevelZero(form, record);
    fillLevelList(form, record);
    caption += "\n" + std::to_string(form.errText->count()) + " error(s) are logged.";
    form.lblErrCnt->setText(qs(caption));
    fillCallTree(form, record);
    platform::currentError().helpFile = record.levels[0].helpFile;
    platform::currentError().helpContext = record.levels[0].helpContext;
    selectLevel(form, form.errText->count() - 1);

    form.inModalShow = true;
    form.exec();
    form.inModalShow = false;

    const int16_t result = runtime().dialogChoice;
    platform::app().setHelpFile(savedHelpFile);
    // The report box's text as the error log writes it, with CR LF line ends.
    errorRecord().systemStateText =
        form.kxCtrlArgs->toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n")).toStdString();
    return result;
}

void UnloadErrorDialog() {
    frmWARDLINE* form = loadedForm();
    if (form && !form->inModalShow) delete form;
}

bool ProbeErrorDialog() {
    if (!widgetsAvailable()) return false;
    const frmWARDLINE form;
    return true;
}

frmWARDLINE* LoadedErrorDialog() {
    return loadedForm();
}

}  // namespace wardline
