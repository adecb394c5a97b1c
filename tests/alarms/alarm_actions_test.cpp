// What an alarm does beyond the window: a notification over a real session bus to a listener of
// the test's own, and a program that gets its arguments exactly, shell metacharacters included.
#include "alarms/alarm_program.h"
#include "alarms/desktop_notification.h"
#include "tests/settings/temp_folder.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <unistd.h>

namespace velmora::test {

// Plays the notification server: takes every Notify call and keeps it.
class NotificationListener : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call {
        QString appName, summary, body;
        int expireTimeout = 0;
    };
    std::vector<Call> calls;

public slots:
    uint Notify(const QString& appName, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int expireTimeout) {
        calls.push_back({appName, summary, body, expireTimeout});
        return static_cast<uint>(calls.size());
    }
};

namespace {

bool WaitFor(const std::function<bool()>& done, int milliseconds = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        usleep(5000);
    }
    return true;
}

TEST(DesktopNotification, ReachesTheServerWithItsBodyEscaped) {
    if (std::getenv("VELMORA_PRIVATE_SESSION_BUS") == nullptr) {
        GTEST_SKIP() << "needs dbus-run-session (package dbus-daemon) for a bus of its own";
    }
    // The listener has a connection of its own, as a notification server would.
    QDBusConnection server =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("listener"));
    ASSERT_TRUE(server.isConnected());
    NotificationListener listener;
    ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &listener,
                                      QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.Notifications")));

    const struct {
        const char* body;
        const char* received;
    } rows[] = {
        {"Over 5 V: 6.2 V DC at 12:01:03", "Over 5 V: 6.2 V DC at 12:01:03"},
        {"<b>bold</b> & <a href=\"x\">link</a>",
         "&lt;b&gt;bold&lt;/b&gt; &amp; &lt;a href=\"x\"&gt;link&lt;/a&gt;"},
        {"&amp; stays as typed", "&amp;amp; stays as typed"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.body);
        listener.calls.clear();
        ASSERT_TRUE(SendDesktopNotification(QStringLiteral("Velmora alarm: <Over 5>"),
                                            QString::fromUtf8(row.body)));
        ASSERT_TRUE(WaitFor([&] { return !listener.calls.empty(); }));
        EXPECT_EQ(listener.calls[0].appName.toStdString(), "Velmora");
        EXPECT_EQ(listener.calls[0].summary.toStdString(), "Velmora alarm: <Over 5>")
            << "the summary is plain text for every server";
        EXPECT_EQ(listener.calls[0].body.toStdString(), row.received);
        EXPECT_EQ(listener.calls[0].expireTimeout, -1);
    }
}

TEST(DesktopNotification, WithoutAServerNothingWaitsOrFails) {
    if (std::getenv("VELMORA_PRIVATE_SESSION_BUS") == nullptr) {
        GTEST_SKIP() << "needs dbus-run-session";
    }
    // No listener registered: sending is still immediate and succeeds.
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(SendDesktopNotification(QStringLiteral("x"), QStringLiteral("y")));
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST(AlarmProgram, GetsEachArgumentAsItIsNeverThroughAShell) {
    TempFolder folder;
    const std::string script = folder / "on-alarm";
    const std::string out = folder / "arguments";
    WriteBytes(script, "#!/bin/sh\n"
                       "{ for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done;"
                       "  readlink /proc/self/fd/0; } > \"" +
                           out +
                           ".part\"\n"
                           "mv \"" +
                           out + ".part\" \"" + out + "\"\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    const std::string marker = folder / "touched";
    const QStringList arguments = {
        QStringLiteral("6.2; touch %1").arg(QString::fromStdString(marker)),
        QStringLiteral("V DC $(touch %1) `touch %1`").arg(QString::fromStdString(marker)),
        QStringLiteral("Over 5 | rm -rf * && echo \"quoted\" 'single' > x"),
    };
    // The test's own input is a pipe while the program starts, so that one
    // inherited would show.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const int savedInput = ::dup(0);
    ::dup2(pipeFds[0], 0);
    QString whyNot;
    const bool started = StartAlarmProgram(QString::fromStdString(script), arguments, &whyNot);
    ::dup2(savedInput, 0);
    ::close(savedInput);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    ASSERT_TRUE(started) << whyNot.toStdString();
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(out); }));
    std::string expected;
    for (const QString& a : arguments) {
        expected += "[" + a.toStdString() + "]\n";
    }
    expected += "/dev/null\n"; // nothing of the window's own input reaches it
    EXPECT_EQ(ReadBytes(out).value_or(""), expected);
    EXPECT_FALSE(std::filesystem::exists(marker)) << "no shell ran the arguments";
}

TEST(AlarmProgram, AProgramThatCannotStartSaysWhy) {
    TempFolder folder;
    QString whyNot;
    EXPECT_FALSE(StartAlarmProgram(QString::fromStdString(folder / "missing"), {}, &whyNot));
    EXPECT_FALSE(whyNot.isEmpty());
    whyNot.clear();
    EXPECT_FALSE(StartAlarmProgram(QString(), {}, &whyNot));
    EXPECT_EQ(whyNot.toStdString(), "no program named");
}

} // namespace
} // namespace velmora::test

int main(int argc, char** argv) {
    // A bus of the test's own, so that nothing reaches the desktop of whoever runs it.
    if (std::getenv("VELMORA_PRIVATE_SESSION_BUS") == nullptr &&
        access("/usr/bin/dbus-run-session", X_OK) == 0) {
        setenv("VELMORA_PRIVATE_SESSION_BUS", "1", 1);
        std::vector<char*> args = {const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
        for (int i = 0; i < argc; ++i) {
            args.push_back(argv[i]);
        }
        args.push_back(nullptr);
        execv("/usr/bin/dbus-run-session", args.data());
        unsetenv("VELMORA_PRIVATE_SESSION_BUS"); // could not: the bus tests skip
    }
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "alarm_actions_test.moc"
