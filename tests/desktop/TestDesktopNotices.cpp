// New notices on the desktop, on a session bus of the test's own (Debian's
// dbus-daemon): through org.freedesktop.Notifications where a service serves
// it (here a small one in a process of its own, as a desktop's would be),
// and nothing, without an error, where neither the service nor a tray is there.

#include "shell/DesktopNotices.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <cstdio>
#include <cstring>

namespace {

// The service's side: each notice's summary and body on a line of stdout.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &, int) {
        std::printf("%s|%s|%s\n", qPrintable(summary), qPrintable(QString(body).replace('\n', '/')),
                    qPrintable(actions.join(',')));
        std::fflush(stdout);
        return ++last_;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("actions")}; }
    void CloseNotification(uint) {}

private:
    uint last_ = 0;
};

int serveNotifications(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    NotificationService service;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject("/org/freedesktop/Notifications", &service,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService("org.freedesktop.Notifications"))
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

} // namespace

class TestDesktopNotices : public QObject {
    Q_OBJECT
private slots:
    void withoutServiceOrTrayNothingIsShown();
    void theServiceShowsTheNotices();

private:
    QWidget window_;
};

void TestDesktopNotices::withoutServiceOrTrayNothingIsShown() {
    QVERIFY(QDBusConnection::sessionBus().isConnected());
    DesktopNotices notices(&window_);
    notices.tell({"项目编号:GD1 下的派发任务已完成！"});
    QCOMPARE(notices.lastWay(), DesktopNotices::Way::None); // offscreen: no tray either
}

void TestDesktopNotices::theServiceShowsTheNotices() {
    QProcess service;
    service.start(QCoreApplication::applicationFilePath(), {"--serve-notifications"});
    QVERIFY(service.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(service.canReadLine() || service.waitForReadyRead(100), 10000);
    QCOMPARE(service.readLine().trimmed(), "ready");

    DesktopNotices notices(&window_);
    notices.tell({"项目编号:GD1 下的派发任务已完成！", "<b>二</b>", "三", "四"});
    QCOMPARE(notices.lastWay(), DesktopNotices::Way::Service);
    QTRY_VERIFY_WITH_TIMEOUT(service.canReadLine() || service.waitForReadyRead(100), 10000);
    const QString shown = QString::fromUtf8(service.readLine().trimmed());
    const QStringList parts = shown.split('|');
    QCOMPARE(parts.size(), 3);
    QCOMPARE(parts[0], "Solvane：4条新通告");
    // The first three, the markup some services read shown as typed.
    QCOMPARE(parts[1], "项目编号:GD1 下的派发任务已完成！/&lt;b&gt;二&lt;/b&gt;/三");
    QCOMPARE(parts[2], "default,打开Solvane"); // a click brings the window to the front

    service.terminate();
    QVERIFY(service.waitForFinished());
    // The service gone: nothing shown, nothing waited for.
    QTRY_VERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(
        "org.freedesktop.Notifications"));
    notices.tell({"五"});
    QCOMPARE(notices.lastWay(), DesktopNotices::Way::None);
}

int main(int argc, char **argv) {
    if (argc > 1 && !std::strcmp(argv[1], "--serve-notifications"))
        return serveNotifications(argc, argv); // on the parent's bus
    // A session bus of the test's own, with no service it could start.
    QTemporaryDir busDir;
    const QString config = busDir.filePath("session.conf");
    {
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(QStringLiteral(
                       "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                       "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/"
                       "busconfig.dtd\">\n<busconfig><type>session</type>"
                       "<listen>unix:dir=%1</listen><policy context=\"default\">"
                       "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                       "<allow own=\"*\"/></policy></busconfig>\n")
                       .arg(busDir.path())
                       .toUtf8());
    }
    QProcess bus;
    bus.start("dbus-daemon", {"--nofork", "--print-address=1", "--config-file=" + config});
    if (!bus.waitForStarted(10000) || !bus.waitForReadyRead(10000)) {
        std::fprintf(stderr, "dbus-daemon did not start: %s\n", qPrintable(bus.errorString()));
        return 1;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
    int status = 0;
    {
        QApplication app(argc, argv);
        QTEST_SET_MAIN_SOURCE_PATH
        TestDesktopNotices test;
        status = QTest::qExec(&test, argc, argv);
    }
    bus.terminate();
    bus.waitForFinished(10000);
    return status;
}

#include "TestDesktopNotices.moc"
