#include "app/frm_about.h"

#include <sys/stat.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "errortrap/core/runtime.h"
#include "errortrap/core/trace_stack.h"
#include "errortrap/trace/procedure.h"
#include "platform/error_texts.h"
#include "platform/registry.h"
#include "platform/runtime_error.h"
#include "support/recording_ui.h"
#include "support/scoped_runtime.h"
#include "support/temp_folder.h"

namespace morrowset {
namespace {

namespace fs = std::filesystem;
using namespace platform;

struct TrappedError {
    std::string module;
    std::string procedure;
    int32_t number;
    int32_t line;
};

// Every test starts with an empty registry, a fresh runtime and a scratch folder, and
// records the message boxes and the errors handed to the error handler.
class AboutBox : public ::testing::Test {
protected:
    void SetUp() override {
        registry().clear();
        testRuntime->setUi(&ui);
    }
    void TearDown() override {
        if (frmAbout* box = frmAbout::current()) box->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(wardline::traceStack().traceDepth, 0) << "every enter has its leave";
    }

    // A shell script at `path` that writes "started" and its arguments to `marker`.
    void writeViewer(const fs::path& path, const fs::path& marker) {
        std::ofstream(path) << "#!/bin/sh\necho started \"$@\" > '" << marker.string() << ".part'\n"
                            << "mv '" << marker.string() << ".part' '" << marker.string() << "'\n";
        ::chmod(path.c_str(), 0755);
    }

    // Waits for a started viewer to leave its mark; the content, or "" when it never runs.
    static std::string awaitMarker(const fs::path& marker) {
        for (int i = 0; i < 200 && !fs::exists(marker); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(marker);
        std::string content;
        std::getline(in, content);
        return content;
    }

    void setString(const char* key, const char* name, const std::string& text) {
        registry().setValue(kHKeyLocalMachine, key, name, kRegString, text + '\0');
    }

    static void clickSystemInfo() {
        showAboutDialog();
        frmAbout::current()->cmdSysInfo->click();
    }

    RegistryStore& registry() { return testRuntime->platform().registry; }

    testsupport::ScopedRuntime testRuntime;  // before the trap handler, which it holds
    testsupport::RecordingUi ui;
    testsupport::TempFolder scratch;
    std::vector<TrappedError> trapped;
    testsupport::ScopedTrapHandler recordTraps{[this](const std::string& module,
                                                      const std::string& procedure) {
        trapped.push_back({module, procedure, currentError().number, currentError().line});
        return int16_t{0};
    }};
};

// The separator is etched: a gray line with a white line just below it.
TEST_F(AboutBox, TheSeparatorIsEtched) {
    showAboutDialog();
    frmAbout* box = frmAbout::current();
    const QImage image = box->grab().toImage();
    const int top = frmAbout::layoutScale(box->font()).y(2445);
    const int middle = image.width() / 2;
    EXPECT_EQ(image.pixelColor(middle, top), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(image.pixelColor(middle, top + 1), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(middle, top + 2), QColor(Qt::white));
    EXPECT_NE(image.pixelColor(middle, top + 3), QColor(Qt::white));
}

// Enter on the focused System Info button runs it, not OK.
TEST_F(AboutBox, EnterClicksTheFocusedButton) {
    showAboutDialog();
    frmAbout* box = frmAbout::current();
    box->cmdSysInfo->setFocus();
    QTest::keyClick(box->cmdSysInfo, Qt::Key_Return);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "System Information Is Unavailable At This Time");
    EXPECT_EQ(frmAbout::current(), box) << "the box stays open";
    box->cmdOK->setFocus();
    QTest::keyClick(box->cmdOK, Qt::Key_Enter);
    EXPECT_EQ(frmAbout::current(), nullptr);
}

TEST_F(AboutBox, CaptionVersionAndTitleEveryTimeItIsLoaded) {
    for (int opening = 1; opening <= 2; ++opening) {
        showAboutDialog();
        QPointer<frmAbout> box = frmAbout::current();
        ASSERT_TRUE(box) << "opening " << opening;
        EXPECT_EQ(box->windowTitle(), "About System Morrowset");
        EXPECT_EQ(box->lblVersion->text(), "Version 1.0.0");
        EXPECT_EQ(box->lblTitle->text(), "System Morrowset");
        EXPECT_TRUE(box->isVisible());
        EXPECT_FALSE(box->isModal());
        box->cmdOK->click();
        EXPECT_EQ(frmAbout::current(), nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(box.isNull()) << "OK unloads the box";
    }
    EXPECT_TRUE(trapped.empty());
}

TEST_F(AboutBox, AboutWhileOpenShowsTheSameBox) {
    showAboutDialog();
    frmAbout* first = frmAbout::current();
    showAboutDialog();
    EXPECT_EQ(frmAbout::current(), first);
    int boxes = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) boxes += qobject_cast<frmAbout*>(window) != nullptr;
    EXPECT_EQ(boxes, 1);
}

TEST_F(AboutBox, EnterAndEscapeActAsOk) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        showAboutDialog();
        QTest::keyClick(frmAbout::current(), key);
        EXPECT_EQ(frmAbout::current(), nullptr) << "key " << key;
    }
}

TEST_F(AboutBox, TheFirstValueIsStartedAsItStands) {
    const fs::path viewer = scratch / "viewer.sh";
    const fs::path marker = scratch / "ran";
    writeViewer(viewer, marker);
    // A text with an argument is no file name: only an unchecked start runs it.
    setString(kSystemInfoKey, kSystemInfoValue, viewer.string() + " --about");
    clickSystemInfo();
    EXPECT_EQ(awaitMarker(marker), "started --about");
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_NE(frmAbout::current(), nullptr) << "the box stays open";
}

TEST_F(AboutBox, TheFolderOfTheSecondValueHoldsTheViewer) {
    const fs::path marker = scratch / "ran";
    writeViewer(scratch / "MSINFO32.EXE", marker);
    setString(kSystemInfoLocationKey, kSystemInfoLocationValue, scratch.path());
    clickSystemInfo();
    EXPECT_EQ(awaitMarker(marker), "started");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AboutBox, TheViewerStartsThroughTheRuntimesProcessStarter) {
    std::vector<std::string> started;
    bool refuse = false;
    testRuntime->platform().processStarter = [&](std::string_view commandLine) {
        if (refuse) platform::raiseError(platform::kPermissionDenied);
        started.emplace_back(commandLine);
        return 1;
    };
    setString(kSystemInfoKey, kSystemInfoValue, "viewer --about");
    clickSystemInfo();
    EXPECT_EQ(started, std::vector<std::string>{"viewer --about"});
    EXPECT_TRUE(ui.boxes.empty());

    refuse = true;
    clickSystemInfo();
    ASSERT_EQ(ui.boxes.size(), 1u) << "a refused start";
    EXPECT_EQ(ui.boxes[0].text, "System Information Is Unavailable At This Time");
    EXPECT_TRUE(trapped.empty());
}

TEST_F(AboutBox, UnavailableWhenNothingCanBeStarted) {
    const auto expectUnavailable = [&](const char* why) {
        ui.boxes.clear();
        clickSystemInfo();
        ASSERT_EQ(ui.boxes.size(), 1u) << why;
        EXPECT_EQ(ui.boxes[0].text, "System Information Is Unavailable At This Time");
        EXPECT_EQ(ui.boxes[0].style, wardline::kOkOnly);
        EXPECT_EQ(ui.boxes[0].title, "System Morrowset");
        EXPECT_NE(frmAbout::current(), nullptr) << why << ": the box stays open";
    };
    expectUnavailable("nothing registered");
    setString(kSystemInfoLocationKey, kSystemInfoLocationValue, scratch.path());
    expectUnavailable("the second value's folder has no viewer");
    setString(kSystemInfoKey, kSystemInfoValue, scratch / "no-such-viewer");
    expectUnavailable("the first value names no program");
    EXPECT_TRUE(trapped.empty()) << "the starter traps its own errors";
}

struct KeyCase {
    const char* what;
    int32_t type;
    std::string data;
    bool result;
    const char* keyVal;
};

TEST_F(AboutBox, GetKeyValueByTypeAndSize) {
    const KeyCase cases[] = {
        {"string with its NUL", kRegString, std::string("/usr/bin/viewer\0", 16), true, "/usr/bin/viewer"},
        {"string without NUL", kRegString, "/usr/bin/viewer", true, "/usr/bin/viewer"},
        {"number 256", kRegNumber, std::string("\0\x01\0\0", 4), true, "256"},
        {"number 0x12345678", kRegNumber, "\x78\x56\x34\x12", true, "305419896"},
        {"number with every bit", kRegNumber, "\xFF\xFF\xFF\xFF", true, "-1"},
        {"binary value", kRegBinary, "\x01\x02", true, "as it was"},
        {"more than the buffer holds", kRegString, std::string(1025, 'x'), false, ""},
    };
    for (const KeyCase& c : cases) {
        registry().setValue(kHKeyLocalMachine, "Software\\Test", "Value", c.type, c.data);
        std::string keyVal = "as it was";
        EXPECT_EQ(GetKeyValue(kHKeyLocalMachine, "Software\\Test", "Value", keyVal), c.result) << c.what;
        EXPECT_EQ(keyVal, c.keyVal) << c.what;
        EXPECT_EQ(registry().openKeyCount(), 0) << c.what;
    }
    EXPECT_TRUE(trapped.empty());
}

TEST_F(AboutBox, GetKeyValueOfAMissingKeyOrValueIsEmptyAndFalse) {
    registry().setValue(kHKeyLocalMachine, "Software\\Test", "Other", kRegString, "x");
    for (const char* key : {"Software\\Absent", "Software\\Test"}) {
        std::string keyVal = "stale";
        EXPECT_FALSE(GetKeyValue(kHKeyLocalMachine, key, "Value", keyVal)) << key;
        EXPECT_EQ(keyVal, "") << key;
    }
}

TEST_F(AboutBox, GetKeyValueOfAValueWithoutDataGoesToTheErrorHandler) {
    registry().setValue(kHKeyLocalMachine, "Software\\Test", "Empty", kRegString, "");
    std::string keyVal = "unchanged";
    EXPECT_FALSE(GetKeyValue(kHKeyLocalMachine, "Software\\Test", "Empty", keyVal));
    ASSERT_EQ(trapped.size(), 1u);
    EXPECT_EQ(trapped[0].module, "frmAbout.frm");
    EXPECT_EQ(trapped[0].procedure, "Function GetKeyValue");
    EXPECT_EQ(trapped[0].number, 5);
    EXPECT_EQ(trapped[0].line, 190);
    EXPECT_EQ(registry().openKeyCount(), 0) << "the key is closed although the procedure left early";
}

}  // namespace
}  // namespace morrowset
