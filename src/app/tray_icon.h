#pragma once
// Morrowset's icon in the desktop's system tray. Its picture says whether the clock runs,
// is paused, or a run failed since the user last looked; its tooltip says when the next
// start is; its menu offers Show Timetable, Pause/Start, History… and Quit, and a click on
// it shows the timetable. Where the desktop has no tray it shows nothing and does no harm:
// the menu and the signals are there all the same.
//
// Asking the toolkit whether there is a tray asks the session bus too, and the toolkit's
// connection waits for the bus's daemon without limit. So when a session bus is named, the
// tray is asked about only once its daemon has answered a greeting (session_bus_probe.h):
// until then, and when it does not answer, there is no tray.
#include <QIcon>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>
#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace morrowset {

class SessionBusProbe;

class TrayIcon : public QObject {
    Q_OBJECT

public:
    enum class Look { Running, Paused, Failed };

    // `trayThere` tells whether the desktop has a tray now, for a test that stands in for a
    // desktop; without it the desktop is asked (available()), once the session bus answers.
    explicit TrayIcon(QObject* parent = nullptr, std::function<bool()> trayThere = {});
    ~TrayIcon() override;

    // Whether the desktop has a tray now (the "Keep running" option needs one). It may
    // wait on the session bus: trayThere() asks it only when that cannot wait.
    static bool available();
    // Whether the tray may be asked about yet (trayKnown() says when it may).
    bool isKnown() const { return known_; }
    // Whether this icon's desktop has a tray now; false until it is known.
    bool trayThere() const { return known_ && busAnswers_ && trayThere_(); }
    // Why there is no tray, in a sentence: still looked for, a session bus that does not
    // answer, or none on the desktop.
    QString whyNone() const;

    // Shows the icon where there is a tray; false where there is none.
    bool show();
    void hide();
    bool isShown() const;
    // Where the tray host put the icon, on the screen; empty when it is not shown.
    QRect geometry() const;

    // The clock runs or is paused: the picture, and the menu's Pause/Start item.
    void setPaused(bool paused);
    // A run failed: the picture says so until the user has looked (lookedAt).
    void runFailed();
    // The user saw the timetable (the window was shown or brought to the front).
    void lookedAt();
    // The tooltip's next start, in words the caller made: "row 2, today 14:00, in 3 h 12 min".
    void setNextStart(const QString& nextStart);

    Look look() const;
    QString toolTip() const;
    QMenu* menu() const { return menu_; }
    QAction* pauseAction() const { return pause_; }

    // The picture for `look`: the program's icon with a badge in its corner (none while
    // running, a pause sign, a red mark), at `size` pixels.
    static QImage image(Look look, int size);
    static QIcon icon(Look look);

Q_SIGNALS:
    // The tray may now be asked about (see isKnown).
    void trayKnown();
    void showTimetableRequested();
    void pauseRequested();  // Pause while running, Start while paused
    void historyRequested();
    void quitRequested();

private:
    void update();
    void askOnceTheBusAnswers();

    std::function<bool()> trayThere_;
    QMenu* menu_;
    QAction* pause_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;  // made only where there is a tray
    SessionBusProbe* probe_ = nullptr;  // while the session bus is greeted
    bool known_ = true;
    bool busAnswers_ = true;
    bool paused_ = false;
    bool failed_ = false;
    Look shownLook_ = Look::Running;
    QString nextStart_;
};

}  // namespace morrowset
