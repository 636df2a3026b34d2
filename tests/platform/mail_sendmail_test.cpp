// The mail transport: the MIME message it builds, and the sendmail it hands it to.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fcntl.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "platform/mail_transport.h"
#include "support/fake_sendmail.h"
#include "support/temp_folder.h"

extern char** environ;

namespace platform {
namespace {

namespace fs = std::filesystem;
using morrowset::testing::FakeSendmail;
using morrowset::testing::parseMail;
using ::testing::ElementsAre;

using testsupport::readFile;

MailMessage report(const fs::path& attachment) {
    return {"ops@example.org", "Remote Error Report From Morrowset", "Error 53 occured.", attachment.string(),
            "wlerror.log"};
}

std::string bytesOfEveryValue() {
    std::string bytes;
    for (int round = 0; round < 40; ++round)
        for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    return bytes + "\r\nlast line\r\n";
}

TEST(MailMessageTest, RefusesHeaderFieldsThatWouldStartHeadersOfTheirOwn) {
    const MailMessage good = report("unused");
    std::vector<MailMessage> bad(7, good);
    bad[0].to = "ops@example.org\r\nBcc: everyone@example.org";
    bad[1].to = "ops@example.org\nSubject: free money";
    bad[2].to = std::string("ops@example.org\0Bcc", 19);
    bad[3].to = "";
    bad[4].subject = "Report\r\nBcc: x@example.org";
    bad[5].attachmentName = "wlerror.log\r\nContent-Type: text/html";
    bad[6].to = "ops@example.org\x7f";

    EXPECT_TRUE(composeMimeMessage(good, "report").has_value());
    for (const MailMessage& message : bad)
        EXPECT_FALSE(composeMimeMessage(message, "report").has_value()) << message.to << message.subject;
}

TEST(MailMessageTest, CarriesSubjectBodyAndAttachmentIntact) {
    struct Case {
        std::string subject;
        std::string body;
        std::string attachment;
    };
    const Case cases[] = {
        {"Remote Error Report From Morrowset", "Error 53 occured.", "plain report\r\n"},
        {"Remote Error Report From Mörrowset", "Fehler in Mörrowset.", bytesOfEveryValue()},
        {"Remote Error Report From Morrowset", std::string(2000, 'x') + "\nshort line", ""},
    };
    for (const Case& c : cases) {
        MailMessage message = report("unused");
        message.subject = c.subject;
        message.body = c.body;
        const std::optional<std::string> text = composeMimeMessage(message, c.attachment);
        ASSERT_TRUE(text);

        const auto mail = parseMail(*text);
        const std::string subject = mail.top.header("Subject");
        if (subject.rfind("=?UTF-8?B?", 0) == 0)
            EXPECT_EQ(QByteArray::fromBase64(QByteArray::fromStdString(subject.substr(10, subject.size() - 12)))
                          .toStdString(),
                      c.subject);
        else
            EXPECT_EQ(subject, c.subject);
        ASSERT_EQ(mail.parts.size(), 2u);
        EXPECT_EQ(mail.parts[0].content, c.body);
        EXPECT_EQ(mail.parts[1].content, c.attachment);
        std::istringstream lines(*text);
        for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 998u);
    }
}

TEST(SendmailTransportTest, HandsTheMessageToSendmailAsNamedBySENDMAIL) {
    testsupport::TempFolder scratch;
    const fs::path attachment = scratch / "!error!.log";
    std::ofstream(attachment) << "the report\r\n";
    {
        const FakeSendmail sendmail(scratch.path());
        EXPECT_EQ(SendmailTransport::programPath(), scratch / "sendmail");

        EXPECT_EQ(SendmailTransport().send(report(attachment)), MailResult::Sent);

        EXPECT_THAT(sendmail.arguments(), ElementsAre("-t", "-oi"));
        const auto mail = parseMail(sendmail.message());
        EXPECT_EQ(mail.top.header("To"), "ops@example.org");
        ASSERT_EQ(mail.parts.size(), 2u);
        EXPECT_EQ(mail.parts[1].content, "the report\r\n");
    }
    ::unsetenv("SENDMAIL");
    EXPECT_EQ(SendmailTransport::programPath(), "/usr/sbin/sendmail");
}

TEST(SendmailTransportTest, ReportsWhatKeptTheMessageFromGoingOut) {
    testsupport::TempFolder scratch;
    const fs::path attachment = scratch / "!error!.log";
    std::ofstream(attachment) << "the report\r\n";
    MailMessage injecting = report(attachment);
    injecting.to += "\r\nBcc: everyone@example.org";
    struct Case {
        std::string afterReading;
        std::string program;
        MailMessage message;
        MailResult result;   // what send() says
        MailResult outcome;  // how sendmail fared, when it was tried
        bool sendmailRuns;
    };
    const Case cases[] = {
        {"", "", report(attachment), MailResult::Sent, MailResult::Sent, true},
        {"exit 75", "", report(attachment), MailResult::Sent, MailResult::Failed, true},
        {"", "/nonexistent/sendmail", report(attachment), MailResult::Sent, MailResult::Failed, false},
        {"", "", report(scratch / "missing.log"), MailResult::Failed, MailResult::Failed, false},
        {"", "", injecting, MailResult::Refused, MailResult::Refused, false},
    };
    for (const Case& c : cases) {
        const FakeSendmail sendmail(scratch.path(), c.afterReading, c.program);
        EXPECT_EQ(SendmailTransport().send(c.message), c.result) << c.afterReading << c.program;
        EXPECT_EQ(sendmail.ran(), c.sendmailRuns) << c.afterReading << c.program;
        if (c.result == MailResult::Sent) {
            EXPECT_EQ(SendmailTransport::lastOutcome(), c.outcome) << c.afterReading << c.program;
        }
        sendmail.clear();
    }
}

// Sending never waits for sendmail. A sendmail that never returns is stopped by the time
// limit, and the messages sent meanwhile go to sendmail after it, in the order sent.
TEST(SendmailTransportTest, AHungSendmailHoldsNeitherTheSenderNorTheMessagesAfterIt) {
    testsupport::TempFolder scratch;
    const fs::path attachment = scratch / "big.log";
    std::ofstream(attachment) << std::string(2 << 20, 'r');  // far more than a pipe holds
    const fs::path script = scratch / "odd-sendmail";
    const fs::path log = scratch / "log";
    // The first message hangs sendmail after it has read it; the later ones go through.
    std::ofstream(script) << "#!/bin/sh\n"
                          << "subject=$(grep '^Subject:' | head -n 1)\n"
                          << "echo \"$subject\" >> '" << log.string() << "'\n"
                          << "case \"$subject\" in *first*) exec sleep 1000;; esac\n";
    fs::permissions(script, fs::perms::owner_all);
    ::setenv("SENDMAIL", script.c_str(), 1);
    SendmailTransport transport(std::chrono::seconds(3));
    for (const char* subject : {"first", "second", "third"}) {
        MailMessage message = report(attachment);
        message.subject = subject;
        EXPECT_EQ(transport.send(message), MailResult::Sent) << subject;
    }
    EXPECT_FALSE(fs::exists(log) && readFile(log).find("second") != std::string::npos)
        << "the senders did not wait: the second message is still queued behind the hung first";
    ASSERT_TRUE(SendmailTransport::waitUntilIdle(std::chrono::seconds(60)));
    EXPECT_EQ(readFile(log), "Subject: first\nSubject: second\nSubject: third\n");
    ::unsetenv("SENDMAIL");
}

bool processGone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t end = text.rfind(')');
    return text.empty() || (end != std::string::npos && end + 2 < text.size() && text[end + 2] == 'Z');
}

std::size_t openDescriptors() {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// A sendmail runs in a process group of its own, with no file of ours but standard output
// and error besides its input, and every signal at its default; a hung one is stopped with
// everything it started.
TEST(SendmailTransportTest, AHungSendmailIsStoppedWithAllItStartedAndHadNothingOfOurs) {
    testsupport::TempFolder scratch;
    const fs::path attachment = scratch / "!error!.log";
    std::ofstream(attachment) << "the report\r\n";
    int ours[2];
    ASSERT_EQ(::pipe(ours), 0);  // without close-on-exec
    const fs::path script = scratch / "hanging-sendmail";
    const fs::path seen = scratch / "seen";
    std::ofstream(script) << "#!/bin/sh\n"
                          << "cat > /dev/null\n"
                          << "sleep 1000 &\n"
                          << "{ echo $!; echo $$ $(cut -d' ' -f5 /proc/$$/stat);"
                          << "  for fd in " << ours[0] << " " << ours[1] << "; do [ -e /proc/$$/fd/$fd ] && echo \"has $fd\"; done;"
                          << "  grep '^SigIgn' /proc/$$/status; } > '" << seen.string() << ".tmp'\n"
                          << "mv '" << seen.string() << ".tmp' '" << seen.string() << "'\n"
                          << "exec sleep 1000\n";
    fs::permissions(script, fs::perms::owner_all);
    const testsupport::ScopedEnv sendmail("SENDMAIL", script.string());
    const auto ignoredBefore = ::signal(SIGXFSZ, SIG_IGN);
    EXPECT_EQ(SendmailTransport(std::chrono::milliseconds(1500)).send(report(attachment)), MailResult::Sent);
    ::signal(SIGXFSZ, ignoredBefore);
    ASSERT_TRUE(SendmailTransport::waitUntilIdle(std::chrono::seconds(60)));
    ::close(ours[0]);
    ::close(ours[1]);

    std::istringstream lines(readFile(seen));
    pid_t background = 0, shell = 0, group = 0;
    std::string sigIgn, mask;
    lines >> background >> shell >> group >> sigIgn >> mask;
    EXPECT_EQ(group, shell) << "leads a process group of its own";
    EXPECT_EQ(sigIgn, "SigIgn:") << "sendmail had a file of ours: " << readFile(seen);
    EXPECT_EQ(mask, "0000000000000000") << "signals ignored in sendmail";
    bool gone = false;
    for (int i = 0; i < 500 && !(gone = processGone(background)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(gone) << "sendmail's own child " << background << " outlived the stop";
    if (!gone) ::kill(background, SIGKILL);
}

// The processes of `group` that still run (a zombie has ended and waits only to be reaped).
std::size_t runningMembers(pid_t group) {
    std::size_t running = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const std::size_t end = text.rfind(')');
        if (end == std::string::npos) continue;
        std::istringstream fields(text.substr(end + 2));
        char state = 0;
        pid_t parent = 0, processGroup = 0;
        if (fields >> state >> parent >> processGroup && processGroup == group && state != 'Z') ++running;
    }
    return running;
}

// Runs the mail_at_end_child program to its end (at most a minute) with its output going
// nowhere, so that a sendmail left behind cannot hold a pipe of ours; its exit status.
int runMailAtEndChild(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    std::string program = MAIL_AT_END_CHILD;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int failed = ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return -1;
    int status = 0;
    for (int i = 0; i < 6000; ++i) {
        if (::waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return -1;
}

// A sendmail still running when the program ends is stopped with everything it started,
// whether the program returns from main or ends at once, and whether that sendmail obeys
// SIGTERM or not.
TEST(SendmailTransportTest, ASendmailStillRunningWhenTheProgramEndsEndsWithIt) {
    for (const char* end : {"return", "end-program"}) {
        for (const char* onTerm : {"", "trap '' TERM"}) {
            const std::string what = std::string(end) + ", sendmail with \"" + onTerm + "\"";
            testsupport::TempFolder scratch;
            const testsupport::ScopedEnv runtimeDir("XDG_RUNTIME_DIR", scratch.path());
            const fs::path attachment = scratch / "!error!.log";
            std::ofstream(attachment) << "the report\r\n";
            const fs::path ready = scratch / "group";
            const FakeSendmail sendmail(scratch.path(), std::string(onTerm) + "\nsleep 1000 &\n" +
                                                            "echo $$ > '" + ready.string() + ".tmp'\n" +
                                                            "mv '" + ready.string() + ".tmp' '" + ready.string() +
                                                            "'\nexec sleep 1000");
            EXPECT_EQ(runMailAtEndChild({end, attachment.string(), ready.string()}), 0) << what;

            pid_t group = 0;
            std::ifstream(ready) >> group;
            ASSERT_GT(group, 0) << what << ": sendmail never ran";
            bool stopped = false;
            for (int i = 0; i < 1000 && !(stopped = runningMembers(group) == 0); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            EXPECT_TRUE(stopped) << what << ": " << runningMembers(group) << " processes of sendmail's group outlived the program";
            ::kill(-group, SIGKILL);
        }
    }
}

// With a sendmail that never returns, the queue holds at most kMaxQueuedMessages messages
// and each of them as a file, not an open descriptor; beyond that a message is refused.
TEST(SendmailTransportTest, TheQueueIsCappedAndHoldsNoOpenFiles) {
    testsupport::TempFolder scratch;
    const testsupport::ScopedEnv runtimeDir("XDG_RUNTIME_DIR", scratch.path());
    const fs::path attachment = scratch / "!error!.log";
    std::ofstream(attachment) << "the report\r\n";
    const fs::path script = scratch / "hanging-sendmail";
    std::ofstream(script) << "#!/bin/sh\nexec sleep 1000\n";
    fs::permissions(script, fs::perms::owner_all);
    const testsupport::ScopedEnv sendmail("SENDMAIL", script.string());
    SendmailTransport transport(std::chrono::seconds(4));
    const std::size_t descriptorsBefore = openDescriptors();
    std::size_t queued = 0;
    std::size_t refused = 0;
    for (int n = 0; n < 120; ++n) {
        const MailResult result = transport.send(report(attachment));
        if (result == MailResult::Sent) ++queued;
        if (result == MailResult::QueueFull) ++refused;
    }
    // The first goes to the hung sendmail; the next ones wait, up to the cap.
    EXPECT_LE(queued, SendmailTransport::kMaxQueuedMessages + 1);
    EXPECT_GE(queued, SendmailTransport::kMaxQueuedMessages);
    EXPECT_EQ(queued + refused, 120u);
    EXPECT_TRUE(transport.queueFull());
    EXPECT_LE(openDescriptors(), descriptorsBefore + 2) << "queued messages hold open files";
    std::size_t waiting = 0;
    for (const auto& entry : fs::directory_iterator(scratch / "wardline"))
        if (entry.path().filename().string().starts_with("wardline-mail-")) ++waiting;
    EXPECT_EQ(waiting, SendmailTransport::kMaxQueuedMessages) << "each waiting message is a file in the private folder";

    // The mail system comes back: what waits goes out, and its files go with it. The new
    // sendmail is renamed over the old one: opening the old one for writing while the
    // transport starts it fails with ETXTBSY, and every message would then wait out its
    // timeout.
    const fs::path quick = scratch / "quick-sendmail";
    std::ofstream(quick) << "#!/bin/sh\ncat > /dev/null\n";
    fs::permissions(quick, fs::perms::owner_all);
    fs::rename(quick, script);
    ASSERT_TRUE(SendmailTransport::waitUntilIdle(std::chrono::seconds(180))) << "51 quick sendmails on a busy machine";
    EXPECT_EQ(SendmailTransport::lastOutcome(), MailResult::Sent);
    EXPECT_TRUE(fs::is_empty(scratch / "wardline"));
}

}  // namespace
}  // namespace platform
