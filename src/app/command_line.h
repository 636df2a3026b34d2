#pragma once
// The program's command line. It takes no arguments of its own, only "--help" and
// "--version" (which print and end the program with 0) and the toolkit's own options.
// Anything else prints one line saying what is wrong and ends the program with 2.
#include <QStringList>
#include <optional>

namespace morrowset {

// The exit code when the command line says to end here, nullopt to start the program.
// Before the toolkit is started (`toolkitStarted` false) it only answers a command line
// that holds nothing but its own options, so that help and version need no display; one it
// does not know may hold toolkit options, and is judged again once the toolkit has taken
// those out.
std::optional<int> answerCommandLine(const QStringList& arguments, bool toolkitStarted);
// The same for the command line as main() receives it, before the toolkit is started.
std::optional<int> answerCommandLine(int argc, char** argv);

}  // namespace morrowset
