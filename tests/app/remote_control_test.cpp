// The words of --status, --run and --stop between a later process and the running one.
#include "app/remote_control.h"

#include <gmock/gmock.h>

namespace morrowset::remote {
namespace {

using Kind = Request::Kind;

TEST(RemoteControl, RequestLinesAreTheThreeRequestsWithARowFrom1To6) {
    const std::pair<const char*, std::optional<Request>> cases[] = {
        {"status", Request{Kind::Status, 0}},
        {"run 1", Request{Kind::Run, 0}},
        {"stop 6", Request{Kind::Stop, 5}},
        {"run 3\r", Request{Kind::Run, 2}},  // from a terminal that ends lines with CR LF
        {"", std::nullopt},
        {"status 1", std::nullopt},
        {"run", std::nullopt},
        {"run ", std::nullopt},
        {"run 0", std::nullopt},
        {"run 7", std::nullopt},
        {"run 10", std::nullopt},
        {"run -1", std::nullopt},
        {"run  1", std::nullopt},
        {"run 1 2", std::nullopt},
        {"RUN 1", std::nullopt},
        {"runs 1", std::nullopt},
        {"halt 1", std::nullopt},
    };
    for (const auto& [line, request] : cases) {
        EXPECT_EQ(parseRequest(line), request) << '"' << line << '"';
        if (request && std::string_view(line).back() != '\r') {
            EXPECT_EQ(requestLine(*request), line);
        }
    }
}

// An answer comes back as it was sent, blank lines and bytes that are no UTF-8 included; an
// answer cut off, or none at all (a Morrowset from before the requests closes at once), is none.
TEST(RemoteControl, AnAnswerReadsBackWholeAndOnlyWhole) {
    const Reply reply{kRefused, "ROW  ENABLED\n\n1    yes \xff\x80 sh -c 'x'\n", "first\nsecond\n"};
    const std::string text = replyText(reply);
    EXPECT_EQ(parseReply(text), reply);
    EXPECT_EQ(parseReply(replyText({})), Reply{}) << "nothing to print, done";
    EXPECT_EQ(parseReply(replyText({kNotRunning, "no end of line", ""}))->out, "no end of line\n");

    const std::string cutOff[] = {
        "",
        text.substr(0, text.size() - 1),
        text.substr(0, text.find("exit")),
        "out a\n",
        "exit 0\nout a\n",
        "hello\nexit 0\n",
        "exit x\n",
        "exit 256\n",
        "exit \n",
    };
    for (const std::string& answer : cutOff) EXPECT_EQ(parseReply(answer), std::nullopt) << '"' << answer << '"';
}

}  // namespace
}  // namespace morrowset::remote
