#pragma once
// The program's command line. It takes no arguments of its own, only "--help",
// "--version" and "--status" (which print and end the program with 0), "--run N" and
// "--stop N" (which ask the Morrowset running for this folder, remote_control.h, and end
// with its exit status), "--background" (start with the window in the system tray) and the
// toolkit's own options.
// Anything else prints one line saying what is wrong and ends the program with 2.
#include <QStringList>
#include <optional>

namespace morrowset {

// The exit code when the command line says to end here, nullopt to start the program.
// Before the toolkit is started (`toolkitStarted` false) the toolkit's own options are
// taken as known, so that help, version and a wrong command line are answered without a
// display. Once started, the toolkit has taken out what it uses: anything of the kind it
// left is judged again as unknown.
std::optional<int> answerCommandLine(const QStringList& arguments, bool toolkitStarted);
// The same for the command line as main() receives it, before the toolkit is started.
std::optional<int> answerCommandLine(int argc, char** argv);

// Whether the command line (checked by answerCommandLine) asks to start with the window
// hidden in the system tray: "--background".
bool startsInBackground(const QStringList& arguments);

}  // namespace morrowset
