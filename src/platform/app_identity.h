#pragma once
// Who the program is, as the program itself says (its main gives it to the runtime): the
// platform layer names no program of its own.
#include <string>

namespace platform {

struct AppIdentity {
    std::string projectName;       // the source of the program's own run-time errors
    std::string title;             // the application's title
    std::string configFolderName;  // its folder under the user's configuration folder
    std::string lockName;          // the instance lock's file name in the user's private folder
    int major = 0;                 // version
    int minor = 0;
    int revision = 0;
};

}  // namespace platform
