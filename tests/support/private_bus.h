#pragma once
// A session bus of the test's own: a dbus-daemon started for the test and ended with it.
// It can be stopped (SIGSTOP) to play a bus that hangs: connections stay open and nothing
// answers.
#include <signal.h>
#include <sys/wait.h>

#include <QDBusConnection>
#include <QString>
#include <cstdio>
#include <string>

namespace testsupport {

class PrivateBus {
public:
    PrivateBus() {
        std::FILE* out = ::popen("dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null", "r");
        if (!out) return;
        char line[512];
        if (std::fgets(line, sizeof line, out)) address_ = trimmed(line);
        if (std::fgets(line, sizeof line, out)) pid_ = std::atoi(line);
        ::pclose(out);
    }
    ~PrivateBus() {
        resume();  // a test that stopped the daemon may have failed before it let it go on
        for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
        if (pid_ > 0) ::kill(pid_, SIGTERM);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool running() const { return pid_ > 0 && !address_.empty(); }
    const std::string& address() const { return address_; }
    void stop() const {
        if (pid_ > 0) ::kill(pid_, SIGSTOP);
    }
    void resume() const {
        if (pid_ > 0) ::kill(pid_, SIGCONT);
    }
    // A new connection to the bus, under the test's own `name`.
    QDBusConnection connect(const QString& name) {
        names_.push_back(name);
        return QDBusConnection::connectToBus(QString::fromStdString(address_), name);
    }

private:
    static std::string trimmed(std::string text) {
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        return text;
    }
    std::string address_;
    pid_t pid_ = -1;
    std::vector<QString> names_;
};

}  // namespace testsupport
