// Desktop notices of failed runs, posted on a private session bus to a notification
// service of the test's own.
#include "app/failure_notice.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <gmock/gmock.h>
#include <mutex>
#include <thread>

#include "app/output_viewer.h"
#include "support/private_bus.h"
#include "support/scoped_runtime.h"
#include "support/temp_folder.h"

namespace morrowset {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Answers as a desktop's service would: its capabilities, and for Notify a new id or the
// id it was asked to replace.
class NotificationService : public QDBusVirtualObject {
public:
    struct Notice {
        uint replaces;
        QString summary;
        QString body;
        QStringList actions;
        uint id;
    };
    std::vector<Notice> notices;
    QStringList capabilities{QStringLiteral("actions"), QStringLiteral("body")};

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() == QLatin1String("GetCapabilities")) {
            connection.send(message.createReply(QVariant::fromValue(capabilities)));
            return true;
        }
        if (message.member() != QLatin1String("Notify")) return false;
        const QList<QVariant> args = message.arguments();
        const uint replaces = args.value(1).toUInt();
        const uint id = replaces ? replaces : ++lastId_;
        notices.push_back({replaces, args.value(3).toString(), args.value(4).toString(), args.value(5).toStringList(), id});
        connection.send(message.createReply(QVariant::fromValue(id)));
        return true;
    }

private:
    uint lastId_ = 40;
};

// Lets a stopped bus go on when `limit` passes before the watchdog is disarmed: a call
// stuck on the bus then returns, and the test fails instead of hanging.
class Watchdog {
public:
    Watchdog(std::chrono::seconds limit, const testsupport::PrivateBus& bus)
        : thread_([this, limit, &bus] {
              std::unique_lock lock(mutex_);
              if (!disarmed_.wait_for(lock, limit, [this] { return done_; })) {
                  fired_ = true;
                  bus.resume();
              }
          }) {}
    ~Watchdog() { disarm(); }
    // True when it was disarmed in time.
    bool disarm() {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        disarmed_.notify_all();
        if (thread_.joinable()) thread_.join();
        return !fired_;
    }

private:
    std::mutex mutex_;
    std::condition_variable disarmed_;
    bool done_ = false;
    bool fired_ = false;
    std::thread thread_;
};

class FailureNoticeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!bus.running()) GTEST_SKIP() << "no dbus-daemon here";
        serviceEnd = bus.connect(QStringLiteral("service"));
        ASSERT_TRUE(serviceEnd.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &service));
    }
    void offerService() { ASSERT_TRUE(serviceEnd.registerService(QStringLiteral("org.freedesktop.Notifications"))); }
    bool waitForNotices(std::size_t count) {
        return QTest::qWaitFor([&] { return service.notices.size() >= count; }, 5000);
    }
    // A signal of the notification interface, from `sender`'s connection.
    static void emitFrom(QDBusConnection& sender, const QString& member, const QVariantList& arguments) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                         QStringLiteral("org.freedesktop.Notifications"), member);
        signal.setArguments(arguments);
        sender.send(signal);
    }
    void invoke(uint id, const QString& action) { emitFrom(serviceEnd, QStringLiteral("ActionInvoked"), {id, action}); }
    // Waits until the program has taken `count` outputs to open.
    bool waitForOpened(std::size_t count) {
        return QTest::qWaitFor([&] { return opened.size() >= count; }, 5000);
    }
    FailureNotices::OpenOutput recordOpened() {
        return [this](const QString& path, const QString&) { opened.push_back(path); };
    }

    testsupport::ScopedRuntime testRuntime;
    testsupport::PrivateBus bus;
    QDBusConnection serviceEnd{QString()};
    NotificationService service;
    std::vector<QString> opened;
};

// A row's second failure replaces its first notice, even when it comes before the first
// is answered; another row gets its own; the action opens the output of its notice.
TEST_F(FailureNoticeTest, EachRowHasOneNoticeWhoseActionOpensItsOutput) {
    offerService();
    FailureNotices notices(bus.connect(QStringLiteral("program")), recordOpened());
    notices.runFailed(2, QStringLiteral("exit status 3"), QStringLiteral("backup --all"), QStringLiteral("/runs/2-a.out"));
    notices.runFailed(4, QStringLiteral("could not start (error 53)"), QStringLiteral("no-such-program"), QString());
    ASSERT_TRUE(waitForNotices(1));
    notices.runFailed(2, QStringLiteral("signal SIGKILL"), QStringLiteral("backup --all"), QStringLiteral("/runs/2-b.out"));
    ASSERT_TRUE(waitForNotices(3));

    const auto& n = service.notices;
    EXPECT_EQ(n[0].summary, "Row 2 failed: exit status 3");
    EXPECT_EQ(n[0].body, "backup --all");
    EXPECT_EQ(n[0].replaces, 0u);
    EXPECT_EQ(n[0].actions, QStringList({"open-output", "Open output"}));
    EXPECT_EQ(n[1].summary, "Row 4 failed: could not start (error 53)");
    EXPECT_EQ(n[1].replaces, 0u);
    EXPECT_TRUE(n[1].actions.isEmpty()) << "no output to open";
    EXPECT_EQ(n[2].summary, "Row 2 failed: signal SIGKILL");
    EXPECT_EQ(n[2].replaces, n[0].id) << "replaces the row's notice";

    invoke(999, QStringLiteral("open-output"));
    invoke(n[0].id, QStringLiteral("open-output"));
    ASSERT_TRUE(waitForOpened(1));
    EXPECT_THAT(opened, ElementsAre("/runs/2-b.out"));
    EXPECT_EQ(notices.dropped(), 0);
}

// Only the service that posted a notice can invoke its action; a notice it closed is
// forgotten, so the row's next failure posts a new one.
TEST_F(FailureNoticeTest, OnlyTheServiceInvokesAnActionAndAClosedNoticeIsForgotten) {
    offerService();
    FailureNotices notices(bus.connect(QStringLiteral("program")), recordOpened());
    notices.runFailed(3, QStringLiteral("exit status 1"), QStringLiteral("sync"), QStringLiteral("/runs/3.out"));
    notices.runFailed(4, QStringLiteral("exit status 1"), QStringLiteral("sync"), QStringLiteral("/runs/4.out"));
    ASSERT_TRUE(waitForNotices(2));
    const uint row3 = service.notices[0].id;
    const uint row4 = service.notices[1].id;

    // The bus hands one sender's messages on in order, and a call it answered has been
    // through it: the stranger's signal reaches the program before the service's.
    QDBusConnection stranger = bus.connect(QStringLiteral("stranger"));
    emitFrom(stranger, QStringLiteral("ActionInvoked"), {row3, QStringLiteral("open-output")});
    stranger.interface()->isServiceRegistered(QStringLiteral("org.example.None"));
    invoke(row4, QStringLiteral("open-output"));
    ASSERT_TRUE(waitForOpened(1));
    EXPECT_THAT(opened, ElementsAre("/runs/4.out")) << "a stranger's signal opened an output";

    emitFrom(serviceEnd, QStringLiteral("NotificationClosed"), {row3, 2u});
    invoke(row3, QStringLiteral("open-output"));
    invoke(row4, QStringLiteral("open-output"));  // once this is taken, the two before it are too
    ASSERT_TRUE(waitForOpened(2));
    EXPECT_THAT(opened, ElementsAre("/runs/4.out", "/runs/4.out")) << "a closed notice's action opened its output";
    notices.runFailed(3, QStringLiteral("exit status 2"), QStringLiteral("sync"), QString());
    ASSERT_TRUE(waitForNotices(3));
    EXPECT_EQ(service.notices[2].replaces, 0u);
}

TEST_F(FailureNoticeTest, NothingWithoutTheServiceOrUnderSilentRun) {
    FailureNotices notices(bus.connect(QStringLiteral("program")), recordOpened());
    notices.runFailed(1, QStringLiteral("exit status 1"), QStringLiteral("false"), QString());  // no service
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices.dropped() == 1; }, 5000)) << "dropped without the service";

    offerService();
    testRuntime->prefs().silentRun = -1;
    notices.runFailed(1, QStringLiteral("exit status 1"), QStringLiteral("false"), QString());
    testRuntime->prefs().silentRun = 0;
    testRuntime->state().withoutDisplay = true;
    notices.runFailed(1, QStringLiteral("exit status 1"), QStringLiteral("false"), QString());
    testRuntime->state().withoutDisplay = false;

    notices.runFailed(1, QStringLiteral("exit status 2"), QStringLiteral("false"), QString());
    ASSERT_TRUE(waitForNotices(1));
    QTest::qWait(100);
    ASSERT_EQ(service.notices.size(), 1u) << "only the last one, with the service there and nothing silencing it";
    EXPECT_EQ(service.notices[0].summary, "Row 1 failed: exit status 2");
    EXPECT_EQ(notices.dropped(), 1) << "silenced notices are not asked for, so not dropped";
}

// A service that reads the body as markup gets the command line with every character that
// markup gives a meaning escaped; one that reads plain text gets it as it is.
TEST_F(FailureNoticeTest, TheCommandLineIsEscapedWhereTheServiceReadsMarkup) {
    offerService();
    const QString command = QStringLiteral("cat <img src=\"file:///etc/passwd\"/> & echo 'x'");
    const std::pair<QStringList, QString> cases[] = {
        {{"actions", "body", "body-markup"}, "cat &lt;img src=&quot;file:///etc/passwd&quot;/&gt; &amp; echo &#39;x&#39;"},
        {{"actions", "body"}, command},
    };
    for (const auto& [capabilities, body] : cases) {
        service.capabilities = capabilities;
        service.notices.clear();
        FailureNotices notices(bus.connect(QStringLiteral("program")), recordOpened());
        notices.runFailed(5, QStringLiteral("exit status 1"), command, QString());
        ASSERT_TRUE(waitForNotices(1)) << capabilities.join(' ').toStdString();
        EXPECT_EQ(service.notices[0].body, body) << capabilities.join(' ').toStdString();
    }
}

// A failure's notice costs the caller nothing while the bus does not answer: every call
// returns at once (the watchdog's limit is below the 25 s a D-Bus call waits for its answer
// by default, so a single call that waits fails the test). Notices replaced while waiting
// are dropped at once, the others when the bus has not answered in time, or they go once it
// does: the last of each row.
TEST_F(FailureNoticeTest, AStoppedBusHoldsNoCall) {
    constexpr std::chrono::seconds kWatchdogLimit{20};
    constexpr int kRounds = 5;
    const auto burst = [&](FailureNotices& notices) {
        Watchdog watchdog(kWatchdogLimit, bus);
        for (int round = 1; round <= kRounds; ++round)
            for (int row = 1; row <= FailureNotices::kRows; ++row)
                notices.runFailed(row, QStringLiteral("exit status %1").arg(round), QStringLiteral("sync"),
                                  QStringLiteral("/runs/%1.out").arg(row));
        return watchdog.disarm();
    };
    constexpr int kReplacedWhileWaiting = (kRounds - 1) * FailureNotices::kRows;
    offerService();

    {
        SCOPED_TRACE("a connection made before the bus stopped");
        FailureNotices notices(bus.connect(QStringLiteral("program")), recordOpened());
        bus.stop();
        ASSERT_TRUE(burst(notices)) << "a call waited for the stopped bus";
        EXPECT_EQ(notices.dropped(), kReplacedWhileWaiting);
        bus.resume();
        ASSERT_TRUE(waitForNotices(FailureNotices::kRows));
        QTest::qWait(100);
        ASSERT_EQ(service.notices.size(), std::size_t{FailureNotices::kRows}) << "only the last notice of each row";
        for (const auto& notice : service.notices) EXPECT_THAT(notice.summary.toStdString(), HasSubstr("exit status 5"));
        EXPECT_EQ(notices.dropped(), kReplacedWhileWaiting);
    }
    {
        SCOPED_TRACE("the session bus, reached by its address");
        const testsupport::ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", bus.address());
        FailureNotices notices(recordOpened());
        bus.stop();
        ::testing::internal::CaptureStderr();
        const bool held = burst(notices);
        EXPECT_EQ(notices.dropped(), kReplacedWhileWaiting);
        EXPECT_TRUE(QTest::qWaitFor([&] { return notices.dropped() == kRounds * FailureNotices::kRows; }, 30000))
            << "the notices waiting for the stopped bus were not dropped";
        const std::string said = ::testing::internal::GetCapturedStderr();
        bus.resume();
        ASSERT_TRUE(held) << "a call waited for the stopped bus";
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_THAT(said, HasSubstr("did not answer")) << said;
    }
}

TEST_F(FailureNoticeTest, TheSessionBusIsUsedOnceItsDaemonAnswers) {
    offerService();
    const testsupport::ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", bus.address());
    FailureNotices notices(recordOpened());
    notices.runFailed(6, QStringLiteral("exit status 1"), QStringLiteral("sync"), QString());
    ASSERT_TRUE(waitForNotices(1));
    EXPECT_EQ(service.notices[0].summary, "Row 6 failed: exit status 1");
    EXPECT_EQ(notices.dropped(), 0);
}

// Unless a test gives its own, "Open output" opens the output viewer, headed by the notice.
TEST_F(FailureNoticeTest, OpenOutputOpensTheViewerHeadedByTheNotice) {
    offerService();
    testsupport::TempFolder folder;
    testsupport::writeFile(folder / "row2-a.log", "disk full\n");
    FailureNotices notices(bus.connect(QStringLiteral("program")));
    notices.runFailed(2, QStringLiteral("exit status 3"), QStringLiteral("backup --all"),
                      QString::fromStdString(folder / "row2-a.log"));
    ASSERT_TRUE(waitForNotices(1));
    invoke(service.notices[0].id, QStringLiteral("open-output"));
    ASSERT_TRUE(QTest::qWaitFor([] { return OutputViewer::current() != nullptr; }, 5000));
    OutputViewer* viewer = OutputViewer::current();
    EXPECT_EQ(viewer->path(), QString::fromStdString(folder / "row2-a.log"));
    EXPECT_EQ(viewer->lblHeading->text(), "Row 2 failed: exit status 3\nbackup --all");
    EXPECT_EQ(viewer->txtOutput->toPlainText(), "disk full\n");
    viewer->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
}  // namespace morrowset
