#include "errortrap/report/mail_report.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "errortrap/core/error_record.h"
#include "errortrap/core/runtime.h"
#include "errortrap/core/skip_on_failure.h"
#include "errortrap/report/error_log.h"
#include "platform/app_object.h"
#include "platform/monitor_link.h"

namespace wardline {
namespace {

constexpr const char* kTemporaryLog = "!error!.log";
constexpr const char* kAttachmentName = "wlerror.log";

// The report travels from a file in the user's private folder (0700, checked): the current
// folder may be one that cannot be written, or hold another user's file or link of that name.
// "" when there is no private folder, with the reason in `whyNot`.
std::string temporaryLogPath(std::string* whyNot = nullptr) {
    const int folder = platform::openMonitorFolder(whyNot);
    if (folder < 0) return {};
    ::close(folder);
    return platform::monitorFolderPath() + "/" + kTemporaryLog;
}

void sayMailOffOnce(const std::string& why) {
    static bool said = false;
    if (!said) std::cerr << "Error reports are not mailed: no private folder (" << why << ")" << std::endl;
    said = true;
}

std::string notMailed(const std::string& why) { return "Not mailed: " + why; }

// The message MailErrorReport sends for the error `runtime` just recorded.
platform::MailMessage errorReportMail(Runtime& runtime) {
    const ErrorLevel& top = runtime.errorRecord().levels[0];
    const std::string& exeName = runtime.platform().app.exeName();
    platform::MailMessage message;
    message.to = runtime.prefs().mailAddress;
    message.subject = "Remote Error Report From " + exeName;
    message.body = "Korvex Wardline reports error " + std::to_string(top.number) + " (" + top.description +
                   ")" + " occured in " + exeName + ". The attached log file has complete details.";
    message.attachmentPath = temporaryLogPath();
    message.attachmentName = kAttachmentName;
    return message;
}

}  // namespace

void noteWhyNotMailed(Runtime& runtime) {
    std::string& note = runtime.errorRecord().mailNote;
    note.clear();
    if (runtime.prefs().mailAddress.empty()) return;
    std::string whyNot;
    if (temporaryLogPath(&whyNot).empty()) {
        sayMailOffOnce(whyNot);
        note = notMailed("no private folder (" + whyNot + ")");
    } else if (runtime.platform().mailTransport().queueFull()) {
        note = notMailed(std::to_string(platform::SendmailTransport::kMaxQueuedMessages) +
                         " reports are waiting for the mail system already");
    }
}

void MailErrorReport(Runtime& runtime) {
    try {
        ErrorRecord& record = runtime.errorRecord();
        if (!record.mailNote.empty()) return;
        const std::string logPath = temporaryLogPath();
        if (logPath.empty()) return;
        // Each mail gets a file of its own: a copy left over from an earlier run (a delete
        // that failed) must not travel again with the new report.
        ::unlink(logPath.c_str());
        const bool written = WriteErrorLogToNewFile(record, logPath);
        const int whyNotWritten = errno;
        platform::MailResult result = platform::MailResult::Failed;
        errno = 0;
        if (written) skipOnFailure([&] { result = runtime.platform().mailTransport().send(errorReportMail(runtime)); });
        const int whyNotSent = errno;
        ::unlink(logPath.c_str());
        if (!written)
            record.mailNote = notMailed(std::string("its copy could not be made (") + std::strerror(whyNotWritten) + ")");
        else if (result == platform::MailResult::QueueFull)
            record.mailNote = notMailed("too many reports are waiting for the mail system");
        else if (result == platform::MailResult::Failed)
            record.mailNote = notMailed(whyNotSent == 0 ? std::string("the message could not be made")
                                                        : std::string("the message could not be made (") +
                                                              std::strerror(whyNotSent) + ")");
    } catch (...) {
    }
}

}  // namespace wardline
