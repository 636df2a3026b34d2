#include "errortrap/dialog/error_dialog.h"

#include <QApplication>
#include <algorithm>
#include <string>
#include <vector>

#include "errortrap/core/error_record.h"
#include "errortrap/dialog/frm_wardline.h"
#include "errortrap/report/call_tree.h"
#include "platform/text.h"

namespace wardline {
namespace {

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
    explicit LoadedForm(const DialogInput& input) : previous_(loadedForm()), form_(new frmWARDLINE(input)) {
        loadedForm() = form_;
    }
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

// Remote levels the record can hold: a forwarded chain may announce more than it keeps.
int recordedLevels(const ErrorRecord& record) {
    return std::clamp<int>(record.levelCount, 0, kMaxErrorLevel);
}

void adaptToEnvironment(frmWARDLINE& form, const DialogInput& input) {
    if (input.inDevEnvironment) {
        form.showView(1);
        form.centreOnScreen();
        form.offerDevelopmentTools();
        return;
    }
    form.offerOnlyContinue(input.forceSystemInfo);
    form.showView(0);
    form.centreOnScreen();
}

std::string headline(const ErrorRecord& record, const std::string& exeName) {
    const int levels = recordedLevels(record);
    if (levels < 2)
        return "An unexpected '" + platform::lowerAscii(record.levels[0].description) +
               "' error occured in " + exeName + ".";
    return "An unexpected '" +
           platform::lowerAscii(record.levels[static_cast<std::size_t>(levels)].description) +
           "' error occured in a component used by " + exeName + ".";
}

// One entry per level, numbered from the top: level 0 carries the highest number.
std::vector<std::string> levelEntries(const ErrorRecord& record) {
    const int levels = recordedLevels(record);
    std::vector<std::string> entries;
    for (int l = 0; l <= levels; ++l)
        entries.push_back("Error " + std::to_string(levels - l + 1) + " - " +
                          record.levels[static_cast<std::size_t>(l)].description);
    return entries;
}

}  // namespace

DialogResult ShowErrorDialog(const DialogInput& input) {
    if (!widgetsAvailable() || !input.record) return {};
    const ErrorRecord& record = *input.record;
    const LoadedForm loaded(input);
    frmWARDLINE& form = *loaded;
    adaptToEnvironment(form, input);
    form.setComment("Type in what you where doing here.");
    form.showLevelDetails(record.levels[0], record.codePointer);
    form.listLevels(levelEntries(record));
    form.showHeadline(headline(record, input.exeName) + "\n" + std::to_string(form.levelCount()) +
                      " error(s) are logged.");
    form.showCallTree(callTreeLines(record, CallTreeLayout::Dialog));
    form.selectLevel(form.levelCount() - 1);

    form.inModalShow = true;
    form.exec();
    form.inModalShow = false;
    return form.answer();
}

void UnloadErrorDialog() {
    frmWARDLINE* form = loadedForm();
    if (form && !form->inModalShow) delete form;
}

// The form loads wherever the toolkit's widgets run. Building it only to drop it again
// would cost start-up several milliseconds, and its load procedure leaves nothing behind.
bool ProbeErrorDialog() { return widgetsAvailable(); }

}  // namespace wardline
