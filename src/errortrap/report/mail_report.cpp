#include "errortrap/report/mail_report.h"

#include <unistd.h>

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
// "" when there is no private folder.
std::string temporaryLogPath() {
    const int folder = platform::openMonitorFolder();
    if (folder < 0) return {};
    ::close(folder);
    return platform::monitorFolderPath() + "/" + kTemporaryLog;
}

}  // namespace

platform::MailMessage errorReportMail(Runtime& runtime) {
    const ErrorLevel& top = runtime.errorRecord().levels[0];
    const std::string& exeName = platform::app().exeName();
    platform::MailMessage message;
    message.to = runtime.prefs().mailAddress;
    message.subject = "Remote Error Report From " + exeName;
    message.body = "Korvex Wardline reports error " + std::to_string(top.number) + " (" + top.description +
                   ")" + " occured in " + exeName + ". The attached log file has complete details.";
    message.attachmentPath = temporaryLogPath();
    message.attachmentName = kAttachmentName;
    return message;
}

void MailErrorReport(Runtime& runtime) {
    try {
        const std::string logPath = temporaryLogPath();
        if (logPath.empty()) return;
        // Each mail gets a file of its own: a copy left over from an earlier run (a delete
        // that failed) must not travel again with the new report.
        ::unlink(logPath.c_str());
        const bool written = WriteErrorLogToNewFile(runtime.errorRecord(), logPath);
        if (written) skipOnFailure([&] { platform::mailTransport().send(errorReportMail(runtime)); });
        ::unlink(logPath.c_str());
    } catch (...) {
    }
}

}  // namespace wardline
