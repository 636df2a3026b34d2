#pragma once
// "Row settings…": the rules of one row beyond its time of day, the days it runs on, the
// longest a run may take and the folder its program starts in. The dialog works on the
// rules it is given and answers with new ones; nothing is saved until "Save Settings".
//
// The days are seven boxes in the week order of the user's locale; all seven checked is
// every day, none checked is refused. A value the settings file held but could not be read
// is shown with its message, and is kept as it was unless the user changes that field. A
// value typed that cannot be read keeps the dialog open and says why.
#include <QDialog>

#include <array>
#include <optional>

#include "timetable/row_rules.h"
#include "widgets/twips.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;

namespace morrowset {

class frmRowSettings : public QDialog {
    Q_OBJECT

public:
    // For row `index` (0 to 5), showing `rules`.
    frmRowSettings(int index, const RowRules& rules, QWidget* parent = nullptr);

    // Shows the dialog modally; the rules as edited after OK, none after Cancel.
    static std::optional<RowRules> edit(int index, const RowRules& rules, QWidget* parent = nullptr);

    // The rules as edited: meaningful once the dialog was accepted.
    const RowRules& rules() const { return result_; }

    // Controls. The day boxes in the locale's week order: dayOf(i) is the weekday
    // (0 Monday) of chkDay[i].
    QLabel* lblDays = nullptr;
    std::array<QCheckBox*, kDaysPerWeek> chkDay{};
    QLabel* lblTimeLimit = nullptr;
    QLineEdit* txtTimeLimit = nullptr;
    QComboBox* cboUnit = nullptr;
    QLabel* lblNoLimit = nullptr;
    QLabel* lblFolder = nullptr;
    QLineEdit* txtFolder = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QLabel* lblProblem = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    static int dayOf(int box);
    // The folder chooser while it is open (Browse), else nullptr.
    QFileDialog* folderChooser() const { return chooser_; }

    // The dialog's twip scale when its text is `font`.
    static wardline::TwipScale layoutScale(const QFont& font);

    void cmdOK_Click();
    void cmdBrowse_Click();

private:
    void createControls();
    void connectEdits();
    void showRules(const RowRules& rules);
    // The rules the controls hold, fields the user did not touch as they came; none, with
    // the reason shown, when a value cannot be read.
    std::optional<RowRules> read();
    void folderChosen(const QString& path);

    const RowRules given_;
    RowRules result_;
    std::array<bool, RowRules::kFields> edited_{};
    wardline::TwipScale scale_;
    QFileDialog* chooser_ = nullptr;
};

}  // namespace morrowset
