// The run history as the History window lists it: one entry per run, newest first, across
// both files, read from the end only as far as asked, following the file as it grows and
// rotates.
#include "timetable/history_list.h"

#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <gmock/gmock.h>
#include <string>
#include <vector>

#include "timetable/history_text.h"
#include "timetable/run_history.h"
#include "support/history_lines.h"
#include "support/temp_folder.h"

namespace morrowset {
namespace {

namespace fs = std::filesystem;
using historytext::Column;
using testsupport::endLine;
using testsupport::historyRun;
using testsupport::refusedLine;
using testsupport::skippedLine;
using testsupport::startLine;
using testsupport::writeFile;

constexpr platform::WallTime kNow{20433, 12 * 3600 * 1000};  // 2025-12-11 12:00

// Each entry as its row and result, newest first.
std::vector<std::pair<int, std::string>> rowsAndResults(const HistoryList& list) {
    std::vector<std::pair<int, std::string>> shown;
    for (std::size_t i = 0; i < list.size(); ++i)
        shown.emplace_back(list.at(i).run.row + 1, historytext::cell(list.at(i), Column::Result, kNow));
    return shown;
}

std::string result(const HistoryEntry& entry) { return historytext::cell(entry, Column::Result, kNow); }

TEST(HistoryList, OneEntryPerRunNewestFirstAcrossBothFiles) {
    testsupport::TempFolder app;
    const RunRecord a = historyRun("a", 1, 8, 0), b = historyRun("b", 2, 8, 10), c = historyRun("c", 3, 8, 20);
    const RunRecord d = historyRun("d", 5, 8, 40), e = historyRun("e", 6, 7, 0), f = historyRun("f", 1, 9, 0);
    RunRecord bStopped = b;
    bStopped.stopped = StopReason::Stop;
    // The older file holds the end of a run whose start is gone with the file before it.
    writeFile(app / "history.jsonl.1", endLine(e, 0) + startLine(a) + startLine(b));
    writeFile(app / "history.jsonl", "not json\n" + endLine(a, 0) + refusedLine(c) + skippedLine(4, "08:30") +
                                         endLine(bStopped, std::nullopt, SIGKILL) + startLine(d) + startLine(f) +
                                         R"({"event":"start","run":"g","row":2,"comm)");  // cut by a crash
    HistoryList list(app.path(), [](const std::string& id) { return id == "f"; });
    EXPECT_EQ(list.size(), 0u) << "opening reads no entry";

    EXPECT_EQ(list.readMore(100), 7u);
    EXPECT_FALSE(list.hasMore());
    using Shown = std::vector<std::pair<int, std::string>>;
    EXPECT_EQ(rowsAndResults(list), (Shown{{1, "running"},
                                           {5, "no end seen (Morrowset ended before it)"},
                                           {4, "skipped at 08:30: the clock was paused"},
                                           {3, "could not start: error 53 (File not found)"},
                                           {2, "asked to stop, killed by SIGKILL"},
                                           {1, "exit status 0"},
                                           {6, "exit status 0"}}));
    EXPECT_EQ(list.at(5).run.output, "row1-a.log");
    EXPECT_EQ(list.at(1).run.output, "row5-d.log") << "a run without its end has the output named at its start";
    EXPECT_FALSE(list.at(6).startSeen);
    EXPECT_EQ(list.at(6).run.started, testsupport::historyStamp(7, 0)) << "an end alone dates its start back by its duration";
    EXPECT_EQ(list.at(2).run.result(), RunRecord::Result::Skipped);
}

TEST(HistoryList, ColumnTexts) {
    testsupport::TempFolder app;
    RunRecord now = historyRun("n", 2, 8, 0);
    now.trigger = Trigger::Now;
    writeFile(app / "history.jsonl", startLine(now) + endLine(now, 3));
    HistoryList list(app.path());
    list.readMore(10);
    ASSERT_EQ(list.size(), 1u);
    std::vector<std::string> cells;
    std::vector<std::string> headings;
    for (int column = 0; column < historytext::kColumns; ++column) {
        cells.push_back(historytext::cell(list.at(0), static_cast<Column>(column), kNow));
        headings.emplace_back(historytext::heading(static_cast<Column>(column)));
    }
    EXPECT_THAT(cells, ::testing::ElementsAre("2", "job-n", "NOW", "today 08:00:00", "30.0 s", "exit status 3"));
    EXPECT_THAT(headings, ::testing::ElementsAre("Row", "Command", "Trigger", "Started", "Duration", "Result"));
}

// Many runs with command lines of all lengths, so that lines cross the blocks read, and a
// "line" of garbage longer than any line may be in their midst.
TEST(HistoryList, ReadsEveryRunOnceAcrossBlocksAndSkipsOverlongGarbage) {
    testsupport::TempFolder app;
    constexpr int kRuns = 3000;
    std::string history;
    for (int i = 0; i < kRuns; ++i) {
        RunRecord record = historyRun(std::to_string(i), i % 6 + 1, 1, 0);
        record.command.append(static_cast<std::size_t>(i * 37 % 2000), 'x');
        if (i % 500 == 0) record.command.append(70'000, 'y');
        history += startLine(record) + endLine(record, i % 7);
        if (i == kRuns / 2) history += std::string(HistoryList::kMaxLineBytes + 10, '#') + "\n";
    }
    writeFile(app / "history.jsonl", history);
    HistoryList list(app.path());
    while (list.hasMore()) list.readMore(100);

    ASSERT_EQ(list.size(), static_cast<std::size_t>(kRuns));
    for (int i = 0; i < kRuns; ++i) {
        const RunRecord& record = list.at(static_cast<std::size_t>(kRuns - 1 - i)).run;
        ASSERT_EQ(record.id, std::to_string(i));
        ASSERT_EQ(record.exitStatus, i % 7) << record.id;
    }
}

TEST(HistoryList, OpensAMillionLineHistoryReadingOnlyItsEnd) {
    testsupport::TempFolder app;
    constexpr int kLines = 1'000'000;
    std::string history;
    history.reserve(kLines * 110u);
    char line[160];
    for (int i = 0; i < kLines; ++i) {
        std::snprintf(line, sizeof line,
                      R"({"event":"%s","run":"r%d","row":%d,"time":"2025-12-11T02:30:00.000+01:00","exit_status":0})"
                      "\n",
                      i % 2 ? "end" : "start", i / 2, i / 2 % 6 + 1);
        history += line;
    }
    writeFile(app / "history.jsonl", history);

    HistoryList list(app.path());
    EXPECT_LE(list.bytesRead(), 4096) << "opening looks only for the end of the last line";
    EXPECT_GE(list.readMore(200), 200u);
    EXPECT_EQ(list.at(0).run.id, "r499999");
    EXPECT_EQ(list.at(199).run.id, "r499800");
    EXPECT_LE(list.bytesRead(), 2 * static_cast<int64_t>(HistoryList::kBlockBytes) + 4096)
        << "a page of entries reads a few blocks of a " << history.size() << "-byte history";
    EXPECT_TRUE(list.hasMore());
}

TEST(HistoryList, EmptyOrMissingHistory) {
    testsupport::TempFolder app;
    HistoryList missing(app.path());
    EXPECT_FALSE(missing.hasMore());
    EXPECT_EQ(missing.readMore(10), 0u);
    writeFile(app / "history.jsonl", "");
    HistoryList empty(app.path());
    EXPECT_EQ(empty.readMore(10), 0u);
    EXPECT_FALSE(empty.hasMore());
    EXPECT_EQ(empty.bytesRead(), 0);
}

TEST(HistoryList, RefusesAFileThatIsALink) {
    testsupport::TempFolder app;
    writeFile(app / "elsewhere", startLine(historyRun("a", 1, 8, 0)));
    fs::create_symlink(app / "elsewhere", app / "history.jsonl");
    HistoryList list(app.path());
    EXPECT_EQ(list.readMore(10), 0u);
}

// Damaged lines that bring a history of `have` bytes to 100 bytes short of the size at
// which it rotates.
std::string fillerUpTo(std::size_t have) {
    std::size_t room = static_cast<std::size_t>(RunHistory::kRotateAtBytes) - 100 - have;
    std::string filler;
    for (; room > 1001; room -= 1001) filler += std::string(1000, '#') + "\n";
    return filler + std::string(room - 1, '#') + "\n";
}

TEST(HistoryList, TakesInLinesAppendedWhileOpenAlsoAcrossARotation) {
    testsupport::TempFolder app;
    const RunRecord x = historyRun("x", 1, 8, 0), y = historyRun("y", 2, 9, 0);
    writeFile(app / "history.jsonl", startLine(x) + fillerUpTo(startLine(x).size()));
    HistoryList list(app.path(), [](const std::string& id) { return id == "x"; });
    list.readMore(100);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(result(list.at(0)), "running");
    EXPECT_EQ(list.takeNewLines().added, 0u);

    ASSERT_TRUE(RunHistory::append(app.path(), startLine(y)));  // the file reaches the size to rotate at
    ASSERT_TRUE(RunHistory::append(app.path(), endLine(x, 0)));  // into a new file
    ASSERT_TRUE(fs::exists(app / "history.jsonl.1")) << "the history rotated";
    const HistoryList::Changes changes = list.takeNewLines();

    EXPECT_EQ(changes.added, 1u);
    EXPECT_THAT(changes.changed, ::testing::ElementsAre(1u));
    EXPECT_EQ(list.at(0).run.id, "y");
    EXPECT_EQ(result(list.at(0)), "running") << "a start appended while open is running";
    EXPECT_EQ(result(list.at(1)), "exit status 0");

    ASSERT_TRUE(RunHistory::append(app.path(), endLine(y, 2)));
    EXPECT_THAT(list.takeNewLines().changed, ::testing::ElementsAre(0u));
    EXPECT_EQ(result(list.at(0)), "exit status 2");
}

TEST(HistoryList, WhatWasThereWhenItOpenedIsReadBackAfterARotationToo) {
    testsupport::TempFolder app;
    const RunRecord w = historyRun("w", 2, 7, 0), x = historyRun("x", 3, 8, 0), y = historyRun("y", 4, 9, 0);
    writeFile(app / "history.jsonl.1", startLine(w) + endLine(w, 0));
    writeFile(app / "history.jsonl", startLine(x) + fillerUpTo(startLine(x).size()));
    HistoryList list(app.path());

    // x's end comes before its start was read; y's start rotates the history, which drops
    // the older file the list opened.
    ASSERT_TRUE(RunHistory::append(app.path(), endLine(x, 4)));
    ASSERT_TRUE(RunHistory::append(app.path(), startLine(y)));
    const HistoryList::Changes changes = list.takeNewLines();
    EXPECT_EQ(changes.added, 1u);
    EXPECT_TRUE(changes.changed.empty());
    while (list.hasMore()) list.readMore(10);
    using Shown = std::vector<std::pair<int, std::string>>;
    EXPECT_EQ(rowsAndResults(list), (Shown{{4, "running"}, {3, "exit status 4"}, {2, "exit status 0"}}));
}

TEST(HistoryList, FollowsAHistoryBegunAfterItOpened) {
    testsupport::TempFolder app;
    HistoryList list(app.path());
    ASSERT_TRUE(RunHistory::append(app.path(), startLine(historyRun("a", 1, 8, 0))));
    EXPECT_EQ(list.takeNewLines().added, 1u);
    // A line still being written is taken once it is whole.
    const std::string line = startLine(historyRun("b", 2, 8, 5));
    std::FILE* file = std::fopen((app / "history.jsonl").c_str(), "ab");
    std::fwrite(line.data(), 1, 20, file);
    std::fflush(file);
    EXPECT_EQ(list.takeNewLines().added, 0u);
    std::fwrite(line.data() + 20, 1, line.size() - 20, file);
    std::fclose(file);
    EXPECT_EQ(list.takeNewLines().added, 1u);
    EXPECT_EQ(list.at(0).run.id, "b");
}

TEST(HistoryEvent, DamagedOrForeignLinesAreNoEvents) {
    const char* const kNoEvents[] = {
        R"({"event":"start","run":"a","row":0,"time":"2025-12-11T08:00:00.000+01:00"})",
        R"({"event":"start","run":"a","row":7,"time":"2025-12-11T08:00:00.000+01:00"})",
        R"({"event":"start","row":1,"time":"2025-12-11T08:00:00.000+01:00"})",
        R"({"event":"start","run":"a","row":1,"time":"yesterday"})",
        R"({"event":"refused","run":"a","row":1,"time":"2025-12-11T08:00:00.000+01:00","error":0})",
        R"({"event":"paused","run":"a","row":1,"time":"2025-12-11T08:00:00.000+01:00"})",
        R"({"event":"skipped","run":"a","row":1,"time":"2025-12-11T08:00:00.000+01:00"})",
        R"({"event":"start","run":"a","row":1,"time":"2025-12-11T08:00:00.000+01:00")",
        R"(["start"])",
    };
    for (const char* line : kNoEvents) EXPECT_FALSE(readHistoryEvent(line)) << line;
    const auto skipped = readHistoryEvent(skippedLine(2, "08:21").substr(0, skippedLine(2, "08:21").size() - 1));
    ASSERT_TRUE(skipped);
    EXPECT_EQ(skipped->kind, HistoryEvent::Kind::Skipped);
    EXPECT_EQ(skipped->run.skipped, "paused");
    // As the history's own writer puts it: with the keys of a start.
    const auto withRun = readHistoryEvent(
        R"({"event":"skipped","run":"s","row":2,"command":"job-s","trigger":"clock","due":"2025-12-11T08:21:00+01:00",)"
        R"("time":"2025-12-11T08:21:00.004+01:00","pid":null,"reason":"paused"})");
    ASSERT_TRUE(withRun);
    EXPECT_EQ(withRun->run.command, "job-s");
    EXPECT_EQ(withRun->kind, HistoryEvent::Kind::Skipped);
}

}  // namespace
}  // namespace morrowset
