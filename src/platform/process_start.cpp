#include "platform/process_start.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/child_watcher.h"
#include "platform/error_texts.h"
#include "platform/file_errors.h"
#include "platform/runtime_error.h"
#include "platform/services.h"

extern char** environ;

namespace platform {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Characters a backslash quotes inside double quotes; before any other it stays literal.
bool escapableInDoubleQuotes(char c) { return c == '$' || c == '`' || c == '"' || c == '\\' || c == '\n'; }

// Splits words with the shell's quoting rules and no expansion.
class WordSplitter {
public:
    explicit WordSplitter(std::string_view text) : text_(text) {}

    std::vector<std::string> split() {
        for (pos_ = 0; pos_ < text_.size(); ++pos_) {
            switch (quote_) {
                case Quote::None: plain(text_[pos_]); break;
                case Quote::Single: singleQuoted(text_[pos_]); break;
                case Quote::Double: doubleQuoted(text_[pos_]); break;
            }
        }
        if (quote_ != Quote::None) raiseError(kInvalidProcedureCall);
        endWord();
        return std::move(words_);
    }

private:
    enum class Quote { None, Single, Double };

    void plain(char c) {
        if (isBlank(c)) return endWord();
        inWord_ = true;
        if (c == '\'') quote_ = Quote::Single;
        else if (c == '"') quote_ = Quote::Double;
        else if (c == '\\') escaped();
        else word_ += c;
    }
    void singleQuoted(char c) {
        if (c == '\'') quote_ = Quote::None;
        else word_ += c;
    }
    void doubleQuoted(char c) {
        if (c == '"') quote_ = Quote::None;
        else if (c == '\\' && pos_ + 1 < text_.size() && escapableInDoubleQuotes(text_[pos_ + 1])) escaped();
        else word_ += c;
    }
    // Takes the character after a backslash literally; backslash-newline joins lines, and a
    // backslash at the very end stays itself.
    void escaped() {
        if (pos_ + 1 >= text_.size()) {
            word_ += '\\';
            return;
        }
        const char next = text_[++pos_];
        if (next != '\n') word_ += next;
    }
    void endWord() {
        if (inWord_) words_.push_back(std::move(word_));
        word_.clear();
        inWord_ = false;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    Quote quote_ = Quote::None;
    bool inWord_ = false;
    std::string word_;
    std::vector<std::string> words_;
};

// Where execvp would look for `program`, in order.
std::vector<std::string> programCandidates(const std::string& program) {
    if (program.empty()) return {};
    if (program.find('/') != std::string::npos) return {program};
    const char* pathVariable = std::getenv("PATH");
    const std::string path = pathVariable ? pathVariable : "/bin:/usr/bin";
    std::vector<std::string> candidates;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find(':', start);
        const std::string folder = path.substr(start, end == std::string::npos ? end : end - start);
        candidates.push_back((folder.empty() ? "." : folder) + "/" + program);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return candidates;
}

// Errors after which execvp goes on with the next folder on PATH.
bool tryNextCandidate(int error) {
    return error == ENOENT || error == ENOTDIR || error == ESTALE || error == ENODEV || error == ETIMEDOUT;
}

// The spawn settings every started program gets: its own session, default signal
// handling, nothing blocked, stdin from /dev/null, stdout and stderr to `outputFd` (ours
// when -1), none of our other files, and `folder` as its working folder ("": ours).
class SpawnSettings {
public:
    SpawnSettings(int outputFd, const std::string& folder) {
        posix_spawn_file_actions_init(&files_);
        if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&files_, folder.c_str());
        posix_spawn_file_actions_addopen(&files_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (outputFd >= 0) {
            posix_spawn_file_actions_adddup2(&files_, outputFd, STDOUT_FILENO);
            posix_spawn_file_actions_adddup2(&files_, outputFd, STDERR_FILENO);
        }
        posix_spawn_file_actions_addclosefrom_np(&files_, STDERR_FILENO + 1);
        posix_spawnattr_init(&attributes_);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setsigdefault(&attributes_, &everySignal());
    }
    ~SpawnSettings() {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&files_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    // Starts `path`; returns 0 and sets `pid`, or the error number.
    int spawn(const std::string& path, const std::vector<char*>& argv, pid_t& pid) const {
        return posix_spawn(&pid, path.c_str(), &files_, &attributes_, argv.data(), environ);
    }

private:
    posix_spawn_file_actions_t files_;
    posix_spawnattr_t attributes_;
};

std::vector<char*> argumentVector(std::vector<std::string>& words) {
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    return argv;
}

// Runs a text file without "#!" through the shell, as execvp does.
int spawnThroughShell(const SpawnSettings& settings, const std::string& path, std::vector<char*> argv,
                      pid_t& pid) {
    static char shell[] = "/bin/sh";
    argv.insert(argv.begin(), shell);
    argv[1] = const_cast<char*>(path.c_str());
    return settings.spawn(shell, argv, pid);
}

// Whether a program can be started in `folder`: a folder there that we may enter.
bool enterable(const std::string& folder) {
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           ::faccessat(AT_FDCWD, folder.c_str(), X_OK, AT_EACCESS) == 0;
}

// `path` as the program started in `folder` sees it: a relative path is the folder's.
std::string inFolder(const std::string& folder, const std::string& path) {
    return folder.empty() || path.starts_with('/') ? path : folder + "/" + path;
}

}  // namespace

const sigset_t& everySignal() {
    static const sigset_t all = [] {
        sigset_t set;
        std::memset(&set, 0xFF, sizeof set);
        return set;
    }();
    return all;
}

std::vector<std::string> splitCommandLine(std::string_view commandLine) {
    return WordSplitter(commandLine).split();
}

int startProcess(std::string_view commandLine, int outputFd, const std::string& folder, OnChildEnd onEnd,
                 ChildWatcher* watcher) {
    std::vector<std::string> words = splitCommandLine(commandLine);
    if (words.empty()) raiseError(kInvalidProcedureCall);
    if (!folder.empty() && !enterable(folder)) raiseError(kPathNotFound);
    const std::vector<char*> argv = argumentVector(words);
    const SpawnSettings settings(outputFd, folder);
    bool deniedSomewhere = false;
    for (const std::string& name : programCandidates(words.front())) {
        const std::string candidate = inFolder(folder, name);
        struct stat info {};
        if (::stat(candidate.c_str(), &info) != 0 && tryNextCandidate(errno)) continue;
        pid_t pid = 0;
        int error = settings.spawn(candidate, argv, pid);
        if (error == ENOEXEC) error = spawnThroughShell(settings, candidate, argv, pid);
        if (error == 0) {
            (watcher ? *watcher : processWatcher()).watch(pid, std::move(onEnd));
            return pid;
        }
        // The folder may have gone between the check and the start.
        if (!folder.empty() && !enterable(folder)) raiseError(kPathNotFound);
        if (error == EACCES) deniedSomewhere = true;
        else if (!tryNextCandidate(error)) raiseErrno(error);
    }
    raiseErrno(deniedSomewhere ? EACCES : ENOENT);
}

int launchProcess(std::string_view commandLine, int outputFd, const std::string& folder, OnChildEnd onEnd,
                  ChildWatcher* watcher) {
    const ProcessStarter& starter = services().processStarter;
    if (!starter) return startProcess(commandLine, outputFd, folder, std::move(onEnd), watcher);
    // A test's starter starts its own way; the end is still heard of here.
    const int pid = starter(commandLine);
    (watcher ? *watcher : processWatcher()).watch(pid, std::move(onEnd));
    return pid;
}

}  // namespace platform
