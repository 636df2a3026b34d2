// The History window: its table fetched a page at a time and filtered by row, following
// the history as runs start and end, and its keys (Enter and a double click open the
// run's output, Escape closes, Tab goes from control to control).
#include "app/history_window.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <gmock/gmock.h>

#include <filesystem>

#include "app/history_model.h"
#include "app/output_viewer.h"
#include "timetable/history_text.h"
#include "support/event_loop.h"
#include "support/history_lines.h"
#include "support/temp_folder.h"

namespace morrowset {
namespace {

namespace fs = std::filesystem;
using testsupport::endLine;
using testsupport::historyRun;
using testsupport::startLine;
using testsupport::writeFile;

std::string result(const HistoryEntry& entry) {
    return historytext::cell(entry, historytext::Column::Result, platform::wallNow());
}

class HistoryWindowTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (HistoryWindow* window = HistoryWindow::current()) window->close();
        if (OutputViewer* viewer = OutputViewer::current()) viewer->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // `count` runs, one a minute from 01:00, of rows 1 to 6 in turn; run i ended with exit
    // status i % 4.
    void writeRuns(int count) {
        std::string history;
        for (int i = 0; i < count; ++i) {
            const RunRecord run = historyRun(std::to_string(i), i % 6 + 1, 1 + i / 60, i % 60);
            history += startLine(run) + endLine(run, i % 4);
        }
        writeFile(app / "history.jsonl", history);
    }

    HistoryWindow* openWindow(int rows) {
        HistoryWindow* window = showHistoryWindow(app.path());
        EXPECT_TRUE(testsupport::runEventsUntil([&] { return window->model().rowCount() >= rows; }));
        return window;
    }

    testsupport::TempFolder app;
};

TEST_F(HistoryWindowTest, FetchesAPageAtATimeAndFiltersByRow) {
    writeRuns(250);
    HistoryModel model(app.path());
    EXPECT_EQ(model.rowCount(), 0);
    ASSERT_TRUE(model.canFetchMore({}));
    model.fetchMore({});
    EXPECT_GE(model.rowCount(), static_cast<int>(HistoryModel::kPage));
    EXPECT_LT(model.rowCount(), 250) << "one page, not the whole history";
    EXPECT_EQ(model.entry(0).run.id, "249");

    model.setRowFilter(3);
    while (model.canFetchMore({})) model.fetchMore({});
    ASSERT_EQ(model.rowCount(), 42);  // runs 2, 8, ..., 248
    for (int row = 0; row < model.rowCount(); ++row)
        ASSERT_EQ(model.entry(row).run.id, std::to_string(248 - 6 * row));

    model.setRowFilter(0);
    EXPECT_EQ(model.rowCount(), 250);
    EXPECT_EQ(model.headerData(5, Qt::Horizontal).toString(), "Result");
}

TEST_F(HistoryWindowTest, AFilterThatMatchesNoneOfAPageReadsOnByItself) {
    // Row 6 ran once, before 600 runs of the other rows.
    const RunRecord old = historyRun("old", 6, 0, 0);
    std::string history = startLine(old) + endLine(old, 0);
    for (int i = 0; i < 600; ++i) history += startLine(historyRun(std::to_string(i), i % 5 + 1, 1 + i / 60, i % 60));
    writeFile(app / "history.jsonl", history);
    HistoryModel model(app.path());
    model.setRowFilter(6);
    model.fetchMore({});
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(testsupport::runEventsUntil([&] { return !model.canFetchMore({}); }));
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.entry(0).run.id, "old");
}

TEST_F(HistoryWindowTest, ShowsRunsAsTheyStartAndEnd) {
    writeRuns(3);
    HistoryWindow* window = openWindow(3);
    const RunRecord next = historyRun("next", 2, 9, 0);
    ASSERT_TRUE(RunHistory::append(app.path(), startLine(next)));
    ASSERT_TRUE(testsupport::runEventsUntil([&] { return window->model().rowCount() == 4; }));
    EXPECT_EQ(window->model().entry(0).run.id, "next");
    EXPECT_EQ(result(window->model().entry(0)), "running");

    ASSERT_TRUE(RunHistory::append(app.path(), endLine(next, 1)));
    EXPECT_TRUE(testsupport::runEventsUntil([&] { return result(window->model().entry(0)) == "exit status 1"; }));

    window->cboRow->setCurrentIndex(5);
    EXPECT_EQ(window->model().rowFilter(), 5);
    ASSERT_TRUE(RunHistory::append(app.path(), startLine(historyRun("other", 2, 9, 5))));
    ASSERT_TRUE(RunHistory::append(app.path(), startLine(historyRun("fifth", 5, 9, 6))));
    ASSERT_TRUE(testsupport::runEventsUntil([&] { return window->model().rowCount() == 1; }));
    EXPECT_EQ(window->model().entry(0).run.id, "fifth");
}

TEST_F(HistoryWindowTest, EnterOrADoubleClickOpensTheRunsOutput) {
    const RunRecord ran = historyRun("ran", 1, 8, 0), refused = historyRun("refused", 3, 8, 5);
    writeFile(app / "history.jsonl", startLine(ran) + endLine(ran, 0) + testsupport::refusedLine(refused));
    fs::create_directory(app / "runs");
    writeFile(app / "runs/row1-ran.log", "hello from the run\n");
    HistoryWindow* window = openWindow(2);
    QTableView* table = window->grdRuns;

    table->setCurrentIndex(window->model().index(0, 0));
    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_EQ(OutputViewer::current(), nullptr);
    EXPECT_EQ(window->lblStatus->text(), "This run has no output: it could not start.");

    table->setCurrentIndex(window->model().index(1, 0));
    QTest::keyClick(table, Qt::Key_Return);
    OutputViewer* viewer = OutputViewer::current();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->path().toStdString(), app / "runs/row1-ran.log");
    EXPECT_EQ(viewer->txtOutput->toPlainText(), "hello from the run\n");
    EXPECT_THAT(viewer->lblHeading->text().toStdString(), ::testing::StartsWith("Row 1: job-ran\nstarted "));
    EXPECT_TRUE(window->lblStatus->text().isEmpty());

    viewer->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(OutputViewer::current(), nullptr);
    const QRect cell = table->visualRect(window->model().index(1, 1));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());  // a double click's first click
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_NE(OutputViewer::current(), nullptr);
    EXPECT_EQ(OutputViewer::current()->path().toStdString(), app / "runs/row1-ran.log");
}

TEST_F(HistoryWindowTest, TabGoesFromControlToControlAndEscapeCloses) {
    writeRuns(2);
    HistoryWindow* window = openWindow(2);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    window->cboRow->setFocus();
    const std::vector<QWidget*> order = {window->grdRuns, window->cmdOpen, window->cmdClose, window->cboRow};
    for (QWidget* expected : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected) << expected->metaObject()->className();
    }
    QTest::keyClick(window->grdRuns, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(HistoryWindow::current(), nullptr);
}

}  // namespace
}  // namespace morrowset
