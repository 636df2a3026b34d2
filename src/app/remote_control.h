#pragma once
// The running timetable from the command line: `--status`, `--run N` and `--stop N` asked
// of the Morrowset running for this application folder, over its instance socket
// (platform/instance_channel.h), which only the same user reaches.
//
// A request is one line: "status", "run N" or "stop N", N the row from 1 to 6. The answer
// is lines, "out <text>" for standard output and "err <text>" for standard error, and last
// "exit <status>"; then the first instance closes the connection. An answer without its
// exit line was cut off and counts as none.
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace morrowset {

class Scheduler;

namespace remote {

// The exit statuses, as a service manager's start, stop and status give them.
constexpr int kDone = 0;
// Not done: the row is not checked, has no command line or could not start; nothing of it
// is running; or the running Morrowset did not answer. The reason goes to standard error.
constexpr int kRefused = 1;
// No Morrowset runs for this folder (for --run and --stop; --status then reads the files).
constexpr int kNotRunning = 3;

struct Request {
    enum class Kind { Status, Run, Stop };
    Kind kind = Kind::Status;
    int row = 0;  // 0 to 5, for Run and Stop
    bool operator==(const Request&) const = default;
};
std::string requestLine(const Request& request);
// nullopt for anything but the three requests, a row out of 1 to 6 included.
std::optional<Request> parseRequest(std::string_view line);

struct Reply {
    int exitStatus = kDone;
    std::string out;  // for standard output
    std::string err;  // for standard error
    bool operator==(const Reply&) const = default;
};
std::string replyText(const Reply& reply);
// nullopt for an answer cut off before its exit line, or with lines of no known kind.
std::optional<Reply> parseReply(std::string_view text);

// ---- The first instance ----
// The answer to `request`, done on `scheduler` at `now`: --run starts the row as NOW does,
// --stop stops its run as "Stop run" does, --status reports the scheduler as it stands.
Reply answer(Scheduler& scheduler, const Request& request, platform::WallTime now);
// The same for a request line as it came, in the answer's words.
std::string answerLine(Scheduler& scheduler, const std::string& line);

// ---- The asking side ----
struct Asked {
    enum class Outcome { Answered, NotRunning, NoAnswer };
    Outcome outcome = Outcome::NotRunning;
    Reply reply;  // when Answered
};
// Asks the Morrowset holding the instance `instanceName`, waiting a few seconds at most.
Asked ask(const std::string& instanceName, const Request& request);

}  // namespace remote
}  // namespace morrowset
