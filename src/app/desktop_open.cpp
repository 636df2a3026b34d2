#include "app/desktop_open.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QUrl>

namespace morrowset {

namespace {

// xdg-open's exit statuses, in words.
struct Status {
    int code;
    const char* why;
};
constexpr Status kOpenerStatuses[] = {
    {1, "Could not open it: the desktop's opener did not understand its command line."},
    {2, "Could not open it: the file is gone."},
    {3, "Could not open it: the desktop has no program for this kind of file."},
    {4, "Could not open it: the desktop's program for it failed."},
};

QString whyOpenerFailed(int code) {
    for (const Status& status : kOpenerStatuses)
        if (status.code == code) return QString::fromLatin1(status.why);
    return QStringLiteral("Could not open it: the desktop's opener ended with exit status %1.").arg(code);
}

}  // namespace

// xdg-open is run by hand rather than through QDesktopServices, which starts it detached and
// so never hears it fail (as it does on a plain session with no viewer registered). The
// process has no parent: it is not ended when the window that asked goes, and may outlive
// the program (xdg-open can wait for the viewer it starts).
void openOnDesktop(const QString& path, QObject* context, DesktopFailure failed) {
    auto* opener = new QProcess;
    opener->setProgram(QStringLiteral("xdg-open"));
    opener->setArguments({path});
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    const QPointer<QObject> asker(context);
    const auto tell = [asker, failed](const QString& why) {
        if (asker && failed) failed(why);
    };
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, tell](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        tell(QStringLiteral("Could not open it: there is no xdg-open here to find the desktop's viewer."));
        opener->deleteLater();
    });
    QObject::connect(opener, &QProcess::finished, opener, [opener, tell](int code, QProcess::ExitStatus how) {
        if (how != QProcess::NormalExit) tell(QStringLiteral("Could not open it: the desktop's opener was killed."));
        else if (code != 0) tell(whyOpenerFailed(code));
        opener->deleteLater();
    });
    opener->start();
}

void showInFolder(const QString& file, const QDBusConnection& bus, QObject* context, DesktopFailure failed) {
    const QString folder = QFileInfo(file).absolutePath();
    if (!bus.isConnected()) return openOnDesktop(folder, context, std::move(failed));
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(file).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    const QPointer<QObject> asker(context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [=] {
        if (watcher->isError() && asker) openOnDesktop(folder, asker, failed);
        watcher->deleteLater();
    });
}

}  // namespace morrowset
