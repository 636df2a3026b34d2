// The output viewer: the tail of a large output and what it leaves out, search, a file
// that is gone (or no file of the user's), and the desktop asked to open or show the file,
// saying so when it cannot.
#include "app/output_viewer.h"

#include <sys/stat.h>

#include <QApplication>
#include <QDBusConnection>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>

#include <gmock/gmock.h>

#include <filesystem>
#include <optional>

#include "platform/file_io.h"
#include "support/event_loop.h"
#include "support/private_bus.h"
#include "support/temp_folder.h"

namespace morrowset {
namespace {

namespace fs = std::filesystem;
using testsupport::writeFile;

constexpr int kLineBytes = 40;

// Lines of kLineBytes: "line 0000001" and dots.
std::string numberedLines(int count) {
    std::string text;
    char line[kLineBytes + 1];
    for (int i = 1; i <= count; ++i) {
        std::snprintf(line, sizeof line, "line %07d %s\n", i, std::string(kLineBytes - 14, '.').c_str());
        text += line;
    }
    return text;
}

QString noteOf(const OutputViewer& viewer) {
    return viewer.lblNote->isVisibleTo(&viewer) ? viewer.lblNote->text() : QString();
}

TEST(OutputViewer, ShowsTheLastPartOfALargeOutputFromALineStartAndSaysWhatIsLeftOut) {
    testsupport::TempFolder folder;
    const std::string output = numberedLines(80'000);  // 3.2 MB
    writeFile(folder / "big.log", output);
    OutputViewer viewer;
    viewer.showFile(QString::fromStdString(folder / "big.log"), "Row 1");

    const QString text = viewer.txtOutput->toPlainText();
    const auto shownLines = static_cast<int64_t>(text.count(QLatin1Char('\n')));
    EXPECT_LE(shownLines * kLineBytes, OutputViewer::kShownBytes);
    EXPECT_GT(shownLines * kLineBytes, OutputViewer::kShownBytes - kLineBytes);
    EXPECT_TRUE(text.startsWith(QStringLiteral("line %1 ").arg(80'000 - shownLines + 1, 7, 10, QLatin1Char('0'))));
    EXPECT_TRUE(text.endsWith("line 0080000 " + QString(kLineBytes - 14, '.') + "\n"));
    const int64_t leftOut = static_cast<int64_t>(output.size()) - shownLines * kLineBytes;
    EXPECT_EQ(noteOf(viewer), QStringLiteral("The first %1 bytes of this output are left out; the last %2 follow. "
                                             "\"Open With…\" shows all of it.")
                                  .arg(leftOut)
                                  .arg(shownLines * kLineBytes));
}

TEST(OutputViewer, ShowsAnOutputCutAtItsRunsEndWhole) {
    testsupport::TempFolder app;
    runs::OutputFile file = runs::OutputFile::create(app.path(), "row1-x.log");
    ASSERT_TRUE(platform::writeAll(file.programEnd(), numberedLines(60'000)));  // 2.4 MB
    ASSERT_GT(file.cut(), 0);
    OutputViewer viewer;
    viewer.showFile(QString::fromStdString(app / "runs/row1-x.log"), "Row 1");
    EXPECT_TRUE(viewer.txtOutput->toPlainText().startsWith("[Morrowset cut the first "));
    EXPECT_EQ(noteOf(viewer), "");
}

TEST(OutputViewer, FindsForwardAndBackRoundTheEnds) {
    testsupport::TempFolder folder;
    writeFile(folder / "out.log", "alpha\nneedle one\nbeta\nneedle two\ngamma\n");
    OutputViewer viewer;
    viewer.showFile(QString::fromStdString(folder / "out.log"), "Row 1");
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&viewer));
    QTest::keyClick(&viewer, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), viewer.txtFind) << "Ctrl+F goes to the find box";
    QTest::keyClicks(viewer.txtFind, "needle");

    const auto foundOnLine = [&] { return viewer.txtOutput->textCursor().block().blockNumber() + 1; };
    struct Step {
        bool backwards;
        int line;
        const char* found;
    };
    // The viewer opens at the output's end, so the first search goes round to the top.
    const Step steps[] = {{false, 2, "from the top"}, {false, 4, ""}, {false, 2, "from the top"},
                          {true, 4, "from the end"},  {true, 2, ""}};
    for (const Step& step : steps) {
        EXPECT_TRUE(step.backwards ? viewer.findPrevious() : viewer.findNext());
        EXPECT_EQ(foundOnLine(), step.line);
        EXPECT_EQ(viewer.txtOutput->textCursor().selectedText(), "needle");
        EXPECT_EQ(viewer.lblFound->text(), step.found);
    }
    QTest::keyClick(viewer.txtFind, Qt::Key_Return);  // Enter in the find box finds the next one
    EXPECT_EQ(foundOnLine(), 4);

    viewer.txtFind->setText("absent");
    EXPECT_FALSE(viewer.findNext());
    EXPECT_EQ(viewer.lblFound->text(), "not found");
    EXPECT_EQ(foundOnLine(), 4) << "the place found last stays";

    QTest::keyClick(viewer.txtFind, Qt::Key_Escape);
    EXPECT_FALSE(viewer.isVisible()) << "Escape closes the viewer";
}

TEST(OutputViewer, SaysWhenTheFileIsGoneOrIsNoPlainFileOfTheUsers) {
    testsupport::TempFolder folder;
    writeFile(folder / "real.log", "secret\n");
    fs::create_symlink(folder / "real.log", folder / "link.log");
    ::mkfifo((folder / "fifo.log").c_str(), 0600);
    struct Case {
        const char* name;
        const char* note;
    };
    const Case cases[] = {
        {"gone.log", "The output file is gone: "},
        {"link.log", "The output file is not shown: it is not a plain file of yours ("},
        {"fifo.log", "The output file is not shown: it is not a plain file of yours ("},
    };
    for (const Case& c : cases) {
        OutputViewer viewer;
        viewer.showFile(QString::fromStdString(folder / c.name), "Row 1");
        EXPECT_THAT(noteOf(viewer).toStdString(), ::testing::StartsWith(c.note)) << c.name;
        EXPECT_THAT(noteOf(viewer).toStdString(), ::testing::HasSubstr(folder / c.name));
        EXPECT_EQ(viewer.txtOutput->toPlainText(), "") << c.name;
        EXPECT_FALSE(viewer.cmdOpenWith->isEnabled()) << c.name;
    }
}

// PATH holds only a folder for a stand-in of the desktop's opener, which notes its argument
// in `marker` and ends with `status`.
class Opener {
public:
    Opener() : path_("PATH", bin()) { fs::create_directory(folder_ / "bin"); }

    void answer(int status) {
        writeFile(folder_ / "bin/xdg-open",
                  "#!/bin/sh\nprintf '%s' \"$1\" > '" + marker() + ".part' && /bin/mv '" + marker() + ".part' '" + marker() +
                      "'\nexit " + std::to_string(status) + "\n",
                  fs::perms::owner_all);
    }
    void remove() { fs::remove(folder_ / "bin/xdg-open"); }
    std::string marker() const { return folder_ / "opened"; }
    std::string opened() const { return testsupport::readFile(marker()); }

private:
    std::string bin() const { return folder_ / "bin"; }
    testsupport::TempFolder folder_;
    testsupport::ScopedEnv path_;
};

TEST(OutputViewer, OpenWithSaysWhyTheDesktopCouldNotOpenIt) {
    testsupport::TempFolder folder;
    const std::string file = folder / "out.log";
    writeFile(file, "output\n");
    struct Case {
        std::optional<int> status;  // none: no opener at all
        const char* note;
    };
    const Case cases[] = {
        {3, "Could not open it: the desktop has no program for this kind of file."},
        {4, "Could not open it: the desktop's program for it failed."},
        {7, "Could not open it: the desktop's opener ended with exit status 7."},
        {std::nullopt, "Could not open it: there is no xdg-open here to find the desktop's viewer."},
    };
    for (const Case& c : cases) {
        Opener opener;
        if (c.status) opener.answer(*c.status);
        OutputViewer viewer;
        viewer.showFile(QString::fromStdString(file), "Row 1");
        viewer.cmdOpenWith->click();
        EXPECT_TRUE(testsupport::runEventsUntil([&] { return !noteOf(viewer).isEmpty(); })) << c.note;
        EXPECT_EQ(noteOf(viewer), c.note);
        if (c.status) {
            EXPECT_EQ(opener.opened(), file);
        }
    }

    Opener opener;
    opener.answer(0);
    OutputViewer viewer;
    viewer.showFile(QString::fromStdString(file), "Row 1");
    viewer.cmdOpenWith->click();
    ASSERT_TRUE(testsupport::runEventsUntil([&] { return fs::exists(opener.marker()); }));
    EXPECT_EQ(opener.opened(), file);
    testsupport::runEventsUntil([] { return false; }, 200);
    EXPECT_EQ(noteOf(viewer), "") << "an opener that did its work says nothing";
}

// The desktop's file manager, as much of it as "Show in Folder" asks for.
class FileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString& startupId) {
        (void)startupId;
        shown += uris;
    }
};

TEST(OutputViewer, ShowInFolderAsksTheFileManagerOrElseOpensTheFolder) {
    testsupport::PrivateBus bus;
    if (!bus.running()) GTEST_SKIP() << "no dbus-daemon";
    testsupport::TempFolder folder;
    const std::string file = folder / "out.log";
    writeFile(file, "output\n");
    Opener opener;
    opener.answer(0);

    OutputViewer withoutFileManager(bus.connect("viewer-1"));
    withoutFileManager.showFile(QString::fromStdString(file), "Row 1");
    withoutFileManager.cmdShowInFolder->click();
    ASSERT_TRUE(testsupport::runEventsUntil([&] { return fs::exists(opener.marker()); }));
    EXPECT_EQ(opener.opened(), folder.path());

    fs::remove(opener.marker());
    FileManager manager;
    QDBusConnection service = bus.connect("file-manager");
    ASSERT_TRUE(service.registerObject("/org/freedesktop/FileManager1", &manager, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService("org.freedesktop.FileManager1"));
    OutputViewer withFileManager(bus.connect("viewer-2"));
    withFileManager.showFile(QString::fromStdString(file), "Row 1");
    withFileManager.cmdShowInFolder->click();
    ASSERT_TRUE(testsupport::runEventsUntil([&] { return !manager.shown.isEmpty(); }));
    EXPECT_EQ(manager.shown, QStringList{"file://" + QString::fromStdString(file)});
    EXPECT_FALSE(fs::exists(opener.marker()));
}

}  // namespace
}  // namespace morrowset

#include "output_viewer_test.moc"
