#pragma once
// Where the program keeps the files it writes: its timetable, its trace preferences and its
// logs. A copy of the program in a folder of its user's that nobody else can write keeps
// them beside itself (a portable copy); an installed program, whose folder only root may
// change, and a copy in a folder other users can write keep them in the user's
// configuration folder. Files that ship with the program (its help file) are always read
// from beside the executable.
#include <string>

namespace platform {

// The user's home folder: $HOME, else the password database's; empty when neither knows.
std::string homeFolder();

// `name` (a relative path) in the user's configuration folder; empty when it is not known.
std::string inUserConfigFolder(const std::string& name);

// The user's folder for the program's files, not created: `folderName` in userConfigFolder().
std::string userApplicationFolder(const std::string& folderName);

// Creates `folder` and its missing parents with mode 0700; true when it exists as a folder.
bool makeFolders(const std::string& folder);

// The application folder of a program whose executable lies in `exeFolder`: `exeFolder`
// itself when it belongs to the user, who may create files in it, and neither group nor
// others may write it; otherwise (a shared folder, an installed package)
// userApplicationFolder(folderName),
// created with mode 0700 (missing parents too) when it does not exist yet. Falls back to
// `exeFolder` when there is no user folder or it cannot be made, so the program still runs
// and reads what it can.
std::string chooseApplicationFolder(const std::string& exeFolder, const std::string& folderName);

}  // namespace platform
