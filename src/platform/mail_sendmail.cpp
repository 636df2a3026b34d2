#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <iterator>
#include <limits>
#include <mutex>
#include <random>
#include <sstream>
#include <string_view>
#include <thread>

#include "platform/file_io.h"
#include "platform/mail_transport.h"
#include "platform/monitor_link.h"
#include "platform/process_start.h"
#include "platform/services.h"

extern char** environ;

namespace platform {
namespace {

constexpr const char* kDefaultSendmail = "/usr/sbin/sendmail";

constexpr std::size_t kBase64LineLength = 76;  // the longest line MIME allows for base64
constexpr std::size_t kLongestMailLine = 998;

bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// A header value with a control character could end its header line and start another.
bool safeHeaderValue(std::string_view value) {
    return std::none_of(value.begin(), value.end(), [](unsigned char c) { return isControl(c); });
}

bool headersSafe(const MailMessage& message) {
    return !message.to.empty() && safeHeaderValue(message.to) && safeHeaderValue(message.subject) &&
           safeHeaderValue(message.attachmentName);
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x80; });
}

std::string base64(std::string_view bytes) {
    const QByteArray encoded = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64();
    return encoded.toStdString();
}

std::string wrappedBase64(std::string_view bytes) {
    const std::string encoded = base64(bytes);
    std::string lines;
    for (std::size_t at = 0; at < encoded.size(); at += kBase64LineLength)
        lines.append(encoded, at, kBase64LineLength).append("\n");
    return lines;
}

// A subject with characters beyond ASCII travels as a MIME encoded word.
std::string subjectHeader(const std::string& subject) {
    return isAscii(subject) ? subject : "=?UTF-8?B?" + base64(subject) + "?=";
}

std::string quotedParameter(const std::string& value) {
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// Plain ASCII text with short lines goes as it is; anything else base64-encoded.
bool bodyNeedsEncoding(const std::string& body) {
    if (!isAscii(body)) return true;
    std::istringstream lines(body);
    std::string line;
    while (std::getline(lines, line))
        if (line.size() > kLongestMailLine || std::any_of(line.begin(), line.end(), [](unsigned char c) {
                return isControl(c) && c != '\t' && c != '\r';
            }))
            return true;
    return false;
}

std::string newBoundary() {
    std::random_device random;
    std::ostringstream boundary;
    boundary << "=_wardline_" << std::hex << random() << random();
    return boundary.str();
}

std::string bodyPart(const std::string& body) {
    if (bodyNeedsEncoding(body))
        return "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: base64\n\n" +
               wrappedBase64(body);
    return "Content-Type: text/plain; charset=US-ASCII\nContent-Transfer-Encoding: 7bit\n\n" + body + "\n";
}

std::string attachmentPart(const std::string& name, const std::string& bytes) {
    return "Content-Type: application/octet-stream; name=" + quotedParameter(name) +
           "\nContent-Disposition: attachment; filename=" + quotedParameter(name) +
           "\nContent-Transfer-Encoding: base64\n\n" + wrappedBase64(bytes);
}

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) return std::nullopt;
    return bytes;
}

using Clock = std::chrono::steady_clock;

// Waits until the child ends, at most until the deadline; one still running then is
// stopped with everything it started (its process group). The child is left to be reaped:
// until then its process id, and with it its group's, cannot be taken by another process.
void awaitEnd(pid_t child, Clock::time_point deadline) {
    for (;;) {
        siginfo_t info{};
        const int waited = ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT);
        if (waited == 0 && info.si_pid == child) return;
        if (waited < 0 && errno != EINTR) return;
        if (Clock::now() >= deadline) {
            ::kill(-child, SIGKILL);
            ::kill(child, SIGKILL);
            while (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
            }
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Reaps the ended child. True when it exited with 0.
bool exitedCleanly(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Stops a process group: SIGTERM, and SIGKILL to whatever is left of it after `grace`.
void stopGroup(pid_t group, std::chrono::milliseconds grace) {
    if (::kill(-group, SIGTERM) != 0) return;
    const Clock::time_point deadline = Clock::now() + grace;
    while (Clock::now() < deadline) {
        if (::kill(-group, 0) != 0) return;  // gone (or out of our reach)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(-group, SIGKILL);
}

// Starts `program -t -oi` with `input` as its standard input, in a process group of its
// own (so that a hung one can be stopped with all it started), with no other file of ours
// than standard output and error, every signal at its default and none blocked, whatever
// this program does with them.
bool spawnSendmail(const std::string& program, int input, pid_t& child) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &everySignal());
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    std::string name = program;
    std::string t = "-t";
    std::string oi = "-oi";
    std::array<char*, 4> argv{name.data(), t.data(), oi.data(), nullptr};
    const int failed = ::posix_spawnp(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0;
}

// The whole message in a new file of the user's only, for sendmail to read as its standard
// input: in the user's private folder, else in $TMPDIR or /tmp. Its path; empty when it
// cannot be made (errno says why).
std::string messageFile(std::string_view text) {
    std::string folder;
    const int privateFolder = openMonitorFolder();
    if (privateFolder >= 0) {
        ::close(privateFolder);
        folder = monitorFolderPath();
    } else {
        const char* chosen = std::getenv("TMPDIR");
        folder = chosen && *chosen ? chosen : "/tmp";
    }
    std::string path = folder + "/wardline-mail-XXXXXX";
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);  // made exclusively, 0600
    if (fd < 0) return {};
    const bool written = writeAll(fd, text);
    const int savedErrno = errno;
    ::close(fd);
    if (!written) {
        ::unlink(path.c_str());
        errno = savedErrno;
        return {};
    }
    return path;
}

class MailQueue;
MailQueue& mailQueue();

// The messages waiting for sendmail, and the one thread that hands them over in order.
// It lives until the process ends (never destroyed, so ending the program never waits for
// a hung sendmail); when the program ends, the sendmail still running is stopped.
class MailQueue {
public:
    struct Job {
        std::string path;  // the message file: a queued message holds no open file
        std::string program;
        std::chrono::milliseconds timeLimit;
    };

    // How long a sendmail still running when the program ends has after SIGTERM.
    static constexpr std::chrono::milliseconds kGraceAtEnd{200};

    // False when kMaxQueuedMessages wait already: the job is not taken.
    bool push(Job job) {
        const std::lock_guard lock(mutex_);
        if (jobs_.size() >= SendmailTransport::kMaxQueuedMessages) return false;
        jobs_.push_back(std::move(job));
        if (!started_) {
            std::atexit(stopAtProgramEnd);
            std::at_quick_exit(stopAtProgramEnd);
            std::thread(&MailQueue::run, this).detach();
            started_ = true;
        }
        changed_.notify_all();
        return true;
    }

    bool full() {
        const std::lock_guard lock(mutex_);
        return jobs_.size() >= SendmailTransport::kMaxQueuedMessages;
    }

    bool waitUntilIdle(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return jobs_.empty() && !busy_; });
    }

    MailResult lastOutcome() {
        const std::lock_guard lock(mutex_);
        return last_;
    }

private:
    // Run by exit() (a return from main) and quick_exit() (platform::endProgram): the
    // sendmail still running is stopped with everything it started, and none starts after.
    static void stopAtProgramEnd() {
        MailQueue& queue = mailQueue();
        pid_t group = 0;
        {
            const std::lock_guard lock(queue.groupMutex_);
            queue.ending_ = true;
            group = queue.running_;
        }
        if (group > 0) stopGroup(group, kGraceAtEnd);
    }

    void run() {
        sigset_t all;
        sigfillset(&all);
        ::pthread_sigmask(SIG_BLOCK, &all, nullptr);  // signals are the user-interface thread's
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return !jobs_.empty(); });
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            busy_ = true;
            lock.unlock();
            const MailResult outcome = deliver(job);
            lock.lock();
            last_ = outcome;
            busy_ = false;
            changed_.notify_all();
        }
    }

    // Hands the message in the job's file to sendmail and waits for it, at most the job's
    // time limit. The file is gone afterwards.
    MailResult deliver(const Job& job) {
        const Clock::time_point deadline = Clock::now() + job.timeLimit;
        const int input = ::open(job.path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        ::unlink(job.path.c_str());
        if (input < 0) return MailResult::Failed;
        const pid_t child = start(job.program, input);
        ::close(input);
        if (child <= 0) return MailResult::Failed;
        awaitEnd(child, deadline);
        {
            const std::lock_guard lock(groupMutex_);
            running_ = 0;
        }
        return exitedCleanly(child) ? MailResult::Sent : MailResult::Failed;
    }

    // Starts sendmail unless the program is ending; its process id (and group), or 0.
    pid_t start(const std::string& program, int input) {
        const std::lock_guard lock(groupMutex_);
        pid_t child = 0;
        if (ending_ || !spawnSendmail(program, input, child)) return 0;
        running_ = child;
        return child;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    bool busy_ = false;
    bool started_ = false;
    MailResult last_ = MailResult::Sent;

    // Between the mail thread starting a sendmail and the end of the program stopping it.
    std::mutex groupMutex_;
    pid_t running_ = 0;  // the sendmail running now (its group's id too), 0 when none
    bool ending_ = false;
};

MailQueue& mailQueue() {
    static MailQueue* const queue = new MailQueue;
    return *queue;
}

}  // namespace

std::optional<std::string> composeMimeMessage(const MailMessage& message, const std::string& attachment) {
    if (!headersSafe(message)) return std::nullopt;
    std::string boundary = newBoundary();
    while (message.body.find(boundary) != std::string::npos) boundary = newBoundary();

    std::string text;
    text += "To: " + message.to + "\n";
    text += "Subject: " + subjectHeader(message.subject) + "\n";
    text += "MIME-Version: 1.0\n";
    text += "Content-Type: multipart/mixed; boundary=" + quotedParameter(boundary) + "\n\n";
    text += "--" + boundary + "\n" + bodyPart(message.body);
    text += "--" + boundary + "\n" + attachmentPart(message.attachmentName, attachment);
    text += "--" + boundary + "--\n";
    return text;
}

SendmailTransport::SendmailTransport(std::chrono::milliseconds timeLimit) : timeLimit_(timeLimit) {}

std::string SendmailTransport::programPath() {
    const char* chosen = std::getenv("SENDMAIL");
    return chosen && *chosen ? chosen : kDefaultSendmail;
}

MailResult SendmailTransport::send(const MailMessage& message) {
    if (!headersSafe(message)) return MailResult::Refused;
    const std::optional<std::string> attachment = readWholeFile(message.attachmentPath);
    if (!attachment) return MailResult::Failed;
    const std::optional<std::string> text = composeMimeMessage(message, *attachment);
    if (!text) return MailResult::Refused;
    if (mailQueue().full()) return MailResult::QueueFull;
    std::string path = messageFile(*text);
    if (path.empty()) return MailResult::Failed;
    if (!mailQueue().push({path, programPath(), timeLimit_})) {
        ::unlink(path.c_str());
        return MailResult::QueueFull;
    }
    return MailResult::Sent;
}

bool SendmailTransport::queueFull() const { return mailQueue().full(); }

bool SendmailTransport::waitUntilIdle(std::chrono::milliseconds limit) { return mailQueue().waitUntilIdle(limit); }

MailResult SendmailTransport::lastOutcome() { return mailQueue().lastOutcome(); }

MailTransport& Services::mailTransport() const {
    static SendmailTransport sendmail;
    return mail ? *mail : sendmail;
}

}  // namespace platform
