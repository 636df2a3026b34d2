#pragma once
// The application object: where the program runs from and who it is.
#include <string>

#include "platform/instance_lock.h"

namespace platform {

class AppObject {
public:
    // The running executable.
    AppObject();
    // A program whose executable lives in `folder` under `name` and keeps its files in
    // `applicationFolder` (by default `folder` itself), for tests.
    AppObject(std::string folder, std::string name, std::string applicationFolder = {});

    // The application folder, where the program keeps the files it writes, without a
    // trailing separator: the executable's folder when the user may write there, else the
    // user's own folder (app_folder.h), chosen and made at the first call.
    const std::string& path() const;
    // Folder of the running executable, without a trailing separator; files that ship with
    // the program are read from here.
    const std::string& exeFolder() const { return exeFolder_; }
    // Executable's file name without extension.
    const std::string& exeName() const;
    // The title and version of the program's identity (services.h).
    const std::string& title() const;
    int major() const;
    int minor() const;
    int revision() const;
    // The application's current help file (empty unless something sets it).
    const std::string& helpFile() const { return helpFile_; }
    void setHelpFile(std::string file) { helpFile_ = std::move(file); }
    // The runtime's own help file beside the executable.
    std::string runtimeHelpFile() const;
    // The name of the application folder's instance lock and socket (instance_lock.h).
    std::string instanceName() const;
    // The application folder's instance lock as the process found it: the first call takes
    // it. Unavailable with the reason in `whyNot`.
    InstanceLock instanceLock(std::string* whyNot = nullptr) const;
    // True when another instance of the program was already running for this application
    // folder when first asked.
    bool prevInstance() const { return instanceLock() == InstanceLock::Another; }

private:
    std::string exeFolder_;
    mutable std::string path_;  // empty until chosen
    std::string exeName_;  // empty when the executable cannot be found: the project's name
    std::string helpFile_;
};

// The application object of the services in use (services.h).
AppObject& app();

}  // namespace platform
