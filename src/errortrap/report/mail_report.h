#pragma once
// The mailed error report: when the preferences name a mail address, every intercepted
// error is also mailed there with its report attached.
#include <string>

#include "platform/mail_transport.h"

namespace wardline {

class Runtime;

// Writes the report of the error `runtime` just recorded into a fresh temporary
// "!error!.log" (made exclusively, 0600) in the user's private folder (see monitor_link.h),
// mails it as "wlerror.log" to mailAddress with a one-line summary, and deletes the
// temporary file. Without a private folder nothing is mailed. A failed or refused send is
// not reported. The preferences are only read.
void MailErrorReport(Runtime& runtime);

// The message MailErrorReport sends for the error `runtime` just recorded.
platform::MailMessage errorReportMail(Runtime& runtime);

}  // namespace wardline
