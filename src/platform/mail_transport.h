#pragma once
// Mail with one attached file: the platform's simple mail service. A transport takes one
// message (one recipient, a subject, a body and one file to attach) and hands it on.
//
// The sendmail transport gives it to the system's sendmail interface, the standard way
// Unix programs send mail: the program named by the environment variable SENDMAIL, else
// /usr/sbin/sendmail, run as `sendmail -t -oi` with a MIME message on its standard input
// (recipients from the To: header; a line holding a single "." does not end the input).
// The attachment travels base64-encoded under the name the recipient sees.
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace platform {

struct MailMessage {
    std::string to;
    std::string subject;
    std::string body;
    std::string attachmentPath;  // the file whose bytes are attached
    std::string attachmentName;  // the name the recipient sees
};

enum class MailResult {
    Sent,     // handed to the mail system
    Refused,  // a header field would inject headers (a line break in the address, ...): nothing sent
    Failed,   // the attachment could not be read, or the mail system is missing, failed or hung
    QueueFull,  // too many messages wait for the mail system already: nothing sent
};

class MailTransport {
public:
    virtual ~MailTransport() = default;
    virtual MailResult send(const MailMessage& message) = 0;
    // True when a message sent now would not be taken, for too many are waiting.
    virtual bool queueFull() const { return false; }
};

// Never waits for sendmail: send() writes the whole message to a file of its own (in the
// user's private folder, see monitor_link.h) and queues its name; one background thread
// hands the queued messages to sendmail in the order they were sent, each with its file as
// standard input, and stops a sendmail (with everything it started) that has not finished
// within the time limit. A hung mail system delays only later mail, and at most
// kMaxQueuedMessages wait: a queued message holds a file on the disk, no open descriptor.
// Sendmail starts in a process group of its own, with only our standard output and error
// besides its input, every signal at its default and none blocked. When the program ends
// (exit(), a return from main, or quick_exit() as platform::endProgram does) a sendmail
// still running gets SIGTERM with its group, and SIGKILL a moment later if any of it is left;
// no further one starts.
class SendmailTransport : public MailTransport {
public:
    static constexpr std::size_t kMaxQueuedMessages = 50;

    explicit SendmailTransport(std::chrono::milliseconds timeLimit = std::chrono::seconds(30));
    // Sent: queued for sendmail. Refused, QueueFull or Failed (the attachment or the
    // message file could not be made): nothing queued.
    MailResult send(const MailMessage& message) override;
    bool queueFull() const override;

    // $SENDMAIL when set and not empty, else /usr/sbin/sendmail (read when a message is sent).
    static std::string programPath();

    // Waits until every queued message has been through sendmail; false when `limit`
    // passed first. For tests and for a program that wants its mail out before it ends.
    static bool waitUntilIdle(std::chrono::milliseconds limit);
    // How the last message through sendmail fared: Sent when sendmail took it and exited
    // with 0, Failed when it was missing, failed or was stopped.
    static MailResult lastOutcome();

private:
    std::chrono::milliseconds timeLimit_;
};

// Sends nothing; every message counts as sent.
class NullTransport : public MailTransport {
public:
    MailResult send(const MailMessage&) override { return MailResult::Sent; }
};

// The MIME text of `message` with `attachment` as the attached file's bytes, lines ended
// by LF as sendmail takes them; nothing when a header field holds a control character
// (a line break would start a header of its own) or the address is empty.
std::optional<std::string> composeMimeMessage(const MailMessage& message, const std::string& attachment);


}  // namespace platform
