// The command lines of the program and its tools, run as the real executables.
#include <gmock/gmock.h>

#include "morrowset_version.h"
#include "support/run_program.h"

namespace {

using ::testing::HasSubstr;
using toolstest::runProgram;

std::string program(const char* name) {
    return std::string(MORROWSET_BINARY_DIR) + "/bin/" + name;
}

struct Case {
    std::vector<std::string> command;
    int exitCode;
    const char* out;  // part of standard output; "" when it must stay empty
    const char* err;  // part of standard error; "" when it must stay empty, nullptr: anything
};

void check(const Case& c) {
    std::string shown;
    for (const auto& word : c.command) shown += word + " ";
    const auto ran = runProgram(c.command);
    EXPECT_EQ(ran.exitCode, c.exitCode) << shown << ran.err;
    if (*c.out)
        EXPECT_THAT(ran.out, HasSubstr(c.out)) << shown;
    else
        EXPECT_EQ(ran.out, "") << shown;
    if (!c.err) return;
    if (*c.err)
        EXPECT_THAT(ran.err, HasSubstr(c.err)) << shown;
    else
        EXPECT_EQ(ran.err, "") << shown;
}

const std::string kVersion = MORROWSET_VERSION;

// `command` run with no display to reach and no toolkit platform chosen.
std::vector<std::string> withoutDisplay(std::vector<std::string> command) {
    command.insert(command.begin(),
                   {"/usr/bin/env", "-u", "QT_QPA_PLATFORM", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY"});
    return command;
}

TEST(ToolCommandLine, HelpAndVersionPrintAndSucceedWrongOptionsEndWith2) {
    const std::string circlog = program("wardline-circlog");
    const std::string monitor = program("wardline-monitor");
    const std::string circlogVersion = "wardline-circlog (Morrowset) " + kVersion + "\n";
    const std::string monitorVersion = "wardline-monitor (Morrowset) " + kVersion + "\n";
    const Case cases[] = {
        {{circlog, "--help"}, 0, "usage: wardline-circlog [--prev] [--record-size N] LOG", ""},
        {{circlog, "-h"}, 0, "--record-size N", ""},
        {{circlog, "--version"}, 0, circlogVersion.c_str(), ""},
        {{circlog, "--bogus", "x.log"},
         2,
         "",
         "wardline-circlog: unknown option '--bogus'\nTry 'wardline-circlog --help'"},
        {{circlog}, 2, "", "no log file given"},
        {{circlog, "a.log", "b.log"}, 2, "", "only one log"},
        {{circlog, "--record-size", "0", "x.log"}, 2, "", "--record-size needs a whole number"},
        {{circlog, "x.log", "--record-size"}, 2, "", "--record-size needs a whole number"},
        {{monitor, "--help"}, 0, "usage: wardline-monitor [--title TITLE] [--hold] [--step]", ""},
        {{monitor, "-v"}, 0, monitorVersion.c_str(), ""},
        {{monitor, "--hold", "--bogus"},
         2,
         "",
         "wardline-monitor: unknown option '--bogus'\nTry 'wardline-monitor --help'"},
        {{monitor, "--title"}, 2, "", "--title needs a title"},
        {{monitor, "extra"}, 2, "", "unexpected argument 'extra'"},
    };
    for (const Case& c : cases) check(c);
}

#ifdef MORROWSET_EXE
TEST(ProgramCommandLine, HelpAndVersionPrintAndSucceedWrongOptionsEndWith2) {
    const std::string exe = MORROWSET_EXE;
    const std::string version = "Morrowset " + kVersion + "\n";
    const Case cases[] = {
        {{exe, "--help"}, 0, "Usage: Morrowset [options]", ""},
        {{exe, "-h"}, 0, "--version", ""},
        {{exe, "--version"}, 0, version.c_str(), ""},
        // The toolkit's own options are still taken (the toolkit may warn about its set-up).
        {{exe, "-platform", "offscreen", "--version"}, 0, version.c_str(), nullptr},
        {{exe, "--bogus"}, 2, "", "Morrowset: Unknown option 'bogus'.\nTry 'Morrowset --help'"},
        {{exe, "extra"}, 2, "", "Morrowset: unexpected argument 'extra'"},
        // A toolkit option in a form the toolkit leaves alone is judged once the toolkit has started.
        {{exe, "-platformtheme=x"}, 2, "", "Morrowset: Unknown option 'platformtheme'."},
        // Without a display the toolkit cannot start: the command line is answered before it.
        {withoutDisplay({exe, "--version"}), 0, version.c_str(), ""},
        {withoutDisplay({exe, "-h"}), 0, "--version", ""},
        {withoutDisplay({exe, "--bogus"}), 2, "",
         "Morrowset: Unknown option 'bogus'.\nTry 'Morrowset --help'"},
        {withoutDisplay({exe, "-style", "fusion", "extra"}), 2, "", "Morrowset: unexpected argument 'extra'"},
        {withoutDisplay({exe, "-reverse", "-qwindowtitle", "--bogus", "--version"}), 0, version.c_str(), ""},
        {withoutDisplay({exe, "-platform"}), 2, "", "Morrowset: Missing value after '-platform'."},
        // The running timetable's options: a row from 1 to 6, one request at a time, and
        // what each exit status means in the help.
        {{exe, "--help"}, 0, "  3  --run, --stop: no Morrowset is running for this folder\n", ""},
        {withoutDisplay({exe, "--run"}), 2, "", "Morrowset: Missing value after '--run'."},
        {withoutDisplay({exe, "--run", "7"}), 2, "", "Morrowset: no row '7': the rows are 1 to 6"},
        {withoutDisplay({exe, "--stop", "x"}), 2, "", "Morrowset: no row 'x': the rows are 1 to 6"},
        {withoutDisplay({exe, "--status", "--stop", "1"}), 2, "", "--status, --run and --stop go one at a time"},
        {withoutDisplay({exe, "--run", "1", "--run", "2"}), 2, "", "--status, --run and --stop go one at a time"},
    };
    for (const Case& c : cases) check(c);
}
#endif

}  // namespace
