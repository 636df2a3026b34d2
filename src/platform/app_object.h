#pragma once
// The application object: where the program runs from and who it is.
#include <string>

namespace platform {

class AppObject {
public:
    // Folder of the running executable, without a trailing separator.
    const std::string& path() const { return path_; }
    // Executable's file name without extension.
    const std::string& exeName() const { return exeName_; }
    const std::string& title() const { return title_; }
    int major() const;
    int minor() const;
    int revision() const;
    // The application's current help file (empty unless something sets it).
    const std::string& helpFile() const { return helpFile_; }
    void setHelpFile(std::string file) { helpFile_ = std::move(file); }
    // The runtime's own help file beside the executable.
    std::string runtimeHelpFile() const;
    // True when another instance of the program was already running for this user at start.
    bool prevInstance() const;

    // Test seams: run as if the executable lived at `folder` under `name`.
    void overridePath(std::string folder, std::string name = {});

private:
    friend AppObject& app();
    AppObject();
    std::string path_;
    std::string exeName_;
    std::string title_ = "System Morrowset";
    std::string helpFile_;
};

AppObject& app();

}  // namespace platform
