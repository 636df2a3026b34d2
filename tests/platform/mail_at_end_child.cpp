// A program that mails one report through $SENDMAIL, waits until that sendmail has written
// the file named by its third argument, and then ends the way its first argument names:
//   return       returns from main
//   end-program  platform::endProgram
// Usage: mail_at_end_child <return|end-program> <attachment> <ready-file>
#include <unistd.h>

#include <chrono>
#include <string_view>
#include <thread>

#include "platform/mail_transport.h"
#include "platform/program_end.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const platform::MailMessage report{"ops@example.org", "Remote Error Report From Morrowset", "Error 53.",
                                       argv[2], "wlerror.log"};
    if (platform::SendmailTransport().send(report) != platform::MailResult::Sent) return 3;
    for (int i = 0; i < 3000 && ::access(argv[3], F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (std::string_view(argv[1]) == "end-program") platform::endProgram(0);
    return 0;
}
