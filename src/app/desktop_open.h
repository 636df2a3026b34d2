#pragma once
// Handing a file to the desktop: its viewer for the file's kind (xdg-open), or its file
// manager showing the file in its folder. Neither is ever waited for; when the desktop
// cannot do it, the caller hears why in a sentence it can show, rather than nothing
// happening.
#include <QDBusConnection>
#include <QString>
#include <functional>

class QObject;

namespace morrowset {

using DesktopFailure = std::function<void(const QString& why)>;

// Opens `path` with the desktop's viewer. `failed` is called (while `context` lives) when
// no viewer could be started or it reported a failure: "Could not open it: the desktop has
// no program for this kind of file."
void openOnDesktop(const QString& path, QObject* context, DesktopFailure failed);

// Shows `file` selected in the desktop's file manager (org.freedesktop.FileManager1 on
// `bus`); without one, opens its folder with the desktop's viewer.
void showInFolder(const QString& file, const QDBusConnection& bus, QObject* context, DesktopFailure failed);

}  // namespace morrowset
