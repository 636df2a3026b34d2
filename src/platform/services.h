#pragma once
// The operating-system services one program works with, in one place: who the program is,
// where it lives, the wall clock, mail, starting programs, the registry store, where the memory
// figures are read, who traces the process, where print jobs go, the system journal, and the
// current error. The error-trap runtime
// owns one set; the set in use is the current runtime's. A test makes a runtime of its own
// and puts its fakes into that runtime's set.
//
// The platform's free functions (app(), localNow(), regOpenKeyEx(), launchProcess(),
// currentError(), ...) work on the set in use; code that holds a runtime reaches its set
// directly (runtime.platform()).
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/app_identity.h"
#include "platform/app_object.h"
#include "platform/clock.h"
#include "platform/journal.h"
#include "platform/mail_transport.h"
#include "platform/registry.h"
#include "platform/runtime_error.h"

namespace platform {

// Starts a command line; returns the new process's id (see process_start.h).
using ProcessStarter = std::function<int(std::string_view commandLine)>;

struct Services {
    AppIdentity identity;                   // who the program is: its main says (app_identity.h)
    AppObject app;                          // the running executable unless a test says otherwise
    const TimeSource* clock = nullptr;      // nullptr: the system clock
    MailTransport* mail = nullptr;          // nullptr: the sendmail transport
    ProcessStarter processStarter;          // empty: startProcess
    RegistryStore registry;                 // filled from PATH when first used
    std::string memoryStatusRoot = "/proc"; // the folder holding "meminfo"
    std::optional<std::string> tracerName;  // nullopt: the tracer /proc names
    std::string printToPdfFile;             // "": the default printer; else jobs go to this PDF
    std::string journalSocket = journal::kSocketPath;  // where the journal's entries go
    ErrorInfo currentError;                 // the program's current error

    // The clock and the mail transport, with the defaults put in where none is given.
    const TimeSource& timeSource() const;
    MailTransport& mailTransport() const;
    // The journal, made at the first call with the identity and the socket given then.
    journal::Journal& journal();

private:
    std::unique_ptr<journal::Journal> journal_;
};

// The set in use: the one `lookup` (below) finds. The process keeps no "current set" of its
// own: the error-trap runtime says once, before main runs, how the current runtime's set is
// found. A program without that runtime works with a set the process makes at the first call.
Services& services();
// Sets how the set in use is found; returns the lookup it replaces (nullptr for none).
using ServicesLookup = Services& (*)();
ServicesLookup findServicesWith(ServicesLookup lookup);

}  // namespace platform
