// Loading the timetable from the settings file and saving it back.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app_fixture.h"

namespace morrowset {
namespace {

using namespace apptest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string rows(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) text += std::string(line) + "\r\n";
    return text;
}

const std::string kEmptyRow = " 0 \r\n\r\n##:##\r\n";

std::string sixEmptyRows() {
    std::string text;
    for (int i = 0; i < 6; ++i) text += kEmptyRow;
    return text;
}

// Rows whose stored state is the one they come up with, so that saving gives the same bytes:
// commas, quotes, blanks at either end, midnight and 24:00.
const std::string kTimetable = rows({
    " 1 ", "cp a,b c", "23:30",
    " 1 ", "\"/opt/my tools/run\" --name=\"x, y\"", "07:05",
    " 2 ", "", "##:##",
    " 1 ", "  blanks around  ", "00:00",
    " 0 ", "", "24:00",
    " 1 ", "sh -c 'sort in | uniq > out'", "##:##",
});

class SettingsFile : public WindowTest {
protected:
    std::vector<std::string> commandLines() const {
        std::vector<std::string> lines;
        for (auto* path : window->txtPath) lines.push_back(path->text().toStdString());
        return lines;
    }
    std::vector<int> states() const {
        std::vector<int> values;
        for (auto* box : window->chkEnabled) values.push_back(box->value());
        return values;
    }
    std::vector<std::string> times() const {
        std::vector<std::string> texts;
        for (auto* box : window->mskTime) texts.push_back(box->timeText());
        return texts;
    }
    void expectEmptyRows() const {
        EXPECT_THAT(states(), ElementsAre(0, 0, 0, 0, 0, 0));
        EXPECT_THAT(commandLines(), ElementsAre("", "", "", "", "", ""));
        EXPECT_THAT(times(), ElementsAre("##:##", "##:##", "##:##", "##:##", "##:##", "##:##"));
        EXPECT_THAT(window->RowSeconds, ElementsAre(0, 0, 0, 0, 0, 0));
    }
    std::vector<std::string> filesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.path())) names.push_back(entry.path().filename());
        return names;
    }
};

TEST_F(SettingsFile, LoadsEveryFieldAndSavesTheSameBytes) {
    writeFile(settingsPath(), kTimetable);
    TrapRecorder errors;
    load();
    EXPECT_THAT(errors.trapped, IsEmpty());
    EXPECT_THAT(commandLines(), ElementsAre("cp a,b c", "\"/opt/my tools/run\" --name=\"x, y\"", "",
                                            "  blanks around  ", "", "sh -c 'sort in | uniq > out'"));
    EXPECT_THAT(states(), ElementsAre(1, 1, 2, 1, 0, 1));
    EXPECT_THAT(times(), ElementsAre("23:30", "07:05", "##:##", "00:00", "24:00", "##:##"));
    EXPECT_THAT(window->RowSeconds, ElementsAre(84600, 25500, 0, 0, 86400, 0));
    EXPECT_EQ(window->statusColor(), frmMain::kGreen);

    fs::remove(settingsPath());
    window->cmdSave->click();
    EXPECT_THAT(errors.trapped, IsEmpty());
    EXPECT_EQ(readFile(settingsPath()), kTimetable);
    EXPECT_EQ(fs::status(settingsPath()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_THAT(filesInFolder(), ElementsAre("Morrowset.ini")) << "no temporary file left behind";
}

// Setting a command line checks its row, whatever state was stored; the stored state
// survives only on rows without a command line.
TEST_F(SettingsFile, StoredStateOfARowWithACommandLineBecomesChecked) {
    writeFile(settingsPath(), rows({" 0 ", "backup", "01:00", " 2 ", "report", "##:##", " 2 ", "", "##:##", " 0 ", "",
                                    "##:##", " 0 ", "", "##:##", " 0 ", "", "##:##"}));
    load();
    EXPECT_THAT(states(), ElementsAre(1, 1, 2, 0, 0, 0));
}

TEST_F(SettingsFile, FirstStartWithoutAFileOpensEmptyAndSaveCreatesTheFile) {
    TrapRecorder errors;
    load();
    EXPECT_THAT(errors.trapped, ElementsAre(Trapped{53, 230, "Sub Form_Load"}));
    expectEmptyRows();
    EXPECT_EQ(window->statusColor(), frmMain::kGreen);
    EXPECT_TRUE(window->txtTime->text().isEmpty()) << "no tick yet";
    EXPECT_TRUE(window->tmrMain->isEnabled());

    window->cmdSave->click();
    EXPECT_EQ(readFile(settingsPath()), sixEmptyRows());
}

struct LoadFault {
    const char* what;
    std::string content;
    Trapped error;
};

// Each fault is reported where it happens; the rows read before it keep what they got.
TEST_F(SettingsFile, EachLoadFaultIsReportedAtItsStatement) {
    const std::string firstRow = rows({" 1 ", "first", "06:30"});
    const LoadFault faults[] = {
        {"too few lines", firstRow + rows({" 1 ", "second"}), {62, 290, "Sub Form_Load"}},
        {"empty file", "", {62, 250, "Sub Form_Load"}},
        {"state not a number", firstRow + rows({"one", "second", "07:00"}), {13, 260, "Sub Form_Load"}},
        {"state out of range", firstRow + rows({" 3 ", "second", "07:00"}), {380, 260, "Sub Form_Load"}},
        {"time not fitting the mask", firstRow + rows({" 1 ", "second", "7:00"}), {380, 300, "Sub Form_Load"}},
        {"hour not a number", firstRow + rows({" 1 ", "second", "0#:00"}), {13, 320, "Sub Form_Load"}},
        {"minute not a number", firstRow + rows({" 1 ", "second", "07:#0"}), {13, 330, "Sub Form_Load"}},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.what);
        writeFile(settingsPath(), fault.content);
        TrapRecorder errors;
        load();
        EXPECT_THAT(errors.trapped, ElementsAre(fault.error));
        if (!fault.content.empty()) {
            EXPECT_EQ(window->txtPath[0]->text(), "first");
            EXPECT_EQ(window->RowSeconds[0], 6 * 3600 + 30 * 60);
        }
        EXPECT_EQ(window->statusColor(), frmMain::kGreen) << "set before the file is opened";
    }
}

// A file that names programs to run must be the user's own and writable by nobody else.
TEST_F(SettingsFile, RefusesAFileOthersMayChange) {
    writeFile(settingsPath(), kTimetable);
    fs::permissions(settingsPath(), fs::perms::group_write, fs::perm_options::add);
    {
        TrapRecorder errors;
        load();
        EXPECT_THAT(errors.trapped, ElementsAre(Trapped{70, 230, "Sub Form_Load"}));
        expectEmptyRows();
    }
    fs::permissions(settingsPath(), fs::perms::owner_read | fs::perms::owner_write);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(settingsPath().c_str(), 65534, 65534), 0);
        TrapRecorder errors;
        load();
        EXPECT_THAT(errors.trapped, ElementsAre(Trapped{70, 230, "Sub Form_Load"})) << "owned by another user";
        expectEmptyRows();
    }
}

TEST_F(SettingsFile, AFolderInThePlaceOfTheFileIsAFileAccessError) {
    fs::create_directory(settingsPath());
    TrapRecorder errors;
    load();
    EXPECT_THAT(errors.trapped, ElementsAre(Trapped{75, 230, "Sub Form_Load"}));
}

// When the handler answers "continue" after the failed open, every read fails in turn.
TEST_F(SettingsFile, ContinuingAfterAFailedOpenFailsEachRead) {
    TrapRecorder errors(2);
    load();
    ASSERT_GE(errors.trapped.size(), 2u);
    EXPECT_EQ(errors.trapped[0], (Trapped{53, 230, "Sub Form_Load"}));
    EXPECT_EQ(errors.trapped[1], (Trapped{52, 250, "Sub Form_Load"}));
    for (const auto& error : errors.trapped) {
        if (error.number == 52) {
            EXPECT_THAT(error.line, ::testing::AnyOf(250, 270, 290));
        }
    }
    expectEmptyRows();
}

// Saving writes a new file and swaps it in only when complete: a save that fails half-way
// leaves the old file as it was and nothing open, so the next save works.
TEST_F(SettingsFile, AFailedSaveLeavesTheOldFileIntact) {
    writeFile(settingsPath(), kTimetable);
    load();
    window->txtPath[1]->setText(QString(200, QChar('x')));

    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64;  // past the first row, short of the second's long command line
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::vector<Trapped> trapped;
    {
        TrapRecorder errors;
        window->cmdSave->click();
        trapped = errors.trapped;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);

    EXPECT_THAT(trapped, ElementsAre(Trapped{61, 170, "Sub cmdSave_Click"}));
    EXPECT_EQ(readFile(settingsPath()), kTimetable);
    EXPECT_THAT(filesInFolder(), ElementsAre("Morrowset.ini"));

    TrapRecorder errors;
    window->cmdSave->click();
    EXPECT_THAT(errors.trapped, IsEmpty());
    EXPECT_THAT(readFile(settingsPath()), ::testing::HasSubstr(std::string(200, 'x')));
}

TEST_F(SettingsFile, AnUnwritableFolderFailsTheSaveAtItsFirstStatement) {
    load();
    struct Case {
        std::string folder;
        int32_t number;
    };
    std::vector<Case> cases = {{folder.file("missing"), 53}};
    writeFile(folder.file("plain-file"), "");
    cases.push_back({folder.file("plain-file"), 76});
    if (::geteuid() != 0) {  // the superuser writes anywhere
        fs::create_directory(folder.file("read-only"));
        fs::permissions(folder.file("read-only"), fs::perms::owner_read | fs::perms::owner_exec);
        cases.push_back({folder.file("read-only"), 70});
    }
    for (const auto& [path, number] : cases) {
        platform::app().overridePath(path);
        TrapRecorder errors;
        window->cmdSave->click();
        EXPECT_THAT(errors.trapped, ElementsAre(Trapped{number, 140, "Sub cmdSave_Click"})) << path;
    }
}

}  // namespace
}  // namespace morrowset
