#pragma once
// Who the program is, as the program itself says (its main gives it to the runtime): the
// platform layer names no program of its own.
#include <string>

namespace platform {

struct AppIdentity {
    std::string projectName;       // the source of the program's own run-time errors
    std::string title;             // the application's title, also its autostart entry's name
    std::string configFolderName;  // its folder under the user's configuration folder
    // Its name towards the system, in lower case: the journal's SYSLOG_IDENTIFIER, the
    // autostart entry's file ("<name>.desktop") and icon, and the first part of the names
    // of its instance lock and of its temporary files.
    std::string systemName;
    std::string journalFieldPrefix;  // what the names of its own journal fields begin with
    std::string summary;             // what it does, in a line: the autostart entry's comment
    int major = 0;                   // version
    int minor = 0;
    int revision = 0;
};

}  // namespace platform
