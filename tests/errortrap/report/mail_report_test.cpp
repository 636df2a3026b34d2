// The mailed error report, through a fake sendmail that keeps what it was given.
#include "errortrap/report/mail_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "errortrap/report/error_log.h"
#include "errortrap/trace/procedure.h"
#include "errortrap/wardline.h"
#include "platform/runtime_error.h"
#include "support/error_report_support.h"
#include "support/fake_sendmail.h"

namespace wardline::testing {
namespace {

using morrowset::testing::FakeSendmail;
using morrowset::testing::parseMail;
using ::testing::ElementsAre;

constexpr int32_t kObjectErrorBase = -2147221504;

void failInCmdGo(int32_t number) {
    Procedure("frmMain.frm", "Sub cmdGo_Click").run({{20, [number] {
        platform::ErrorInfo info;
        info.number = number;
        info.source = "Scheduler.Engine";
        platform::raiseError(info);
    }}});
}

class MailReportTest : public ErrorReportTest {
protected:
    void SetUp() override {
        ErrorReportTest::SetUp();
        fs::create_directory(mailFolder);
        prefs().silentRun = -1;
        prefs().writeToDisk = -1;
        prefs().errorLogPath = logPath.string();
        prefs().mailAddress = "ops@example.org";
    }

    // The temporary copy is made in the private folder, never in the current one.
    bool temporaryCopyLeft() const {
        return fs::exists(privateCopy) || fs::exists(fs::symlink_status(scratch / "!error!.log"));
    }
    const fs::path privateCopy = scratch / "run/wardline/!error!.log";

    const fs::path logPath = scratch / "error.log";
    const fs::path mailFolder = scratch / "mail";
};

TEST_F(MailReportTest, MailsTheReportWithASummaryAndCleansUp) {
    const FakeSendmail sendmail(mailFolder);

    failInCmdGo(kObjectErrorBase + 1000);

    ASSERT_TRUE(sendmail.ran());
    EXPECT_THAT(sendmail.arguments(), ElementsAre("-t", "-oi"));
    const auto mail = parseMail(sendmail.message());
    EXPECT_EQ(mail.top.header("To"), "ops@example.org");
    EXPECT_EQ(mail.top.header("Subject"), "Remote Error Report From Morrowset");
    EXPECT_EQ(mail.top.header("MIME-Version"), "1.0");
    ASSERT_EQ(mail.parts.size(), 2u);
    EXPECT_EQ(mail.parts[0].content,
              "Korvex Wardline reports error 1000 (Application-defined or object-defined error : "
              "Application-defined or object-defined error) occured in Morrowset. The attached log file has "
              "complete details.")
        << "the reduced number of an object-error-base error";
    EXPECT_THAT(mail.parts[1].header("Content-Disposition"), ::testing::HasSubstr("filename=\"wlerror.log\""));
    EXPECT_EQ(mail.parts[1].content, errorReportText(errorRecord())) << "the attachment is the report";

    EXPECT_FALSE(temporaryCopyLeft());
    EXPECT_EQ(prefs().errorLogPath, logPath.string());
    EXPECT_EQ(readFile(logPath), errorReportText(errorRecord())) << "the error log gets its own report after the mail";
}

TEST_F(MailReportTest, ACopyLeftOverFromAnEarlierRunIsNotMailedAgain) {
    const FakeSendmail sendmail(mailFolder);
    fs::create_directory(privateCopy.parent_path());
    fs::permissions(privateCopy.parent_path(), fs::perms::owner_all);
    writeFile(privateCopy, "a report from yesterday\r\n");

    failInCmdGo(53);

    const auto mail = parseMail(sendmail.message());
    ASSERT_EQ(mail.parts.size(), 2u);
    EXPECT_EQ(mail.parts[1].content, errorReportText(errorRecord()));
    EXPECT_FALSE(temporaryCopyLeft());
}

// Another user's link of that name in the current folder neither stops the mail nor
// receives the report.
TEST_F(MailReportTest, ALinkNamedLikeTheCopyInTheCurrentFolderIsLeftAlone) {
    const FakeSendmail sendmail(mailFolder);
    writeFile(scratch / "victims-file", "kept\n");
    fs::create_symlink(scratch / "victims-file", scratch / "!error!.log");

    failInCmdGo(53);

    const auto mail = parseMail(sendmail.message());
    ASSERT_EQ(mail.parts.size(), 2u);
    EXPECT_EQ(mail.parts[1].content, errorReportText(errorRecord()));
    EXPECT_EQ(readFile(scratch / "victims-file"), "kept\n");
    EXPECT_TRUE(fs::is_symlink(scratch / "!error!.log"));
    EXPECT_FALSE(fs::exists(privateCopy));
}

TEST_F(MailReportTest, SilentRunWithoutWriteToDiskOnlyMails) {
    const FakeSendmail sendmail(mailFolder);
    prefs().writeToDisk = 0;
    prefs().errorLogPath.clear();

    failInCmdGo(53);

    EXPECT_TRUE(sendmail.ran());
    EXPECT_THAT(ui.shown, ::testing::IsEmpty());
    EXPECT_FALSE(temporaryCopyLeft());
    EXPECT_FALSE(fs::exists(logPath));
    EXPECT_FALSE(fs::exists(scratch / "wlerror.log"));
    EXPECT_EQ(prefs().errorLogPath, "");
}

// An address that would smuggle in headers is refused; an empty one means no mail. Either
// way nothing is sent and the rest of the report goes on.
TEST_F(MailReportTest, AnAddressThatWouldInjectHeadersSendsNothing) {
    const FakeSendmail sendmail(mailFolder);
    const std::vector<std::string> addresses = {"ops@example.org\r\nBcc: everyone@example.org",
                                                "ops@example.org\nBcc: x@example.org", "ops@example.org\r",
                                                std::string("ops@example.org\0x", 17), ""};
    for (const std::string& address : addresses) {
        prefs().mailAddress = address;
        fs::remove(logPath);

        failInCmdGo(53);

        EXPECT_FALSE(sendmail.ran()) << address;
        EXPECT_FALSE(temporaryCopyLeft()) << address;
        EXPECT_EQ(prefs().errorLogPath, logPath.string()) << address;
        EXPECT_EQ(readFile(logPath), errorReportText(errorRecord())) << address;
    }
}

TEST_F(MailReportTest, AFailedOrMissingSendmailIsIgnored) {
    struct Case {
        std::string afterReading;
        std::string program;
    };
    for (const Case& c : {Case{"exit 1", ""}, Case{"kill -9 $$", ""}, Case{"", "/nonexistent/sendmail"}}) {
        const FakeSendmail sendmail(mailFolder, c.afterReading, c.program);
        fs::remove(logPath);
        int16_t action = -1;
        const testsupport::ScopedTrapHandler spy(
            [&](const std::string& m, const std::string& p) { return action = wlERROR(m, p); });

        failInCmdGo(53);

        EXPECT_EQ(action, 0) << c.afterReading << c.program;
        EXPECT_FALSE(temporaryCopyLeft()) << c.afterReading << c.program;
        EXPECT_EQ(prefs().errorLogPath, logPath.string());
        EXPECT_EQ(readFile(logPath), errorReportText(errorRecord()));
        sendmail.clear();
    }
}

}  // namespace
}  // namespace wardline::testing
