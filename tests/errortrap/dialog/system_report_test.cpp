#include "errortrap/dialog/system_report.h"

#include <QPlainTextEdit>

#include <gmock/gmock.h>

#include <algorithm>
#include <regex>

#include "errortrap/core/runtime.h"
#include "platform/app_object.h"
#include "support/scoped_runtime.h"

namespace {

using ::testing::ElementsAreArray;
using wardline::PadLabel;

const std::string kFixture = std::string(MORROWSET_TEST_DATA_DIR) + "/system_report";

TEST(PadLabel, TwentyFiveColumnsOfBlanksLabelAndDots) {
    const struct {
        const char* label;
        const char* padded;
    } cases[] = {
        {"Title", "   Title................."},
        {"   Free Space", "      Free Space........."},
        {"Debug KERNEL.EXE", "   Debug KERNEL.EXE......"},
        {"Exactly twenty-two chr", "   Exactly twenty-two chr"},
        {"Twenty-three characters", "   Twenty-three character"},
        {"A label far longer than the column allows", "   A label far longer tha"},
        {"", "   ......................"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PadLabel(c.label), c.padded) << "label \"" << c.label << "\"";
        EXPECT_EQ(PadLabel(c.label).size(), 25u);
    }
}

// Report runs against the fixture machine, outside the development environment unless a
// test says otherwise.
class SystemReport : public ::testing::Test {
protected:
    void SetUp() override {
        sources.program.inDevEnvironment = true;
        sources.procRoot = kFixture + "/proc";
        sources.sysRoot = kFixture + "/sys";
        sources.mountTable = kFixture + "/mounts-mixed";
        sources.asoundRoot = kFixture + "/asound";
        sources.windowsDirectory = kFixture + "/windows";
        sources.currentPath = "/home/user/work";
        sources.screen = {1024, 768, -1, 0, true};
    }
    testsupport::ScopedRuntime testRuntime;

    std::vector<std::string> lines() const { return wardline::systemReportLines(sources); }

    // The lines from section `title` up to the next header (or the end), free-space
    // figures replaced by "N" since the disks change under the test.
    std::vector<std::string> section(const std::string& title) const {
        const std::vector<std::string> all = lines();
        auto start = std::find(all.begin(), all.end(), title);
        EXPECT_NE(start, all.end()) << "no section " << title;
        std::vector<std::string> result;
        if (start == all.end()) return result;
        result.push_back(*start);
        for (auto line = start + 1; line != all.end() && line->starts_with(" "); ++line)
            result.push_back(std::regex_replace(*line, std::regex("Free Space\\.+\\d+ bytes"), "Free Space.........N bytes"));
        return result;
    }

    static std::string item(const std::string& label, const std::string& value) { return PadLabel(label) + value; }

    wardline::SystemSources sources;
};

TEST_F(SystemReport, ProfileValuesAsReadOrUpperCasedAndMissingKeysUnknown) {
    EXPECT_THAT(section("Operating System"),
                ElementsAreArray({std::string("Operating System"), item("Windows version", "Linux 6.1"),
                                  item("Debug KERNEL.EXE", "NO"), item("Language", "ENGLISH (AMERICAN)"),
                                  item("Windows directory", kFixture + "/windows"),
                                  item("Current path", "/home/user/work")}));
    EXPECT_THAT(section("Fonts"), ElementsAreArray({std::string("Fonts"), item("TrueType enabled", "YES"),
                                                    item("TrueType only", "NO"), item("Default", "ARIAL")}));
    EXPECT_THAT(section("Printer"),
                ElementsAreArray({std::string("Printer"), item("Description", "HP LASERJET 4L,HPPCL5E,LPT1:")}));
    EXPECT_THAT(section("Ports"),
                ElementsAreArray({std::string("Ports"), item("Serial driver", "COMM.DRV"), item("Driver version", ""),
                                  item("COM1 configuration", "9600,N,8,1,X"), item("COM2 configuration", "9600,N,8,1,X"),
                                  item("COM3 configuration", "<UNKNOWN>"), item("COM4 configuration", "<UNKNOWN>")}));
    EXPECT_THAT(section("Network"),
                ElementsAreArray({std::string("Network"), item("Driver", "NETWARE.DRV"), item("Version", ""),
                                  item("Description", "Novell NetWare")}));
    EXPECT_THAT(section("Keyboard"),
                ElementsAreArray({std::string("Keyboard"), item("Driver version", "<UNKNOWN>"), item("Version", ""),
                                  item("Description", "Enhanced 101 or 102 key US and Non US keyboards")}));
}

TEST_F(SystemReport, ScreenMouseMemoryAndProcessorFigures) {
    EXPECT_THAT(section("Video"),
                ElementsAreArray({std::string("Video"), item("Driver version", "VGA.DRV"), item("Version", ""),
                                  item("Description", "Standard VGA"), item("Mfrs. version #", "0"),
                                  item("Colors", "-1"), item("Screen size", "1024 X 768")}));
    EXPECT_THAT(section("Mouse"),
                ElementsAreArray({std::string("Mouse"), item("Mouse present", "YES"), item("Driver version", "MOUSE.DRV"),
                                  item("Version", ""), item("Description", "<unknown>")}));
    // 8000000 kB in all, 2000000 kB available: 75% in use.
    EXPECT_THAT(section("Memory"),
                ElementsAreArray({std::string("Memory"), item("Total Memory", "8192000000 bytes"),
                                  item("Total Memory Free", "2048000000 bytes"), item("Pct. Memory Free", "25%")}));
    EXPECT_THAT(section("Processor"), ElementsAreArray({std::string("Processor"), item("CPU", "Pentium"),
                                                        item("No. Processors", "5")}));
}

TEST_F(SystemReport, WithoutProfileFilesEveryValueIsUnknown) {
    sources.windowsDirectory = kFixture + "/no-such-folder";
    EXPECT_THAT(section("Fonts"), ElementsAreArray({std::string("Fonts"), item("TrueType enabled", "NO"),
                                                    item("TrueType only", "NO"), item("Default", "<UNKNOWN>")}));
    EXPECT_THAT(section("Network"),
                ElementsAreArray({std::string("Network"), item("Driver", "<UNKNOWN>"), item("Version", ""),
                                  item("Description", "<unknown>")}));
}

TEST_F(SystemReport, DrivesWithFloppyFollowTheLetterRule) {
    sources.mountTable = kFixture + "/mounts-floppy";
    EXPECT_THAT(section("Drives"),
                ElementsAreArray({std::string("Drives"), item("Floppies", "1"), item("Disks", "2"),
                                  std::string("   Drive A: is removable ()"), std::string("   Drive C: is fixed (local)"),
                                  item("   Free Space", "N bytes"), std::string("   Drive D: is fixed (local)"),
                                  item("   Free Space", "N bytes")}));
}

// The last drive is listed too, although its letter lies past A + the drive count; a
// network drive whose file system cannot be asked keeps its line with no figure.
TEST_F(SystemReport, DrivesOfEveryKindAndAFailedFreeSpaceQuery) {
    EXPECT_THAT(section("Drives"),
                ElementsAreArray({std::string("Drives"), item("Floppies", "0"), item("Disks", "5"),
                                  std::string("   Drive C: is fixed (local)"), item("   Free Space", "N bytes"),
                                  std::string("   Drive D: is fixed (local)"), item("   Free Space", "N bytes"),
                                  std::string("   Drive E: is remote (read-only network or CD)"),
                                  std::string("   Drive F: is remote (network)"), item("   Free Space", ""),
                                  std::string("   Drive G: is removable ()")}));
}

TEST_F(SystemReport, MultimediaWithAndWithoutDeviceCapabilities) {
    const std::vector<std::string> head = {"Multimedia", item("WAV Devices", "2"), item("WAV Driver", "WAVEMAP.DRV"),
                                           item("   Version", "")};
    const std::vector<std::string> tail = {item("CD Audio", "MCICDA.DRV"),    item("   Version", ""),
                                           item("Sequencer", "<UNKNOWN>"),     item("   Version", ""),
                                           item("Wave Audio", "MCIWAVE.DRV"),  item("   Version", ""),
                                           item("AVI Video", "<UNKNOWN>"),     item("   Version", "")};
    std::vector<std::string> withCaps = head;
    withCaps.push_back(item("WAV version", "6.1"));
    withCaps.push_back(item("WAV Description", "ALC892 Analog"));
    withCaps.insert(withCaps.end(), tail.begin(), tail.end());
    EXPECT_THAT(section("Multimedia"), ElementsAreArray(withCaps));
    EXPECT_EQ(lines().back(), tail.back()) << "the report ends with the last version line";

    sources.asoundRoot = kFixture + "/asound-noversion";  // the capability query fails
    std::vector<std::string> withoutCaps = head;
    withoutCaps.insert(withoutCaps.end(), tail.begin(), tail.end());
    EXPECT_THAT(section("Multimedia"), ElementsAreArray(withoutCaps));

    sources.asoundRoot = kFixture + "/no-sound";
    withoutCaps[1] = item("WAV Devices", "0");
    EXPECT_THAT(section("Multimedia"), ElementsAreArray(withoutCaps));
}

TEST_F(SystemReport, LanguageRuntimeIsNeverLoaded) {
    EXPECT_THAT(section("Visual Basic"),
                ElementsAreArray({std::string("Visual Basic"), item("DLL Name", "DLL NOT LOADED"),
                                  item("DLL Version", "DLL NOT LOADED"), item("EXE name", "VB32.EXE"),
                                  item("EXE version", "")}));
}

TEST_F(SystemReport, ExecutableLinesOnlyOutsideTheDevelopmentEnvironment) {
    platform::AppObject& app = testRuntime->platform().app;
    // Installed: the files the program writes are in the user's folder, the executable is not.
    app = platform::AppObject(kFixture + "/program", "Morrowset", "/home/ann/.config/Morrowset");
    const auto application = [&] { return section("Application"); };

    EXPECT_EQ(application().size(), 7u) << "inside the development environment";
    EXPECT_THAT(application()[2], item("Path", "/home/ann/.config/Morrowset"));
    EXPECT_THAT(application()[3], item("Project version", "1.0.0"));
    EXPECT_THAT(application()[4], item("OLE Server", "NO"));

    sources.program.inDevEnvironment = false;
    const std::vector<std::string> outside = application();
    ASSERT_EQ(outside.size(), 11u);
    EXPECT_EQ(outside[7], item("EXE name", kFixture + "/program/Morrowset"));
    EXPECT_THAT(outside[8], ::testing::MatchesRegex(".*time stamp\\.+.*[0-9].*"));
    EXPECT_EQ(outside[9], item("EXE size", "29 bytes"));
    EXPECT_EQ(outside[10], item("EXE version", ""));

    app = platform::AppObject(kFixture + "/program", "no-such-executable");
    const std::vector<std::string> missing = application();
    ASSERT_EQ(missing.size(), 11u);
    EXPECT_EQ(missing[8], item("EXE time stamp", ""));
    EXPECT_EQ(missing[9], item("EXE size", ""));
}

const char* const kSectionHeaders[] = {"Application", "Visual Basic", "Operating System", "Fonts",
                                       "Memory",      "Processor",    "Printer",          "Ports",
                                       "Network",     "Video",        "Mouse",            "Keyboard",
                                       "Drives",      "Multimedia"};

// Recording pointer: the report shows the hourglass while it works and restores the pointer.
class PointerLog : public wardline::SilentUi {
public:
    void setMousePointer(int pointer) override {
        pointers.push_back(pointer);
        SilentUi::setMousePointer(pointer);
    }
    std::vector<int> pointers;
};

TEST(SystemReportOnThisMachine, EverySectionInOrderWithoutBlankLines) {
    testsupport::ScopedRuntime testRuntime;
    PointerLog ui;
    QPlainTextEdit box;
    box.setPlainText("an older report");
    bool reportBuilt = false;
    wardline::BuildSystemReport(&box, reportBuilt, {false, "morrowset.hlp"}, &ui);

    EXPECT_TRUE(reportBuilt);
    EXPECT_EQ(ui.pointers, (std::vector<int>{wardline::kPointerHourglass, wardline::kPointerDefault}));
    EXPECT_EQ(box.textCursor().position(), 0);
    const QStringList lines = box.toPlainText().split('\n');
    ASSERT_GT(lines.size(), 1);
    EXPECT_TRUE(lines.back().isEmpty()) << "every line ends with a line end";
    std::vector<std::string> headers;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_FALSE(lines[i].isEmpty()) << "blank line " << i;
        if (!lines[i].startsWith(' ')) headers.push_back(lines[i].toStdString());
    }
    EXPECT_THAT(headers, ElementsAreArray(kSectionHeaders));
    EXPECT_FALSE(box.toPlainText().contains("an older report"));
    EXPECT_TRUE(box.toPlainText().contains(QString::fromStdString(PadLabel("Help file") + "morrowset.hlp")));
    EXPECT_TRUE(box.toPlainText().contains(QString::fromStdString(PadLabel("   Free Space"))))
        << "the root file system is drive C: with its free space";
}

}  // namespace
