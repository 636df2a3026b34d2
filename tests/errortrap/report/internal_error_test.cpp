#include "errortrap/report/internal_error.h"

#include <gmock/gmock.h>

#include "errortrap/core/runtime.h"
#include "platform/error_texts.h"
#include "platform/runtime_error.h"
#include "support/recording_ui.h"
#include "support/scoped_runtime.h"

namespace {

using testsupport::RecordingUi;
using wardline::currentRuntime;
using wardline::reportInternalError;

// A fresh runtime whose user interface records the boxes.
class InternalError : public ::testing::Test {
protected:
    void SetUp() override { testRuntime->setUi(&ui); }
    RecordingUi ui;
    testsupport::ScopedRuntime testRuntime;
};

TEST_F(InternalError, ReportsTheProcedureTheNumberAndItsStandardText) {
    reportInternalError(currentRuntime().ui(), 91, "wlERROR()");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text,
              "wlERROR() generated error 91, '" + platform::standardErrorText(91) + "', inside WARDLINE.BAS\r\n");
    EXPECT_EQ(ui.boxes[0].style, wardline::kCritical | wardline::kOkOnly);
    EXPECT_EQ(ui.boxes[0].title, "Wardline - Internal Error Handler");
}

TEST_F(InternalError, AFailingReportFallsBackToAPlainBoxAndNeverRaises) {
    ui.onMessageBox = [&](const RecordingUi::Box&) {
        if (ui.boxes.size() == 1) {
            platform::ErrorInfo failure;
            failure.number = 7;
            failure.line = 30;
            platform::raiseError(failure);
        }
    };
    reportInternalError(currentRuntime().ui(), -5, "wlSTART()");
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].text, "An internal error 7 has occured in module WARDLINE.BAS, proceure pfErr(), line 30");
    EXPECT_EQ(ui.boxes[1].style, wardline::kOkOnly);
    EXPECT_EQ(ui.boxes[1].title, "") << "the application's default title";

    ui.onMessageBox = [](const RecordingUi::Box&) { throw std::runtime_error("no display"); };
    EXPECT_NO_THROW(reportInternalError(currentRuntime().ui(), 5, "wlSTART()"))
        << "a failing second box is not handled further";
}

TEST_F(InternalError, LeavesTheErrorHandlersStateAlone) {
    testRuntime->state().busy = true;
    reportInternalError(currentRuntime().ui(), 13, "wlERROR()");
    EXPECT_TRUE(testRuntime->state().busy);
    EXPECT_EQ(testRuntime->errorRecord().levels[0].number, 0) << "no error was handled";
}

}  // namespace
