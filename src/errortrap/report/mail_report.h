#pragma once
// The mailed error report: when the preferences name a mail address, every intercepted
// error is also mailed there with its report attached.
#include <string>

#include "platform/mail_transport.h"

namespace wardline {

class Runtime;

// Sets the record's mailNote: why the error `runtime` just recorded will not be mailed
// although an address is set (no private folder, too many reports waiting for the mail
// system), or empty. Without a private folder it also says so on standard error, once.
void noteWhyNotMailed(Runtime& runtime);

// Writes the report of the error `runtime` just recorded into a fresh temporary
// "!error!.log" (made exclusively, 0600) in the user's private folder (see monitor_link.h),
// mails it as "wlerror.log" to mailAddress with a one-line summary, and deletes the
// temporary file. Nothing is mailed when the record's mailNote says why not; a copy or
// message that cannot be made (no descriptor left, a full disk) sets the note. A failed
// send is not reported. The preferences are only read.
void MailErrorReport(Runtime& runtime);

}  // namespace wardline
