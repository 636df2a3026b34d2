// "Row settings…": it shows the rules it is given, answers with the rules as edited, and
// refuses what cannot be read with a message.
#include "app/row_settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <gmock/gmock.h>

#include "support/temp_folder.h"

namespace morrowset {
namespace {

using ::testing::HasSubstr;

constexpr DaySet kWeekdays = 0x1F;
constexpr int kFriday = 4;

// The weeks of the United States begin on Sunday: the boxes follow.
class RowSettings : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(saved); }

    static QCheckBox* boxOf(frmRowSettings& dialog, int weekday) {
        for (int box = 0; box < kDaysPerWeek; ++box)
            if (frmRowSettings::dayOf(box) == weekday) return dialog.chkDay[static_cast<std::size_t>(box)];
        return nullptr;
    }

    QLocale saved;
};

RowRules weekdayReports() {
    RowRules rules;
    rules.days = kWeekdays;
    rules.timeLimitSeconds = 45 * 60;
    rules.folder = "~/reports";
    return rules;
}

TEST_F(RowSettings, ShowsTheRulesAndAnswersWithTheEditedOnes) {
    frmRowSettings dialog(1, weekdayReports());
    EXPECT_EQ(dialog.windowTitle(), "Row 2 settings");
    EXPECT_EQ(dialog.chkDay[0]->text(), "Sun");
    EXPECT_EQ(dialog.chkDay[1]->text(), "Mon");
    std::vector<bool> checked;
    for (QCheckBox* box : dialog.chkDay) checked.push_back(box->isChecked());
    EXPECT_THAT(checked, ::testing::ElementsAre(false, true, true, true, true, true, false));
    EXPECT_EQ(dialog.txtTimeLimit->text(), "45");
    EXPECT_EQ(dialog.cboUnit->currentText(), "minutes");
    EXPECT_EQ(dialog.txtFolder->text(), "~/reports");

    // OK as it came gives the same rules back.
    dialog.cmdOK->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.rules(), weekdayReports());

    frmRowSettings edited(1, weekdayReports());
    boxOf(edited, kFriday)->click();
    QTest::keyClicks(edited.txtTimeLimit, "0");  // 450
    edited.cboUnit->setCurrentIndex(0);
    emit edited.cboUnit->activated(0);  // seconds, as the user picks it
    edited.txtFolder->setText("/srv/reports");
    edited.cmdOK->click();
    ASSERT_EQ(edited.result(), QDialog::Accepted);
    EXPECT_EQ(edited.rules().days, kWeekdays & ~dayBit(kFriday));
    EXPECT_EQ(edited.rules().timeLimitSeconds, 450);
    EXPECT_EQ(edited.rules().folder, "/srv/reports");

    // Every day checked is every day; an emptied time limit and folder are none.
    frmRowSettings cleared(1, weekdayReports());
    for (QCheckBox* box : cleared.chkDay)
        if (!box->isChecked()) box->click();
    cleared.txtTimeLimit->clear();
    emit cleared.txtTimeLimit->textEdited({});
    cleared.txtFolder->clear();
    cleared.cmdOK->click();
    ASSERT_EQ(cleared.result(), QDialog::Accepted);
    EXPECT_TRUE(cleared.rules().empty());
}

TEST_F(RowSettings, RefusesWhatCannotBeReadWithAMessage) {
    struct Case {
        const char* what;
        std::function<void(frmRowSettings&)> edit;
        const char* message;
    };
    const Case cases[] = {
        {"no day", [](frmRowSettings& d) { for (QCheckBox* box : d.chkDay) box->setChecked(false); },
         "Check at least one day."},
        {"no number", [](frmRowSettings& d) { QTest::keyClicks(d.txtTimeLimit, "x"); },
         "Time Limit \"45x minutes\" cannot be read: a time limit is a whole number"},
        {"too long", [](frmRowSettings& d) {
             d.txtTimeLimit->clear();
             QTest::keyClicks(d.txtTimeLimit, "99999999");
         },
         "Time Limit \"99999999 minutes\" cannot be read: the longest time limit is 596523h"},
        {"relative folder", [](frmRowSettings& d) { d.txtFolder->setText("reports"); },
         "Folder \"reports\" cannot be read: a folder is an absolute path"},
    };
    for (const Case& c : cases) {
        frmRowSettings dialog(1, weekdayReports());
        dialog.open();
        c.edit(dialog);
        dialog.cmdOK->click();
        EXPECT_TRUE(dialog.isVisible()) << c.what << ": the dialog stays open";
        EXPECT_THAT(dialog.lblProblem->text().toStdString(), HasSubstr(c.message)) << c.what;
        dialog.cmdCancel->click();
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << c.what;
    }
}

// A value the file held that cannot be read is shown with its message and kept as it was,
// unless that field is edited.
TEST_F(RowSettings, KeepsAnUnreadableValueUntilItsFieldIsEdited) {
    RowRules rules;
    rules.set(RowRules::Days, "Mon-Frx");
    rules.set(RowRules::Folder, "/srv");

    frmRowSettings untouched(2, rules);
    EXPECT_THAT(untouched.lblProblem->text().toStdString(), HasSubstr("Days \"Mon-Frx\" cannot be read"));
    untouched.txtFolder->setText("/srv/other");
    untouched.cmdOK->click();
    ASSERT_EQ(untouched.result(), QDialog::Accepted);
    EXPECT_EQ(untouched.rules().unreadable, rules.unreadable);
    EXPECT_EQ(untouched.rules().folder, "/srv/other");

    frmRowSettings mended(2, rules);
    mended.chkDay[0]->click();  // Sunday off: Monday to Saturday
    mended.cmdOK->click();
    ASSERT_EQ(mended.result(), QDialog::Accepted);
    EXPECT_TRUE(mended.rules().readable());
    EXPECT_EQ(mended.rules().days, kAllDays & ~dayBit(6));
}

// Browse picks a folder; one in the home folder is written from "~/".
TEST_F(RowSettings, BrowseFillsTheFolder) {
    testsupport::TempFolder home;
    std::filesystem::create_directory(home / "reports");
    const testsupport::ScopedEnv homeVariable("HOME", home.path());
    frmRowSettings dialog(0, {});
    dialog.open();
    dialog.cmdBrowse->click();
    QFileDialog* chooser = dialog.folderChooser();
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->directory().absolutePath().toStdString(), home.path());
    emit chooser->fileSelected(QString::fromStdString(home / "reports"));
    chooser->close();
    EXPECT_EQ(dialog.txtFolder->text(), "~/reports");
    dialog.cmdOK->click();
    EXPECT_EQ(dialog.rules().folder, "~/reports");
}

}  // namespace
}  // namespace morrowset
