// The error handler driven by real run-time errors in real instrumented procedures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "errortrap/report/error_handler.h"
#include "errortrap/core/trace_stack.h"
#include "errortrap/core/unanswered_reports.h"
#include "errortrap/trace/procedure.h"
#include "errortrap/wardline.h"
#include "platform/error_texts.h"
#include "platform/runtime_error.h"
#include "support/error_report_support.h"
#include "support/fake_sendmail.h"
#include "support/files.h"
#include "support/private_journal.h"

namespace wardline::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

constexpr int32_t kObjectErrorBase = -2147221504;

[[noreturn]] void raiseFrom(const std::string& source, int32_t number) {
    platform::ErrorInfo info;
    info.number = number;
    info.source = source;
    info.helpFile = "/opt/other/other.hlp";
    info.helpContext = 7;
    platform::raiseError(info);
}

// frmMain.frm's "Sub cmdGo_Click" failing in its statement 20 with `fault`.
void cmdGoClick(const std::function<void()>& fault, bool* ranAfterFault = nullptr) {
    Procedure("frmMain.frm", "Sub cmdGo_Click").run({
        {10, [] {}},
        {20, [&] { fault(); }},
        {30, [&] {
             if (ranAfterFault) *ranAfterFault = true;
         }},
    });
}

class ErrorHandlerTest : public ErrorReportTest {};

TEST_F(ErrorHandlerTest, RecordsAnErrorRaisedInTheTrappingProcedureAndLeavesIt) {
    bool ranAfterFault = false;
    cmdGoClick([] { platform::raiseError(53); }, &ranAfterFault);

    EXPECT_FALSE(ranAfterFault) << "Continue (0) leaves the procedure";
    EXPECT_EQ(traceStack().traceDepth, 0) << "the exit path still leaves the trace stack";
    const ErrorRecord& record = errorRecord();
    const ErrorLevel& top = record.levels[0];
    EXPECT_EQ(top.module, "frmMain.frm");
    EXPECT_EQ(top.procedure, "Sub cmdGo_Click");
    EXPECT_EQ(top.line, 20);
    EXPECT_EQ(top.number, 53);
    EXPECT_EQ(top.description, "File not found");
    EXPECT_EQ(top.category, "File System (disk, directory or file) access error");
    EXPECT_EQ(top.source, "Morrowset (local)");
    EXPECT_EQ(top.helpFile, platform::app().runtimeHelpFile());
    EXPECT_EQ(top.helpContext, 53);
    EXPECT_EQ(record.levelCount, 0);
    EXPECT_EQ(record.codePointer, 0);
    EXPECT_EQ(record.callTreeSnapshot[0], "1");
    EXPECT_EQ(record.callTreeSnapshot[1], "1 : frmMain.frm : Sub cmdGo_Click : ");

    EXPECT_THAT(ui.events, ElementsAre("show Sub cmdGo_Click", "unload"));
    EXPECT_THAT(ui.pointers, ElementsAre(kPointerDefault, kPointerDefault)) << "set to default, then restored";
    EXPECT_FALSE(runtime().busy);
    EXPECT_EQ(platform::currentError().number, 0);
}

TEST_F(ErrorHandlerTest, NamesCallerAndCalleeWhenTheErrorCameUpFromAnUntrappedCallee) {
    struct Case {
        std::string calleeModule;
        std::string calleeProcedure;
        std::string module;
        std::string procedure;
    };
    const Case cases[] = {
        {"modLaunch.bas", "Sub StartRow", "frmMain.frm << modLaunch.bas", "Sub tmrMain_Timer << Sub StartRow"},
        {"frmMain.frm", "Sub cmdGo_Click", "frmMain.frm", "Sub tmrMain_Timer << Sub cmdGo_Click"},
        {"FRMMAIN.FRM ", "sub TMRMAIN_TIMER", "FRMMAIN.FRM", "sub TMRMAIN_TIMER"},  // same names: plain
    };
    for (const Case& c : cases) {
        Procedure("frmMain.frm", "Sub tmrMain_Timer").run({
            {10, [&] {
                 Procedure(c.calleeModule, c.calleeProcedure).runUntrapped({{40, [] { platform::raiseError(11); }}});
             }},
        });
        const ErrorLevel& top = errorRecord().levels[0];
        EXPECT_EQ(top.module, c.module) << c.calleeModule;
        EXPECT_EQ(top.procedure, c.procedure) << c.calleeProcedure;
        EXPECT_EQ(top.line, 10) << "the line of the caller's statement that called";
        EXPECT_EQ(errorRecord().callTreeSnapshot[0], "2");
        EXPECT_EQ(traceStack().traceDepth, 0);
    }
}

TEST_F(ErrorHandlerTest, TagsTheSourceLocalOnlyWhenItIsThisProgram) {
    const std::pair<std::string, std::string> cases[] = {
        {"Morrowset", "Morrowset (local)"},
        {"Scheduler.Engine", "Scheduler.Engine (remote)"},
        {"", " (remote)"},
        {"morrowset", "morrowset (remote)"},
    };
    for (const auto& [source, tagged] : cases) {
        cmdGoClick([&] { raiseFrom(source, 5); });
        EXPECT_EQ(errorRecord().levels[0].source, tagged);
        EXPECT_EQ(errorRecord().levels[0].description, "Invalid procedure call or argument")
            << "the standard text, never the error's own";
        EXPECT_EQ(errorRecord().levels[0].helpFile, "/opt/other/other.hlp");
    }
}

TEST_F(ErrorHandlerTest, ReducesAnErrorOnTheObjectErrorBase) {
    cmdGoClick([] { raiseFrom("Scheduler.Engine", kObjectErrorBase + 1000); });

    const ErrorLevel& top = errorRecord().levels[0];
    EXPECT_EQ(top.number, 1000);
    EXPECT_EQ(top.description, platform::standardErrorText(1000) + " : " +
                                   platform::standardErrorText(kObjectErrorBase + 1000));
    EXPECT_EQ(top.category, "Remote OLE Automation error");
}

TEST_F(ErrorHandlerTest, DecodesAForwardedRemoteChain) {
    cmdGoClick([] { raiseFrom("1srv!modA!procB!12!91", 440); });

    const ErrorRecord& record = errorRecord();
    ASSERT_EQ(record.levelCount, 1);
    const ErrorLevel& remote = record.levels[1];
    EXPECT_EQ(remote.source, "srv (remote)");
    EXPECT_EQ(remote.module, "modA");
    EXPECT_EQ(remote.procedure, "procB");
    EXPECT_EQ(remote.line, 12);
    EXPECT_EQ(remote.number, 91);
    EXPECT_EQ(remote.description, "Object variable or With block variable not set");
    EXPECT_EQ(remote.category, "Object Linking and Embedding");

    const ErrorLevel& top = record.levels[0];
    EXPECT_EQ(top.number, 440);
    EXPECT_EQ(top.description, "Remote Automation error");
    EXPECT_EQ(top.category, "Object Linking and Embedding");
    EXPECT_EQ(top.source, "Morrowset (local) << srv (remote)");
    EXPECT_EQ(top.module, "frmMain.frm << modA");
    EXPECT_EQ(top.procedure, "Sub cmdGo_Click << procB");
    EXPECT_EQ(top.line, 20);
}

TEST_F(ErrorHandlerTest, SilentRunShowsNoDialogAndWritesTheLogOnlyWithWriteToDisk) {
    for (const bool writeToDisk : {false, true}) {
        testsupport::TempFolder logFolder;
        const fs::path logPath = logFolder / "error.log";
        freshRuntime();
        startRuntime(currentRuntime());
        prefs().silentRun = -1;
        prefs().writeToDisk = writeToDisk ? -1 : 0;
        prefs().captureToDisk = writeToDisk ? -1 : 0;
        prefs().errorLogPath = writeToDisk ? logPath.string() : "";
        ui.events.clear();

        cmdGoClick([] { platform::raiseError(53); });

        EXPECT_THAT(ui.shown, IsEmpty());
        EXPECT_THAT(ui.events, ElementsAre("unload"));
        EXPECT_FALSE(fs::exists(scratch / "wlerror.log")) << "no fallback log in a silent run";
        EXPECT_EQ(fs::exists(logPath), writeToDisk);
        if (writeToDisk) {
            const std::string log = readFile(logPath);
            EXPECT_THAT(log, HasSubstr("[Morrowset] ERROR 53 at frmMain.frm : Sub cmdGo_Click : Line 20 : "
                                       "File not found\r\n\r\n"))
                << "the error line reaches the trace sinks (here disk capture)";
            EXPECT_EQ(countOf(log, "*****************************************************************\r\n"), 1u);
        }
    }
}

TEST_F(ErrorHandlerTest, ReturnsTheDialogsAnswerAndGoesOnWhenTheDialogFails) {
    int16_t seen = -1;
    testsupport::ScopedTrapHandler spy([&](const std::string& module, const std::string& procedure) {
        return seen = wlERROR(module, procedure);
    });

    ui.answer = kChoiceBreakTo;
    cmdGoClick([] { platform::raiseError(91); });
    EXPECT_EQ(seen, kChoiceBreakTo);

    ui.failDialog = true;
    cmdGoClick([] { platform::raiseError(91); });
    EXPECT_EQ(seen, kChoiceContinue) << "a failing dialog counts as Continue";
    EXPECT_TRUE(fs::exists(scratch / "wlerror.log")) << "the error log is still written";
    EXPECT_EQ(prefs().errorLogPath, "") << "the fallback name is not written into the preferences";
    EXPECT_EQ(countOf(readFile(scratch / "wlerror.log"), "User Said\r\n"), 2u);
    EXPECT_FALSE(runtime().busy);
}

// An error raised while a dialog is open (a clock tick's row that cannot start) does not
// wait for the person in front of it: it is reported at once, and its dialog follows once
// the open one closes. The open dialog keeps its own record.
TEST_F(ErrorHandlerTest, AnErrorWhileADialogIsOpenIsReportedAtOnceAndItsDialogFollows) {
    bool tickWentOn = false;
    ui.whileShown = [&] {
        runtime().busy = true;
        const ClockTick tick(currentRuntime());
        Procedure("frmMain.frm", "Sub tmrMain_Timer").run({{70, [] { platform::raiseError(6); }}});
        Procedure("frmMain.frm", "Sub tmrMain_Timer").run({{80, [&] { tickWentOn = true; }}});
        EXPECT_EQ(errorRecord().levels[0].number, 53) << "the open dialog's record is its own";
        EXPECT_EQ(ui.shown.size(), 1u) << "no second dialog over the first";
        runtime().busy = false;  // Continue
    };

    cmdGoClick([] { platform::raiseError(53); });

    EXPECT_TRUE(tickWentOn);
    EXPECT_THAT(ui.events, ElementsAre("show Sub cmdGo_Click", "unload", "show Sub tmrMain_Timer", "unload"));
    ASSERT_EQ(ui.shown.size(), 2u);
    EXPECT_EQ(ui.shown[1].number, 6);
    EXPECT_EQ(traceStack().traceDepth, 0);
    EXPECT_FALSE(runtime().busy);
}

// A clock tick never shows a dialog inside itself: the tick goes on with its next
// statement's procedure, and the error's report waits for its dialog, which comes when
// asked for after the tick; the report then carries what was typed there.
TEST_F(ErrorHandlerTest, AnErrorInAClockTickIsWrittenWhenItsDialogIsAnswered) {
    ui.comments = {"the backup row again"};
    {
        const ClockTick tick(currentRuntime());
        Procedure("frmMain.frm", "Sub tmrMain_Timer").run({{70, [] { platform::raiseError(53); }}});
        EXPECT_TRUE(ui.shown.empty());
        EXPECT_TRUE(dialogsWaiting(currentRuntime()));
    }
    EXPECT_FALSE(fs::exists(scratch / "wlerror.log")) << "nothing written before the dialog is answered";
    showWaitingDialogs(currentRuntime());
    EXPECT_THAT(ui.events, ElementsAre("show Sub tmrMain_Timer", "unload"));
    EXPECT_FALSE(dialogsWaiting(currentRuntime()));
    const std::string log = readFile(scratch / "wlerror.log");
    EXPECT_EQ(countOf(log, "Error No.     53"), 1u) << "written once";
    EXPECT_THAT(log, HasSubstr("User Said\r\n              the backup row again\r\n"));
}

// Two errors, two reports: a clock tick that fails while the first error's dialog is open
// neither takes over the first error's record nor borrows its answer. Each report is
// written and mailed whole when its own dialog is answered, with what was typed there.
TEST_F(ErrorHandlerTest, ASecondErrorWhileTheFirstDialogIsOpenGetsItsOwnDialogAndReport) {
    fs::create_directory(scratch / "mail");
    const morrowset::testing::FakeSendmail sendmail(scratch / "mail", "cat '" + scratch / "mail/message" +
                                                                          "' >> '" + scratch / "mails" + "'");
    prefs().writeToDisk = -1;
    prefs().errorLogPath = scratch / "error.log";
    prefs().mailAddress = "ops@example.org";
    ui.comments = {"about the first", "about the second"};
    bool loggedWhileOpen = true;
    ui.whileShown = [&] {
        runtime().busy = true;
        {
            const ClockTick tick(currentRuntime());
            Procedure("frmMain.frm", "Sub tmrMain_Timer").run({{70, [] { platform::raiseError(6); }}});
        }
        EXPECT_EQ(errorRecord().levels[0].number, 53) << "the open dialog's record is its own";
        loggedWhileOpen = fs::exists(scratch / "error.log");
        runtime().busy = false;  // Continue
    };

    cmdGoClick([] { platform::raiseError(53); });

    EXPECT_FALSE(loggedWhileOpen);
    EXPECT_THAT(ui.events, ElementsAre("show Sub cmdGo_Click", "unload", "show Sub tmrMain_Timer", "unload"));
    const auto logged = testsupport::reportsIn(readFile(scratch / "error.log"));
    ASSERT_EQ(logged.size(), 2u) << readFile(scratch / "error.log");
    EXPECT_THAT(logged[0], HasSubstr("Error No.     53\r\n"));
    EXPECT_THAT(logged[0], HasSubstr("User Said\r\n              about the first\r\n"));
    EXPECT_THAT(logged[1], HasSubstr("Error No.     6\r\n"));
    EXPECT_THAT(logged[1], HasSubstr("Sub tmrMain_Timer"));
    EXPECT_THAT(logged[1], HasSubstr("User Said\r\n              about the second\r\n"));
    for (const auto& report : logged) EXPECT_THAT(report, HasSubstr(" - stop Wardline")) << "whole";

    ASSERT_TRUE(sendmail.ran());
    const std::string mails = readFile(scratch / "mails");
    const auto first = mails.find("reports error 53 ");
    const auto second = mails.find("reports error 6 ");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(first, second) << "mailed as their dialogs were answered";
}

// A report whose dialog the program never got to ask is written all the same when the
// program ends, once, without a comment, saying why it was not mailed.
TEST_F(ErrorHandlerTest, AReportWhoseDialogWasNeverAnsweredIsWrittenOnceAtTheEnd) {
    prefs().mailAddress = "ops@example.org";
    {
        const ClockTick tick(currentRuntime());
        Procedure("frmMain.frm", "Sub tmrMain_Timer").run({{70, [] { platform::raiseError(53); }}});
    }
    writeUnansweredReports();  // as a signal that ends the program does
    const std::string atTheEnd = readFile(scratch / "wlerror.log");
    EXPECT_THAT(atTheEnd, HasSubstr("User Said\r\n              \r\n"
                                    "Not mailed: the program ended before its dialog was answered\r\n"));

    ui.comments = {"too late"};
    showWaitingDialogs(currentRuntime());  // the program went on after all
    EXPECT_EQ(readFile(scratch / "wlerror.log"), atTheEnd) << "not written twice";
}

// Every intercepted error is one journal entry of priority 3, where it happened included.
TEST_F(ErrorHandlerTest, EachInterceptedErrorGoesToTheJournal) {
    const auto entries = testsupport::withPrivateJournal([] { cmdGoClick([] { platform::raiseError(53); }); });
    if (!entries) GTEST_SKIP() << "no private mount namespace here (needs CAP_SYS_ADMIN)";
    ASSERT_EQ(entries->size(), 1u);
    const testsupport::JournalEntry& entry = entries->front();
    EXPECT_EQ(entry.at("PRIORITY"), "3");
    EXPECT_EQ(entry.at("MESSAGE"), "ERROR 53 at frmMain.frm : Sub cmdGo_Click : Line 20 : File not found");
    EXPECT_EQ(entry.at("WARDLINE_ERROR_NUMBER"), "53");
    EXPECT_EQ(entry.at("WARDLINE_PROCEDURE"), "Sub cmdGo_Click");
    EXPECT_EQ(entry.at("WARDLINE_LINE"), "20");
}

TEST_F(ErrorHandlerTest, ErrorBeforeAnyEnterStartsTheRuntimeAndStillCountsAsLocal) {
    freshRuntime();
    try {
        platform::raiseError(13);
    } catch (const platform::RuntimeError& error) {
        platform::currentError() = error.info();
    }

    EXPECT_EQ(wlERROR("frmMain.frm", "Sub Form_Load"), 0);

    EXPECT_TRUE(runtime().runtimeStarted);
    EXPECT_EQ(errorRecord().levels[0].source, "Morrowset (local)");
    EXPECT_EQ(errorRecord().callTreeSnapshot[0], "0");
}

// Deeper than the trace stack reaches, the handler cannot read the code pointer: its own
// failure goes to the internal error handler and the procedure is left.
void nest(int levels, const std::function<void()>& innermost) {
    Procedure("modDeep.bas", "Sub Nest").run({
        {10, [&] { levels > 1 ? nest(levels - 1, innermost) : innermost(); }},
    });
}

TEST_F(ErrorHandlerTest, AFailureInsideTheHandlerGoesToTheInternalErrorHandler) {
    prefs().writeToDisk = -1;
    prefs().errorLogPath = scratch / "error.log";
    bool ranAfterFault = false;

    nest(kMaxTraceLevel, [&] { cmdGoClick([] { platform::raiseError(53); }, &ranAfterFault); });

    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_THAT(ui.boxes[0].text, StartsWith("wlERROR() generated error 9, 'Subscript out of range', inside WARDLINE.BAS"));
    EXPECT_THAT(ui.shown, IsEmpty());
    EXPECT_FALSE(fs::exists(scratch / "error.log")) << "no report after an internal failure";
    EXPECT_FALSE(ranAfterFault);
    EXPECT_FALSE(runtime().busy);
    EXPECT_EQ(traceStack().traceDepth, 0);
}

}  // namespace
}  // namespace wardline::testing
