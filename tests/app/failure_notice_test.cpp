// Desktop notices of failed runs, posted on a private session bus to a notification
// service of the test's own.
#include "app/failure_notice.h"

#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QTest>
#include <gmock/gmock.h>

#include "support/private_bus.h"
#include "support/scoped_runtime.h"

namespace morrowset {
namespace {

using ::testing::ElementsAre;

// Answers Notify as a desktop's service would: a new id, or the id it was asked to replace.
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

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
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
    void invoke(uint id, const QString& action) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                         QStringLiteral("org.freedesktop.Notifications"),
                                                         QStringLiteral("ActionInvoked"));
        signal << id << action;
        serviceEnd.send(signal);
    }

    testsupport::ScopedRuntime testRuntime;
    testsupport::PrivateBus bus;
    QDBusConnection serviceEnd{QString()};
    NotificationService service;
    std::vector<QString> opened;
};

// A row's second failure replaces its first notice; another row gets its own; the action
// opens the output of the notice it belongs to.
TEST_F(FailureNoticeTest, EachRowHasOneNoticeWhoseActionOpensItsOutput) {
    offerService();
    FailureNotices notices(bus.connect(QStringLiteral("program")), [&](const QString& path) { opened.push_back(path); });
    notices.runFailed(2, QStringLiteral("exit status 3"), QStringLiteral("backup --all"), QStringLiteral("/runs/2-a.out"));
    ASSERT_TRUE(waitForNotices(1));
    QTest::qWait(50);  // the reply with the notice's id reaches the program
    notices.runFailed(2, QStringLiteral("signal SIGKILL"), QStringLiteral("backup --all"), QStringLiteral("/runs/2-b.out"));
    notices.runFailed(4, QStringLiteral("could not start (error 53)"), QStringLiteral("no-such-program"), QString());
    ASSERT_TRUE(waitForNotices(3));

    const auto& n = service.notices;
    EXPECT_EQ(n[0].summary, "Row 2 failed: exit status 3");
    EXPECT_EQ(n[0].body, "backup --all");
    EXPECT_EQ(n[0].replaces, 0u);
    EXPECT_EQ(n[0].actions, QStringList({"open-output", "Open output"}));
    EXPECT_EQ(n[1].summary, "Row 2 failed: signal SIGKILL");
    EXPECT_EQ(n[1].replaces, n[0].id) << "replaces the row's notice";
    EXPECT_EQ(n[2].summary, "Row 4 failed: could not start (error 53)");
    EXPECT_EQ(n[2].replaces, 0u);
    EXPECT_TRUE(n[2].actions.isEmpty()) << "no output to open";

    invoke(n[0].id, QStringLiteral("open-output"));
    invoke(999, QStringLiteral("open-output"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !opened.empty(); }, 5000));
    QTest::qWait(50);
    EXPECT_THAT(opened, ElementsAre("/runs/2-b.out"));
}

TEST_F(FailureNoticeTest, NothingWithoutTheServiceOrUnderSilentRun) {
    FailureNotices notices(bus.connect(QStringLiteral("program")), [&](const QString& path) { opened.push_back(path); });
    notices.runFailed(1, QStringLiteral("exit status 1"), QStringLiteral("false"), QString());  // no service

    offerService();
    testRuntime->prefs().silentRun = -1;
    notices.runFailed(1, QStringLiteral("exit status 1"), QStringLiteral("false"), QString());
    testRuntime->prefs().silentRun = 0;
    testRuntime->state().withoutDisplay = true;
    notices.runFailed(1, QStringLiteral("exit status 1"), QStringLiteral("false"), QString());
    testRuntime->state().withoutDisplay = false;

    notices.runFailed(1, QStringLiteral("exit status 1"), QStringLiteral("false"), QString());
    ASSERT_TRUE(waitForNotices(1));
    QTest::qWait(100);
    EXPECT_EQ(service.notices.size(), 1u) << "only the last one, with the service there and nothing silencing it";
}

}  // namespace
}  // namespace morrowset
