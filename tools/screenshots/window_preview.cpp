// Shows one of Morrowset's windows on its own, as tools/screenshots.sh pictures them:
//   window-preview history APP_FOLDER    the History window over that folder's history
//   window-preview tray                  the tray icon, a run failed; prints where it is
#include <QApplication>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/history_window.h"
#include "app/tray_icon.h"

namespace {

constexpr int kTrayWaitMs = 10'000;

int usage() {
    std::fputs("usage: window-preview history APP_FOLDER | tray\n", stderr);
    return 2;
}

// The tray host may come up after the program: the icon is shown once there is a tray.
void showTrayWhenThere(morrowset::TrayIcon& tray, int waitedMs = 0) {
    if (tray.show()) {
        // Where the icon is, once the host has placed it.
        QTimer::singleShot(1000, &tray, [&tray] {
            const QRect where = tray.geometry();
            std::printf("tray %d %d %d %d\n", where.x(), where.y(), where.width(), where.height());
            std::fflush(stdout);
        });
        return;
    }
    if (waitedMs >= kTrayWaitMs) {
        std::fputs("window-preview: no system tray\n", stderr);
        QCoreApplication::exit(1);
        return;
    }
    QTimer::singleShot(100, &tray, [&tray, waitedMs] { showTrayWhenThere(tray, waitedMs + 100); });
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "history" && argc == 3) {
        morrowset::HistoryWindow* window = morrowset::showHistoryWindow(argv[2]);
        QObject::connect(window, &QObject::destroyed, &application, &QApplication::quit);
        return application.exec();
    }
    if (what == "tray" && argc == 2) {
        morrowset::TrayIcon tray;
        tray.setNextStart("row 2, today 14:00, in 3 h 12 min");
        tray.runFailed();
        QObject::connect(&tray, &morrowset::TrayIcon::quitRequested, &application, &QApplication::quit);
        showTrayWhenThere(tray);
        return application.exec();
    }
    return usage();
}
