// The help menu's About box: where it sits, and that it names the client's
// version and the server the member is logged in to.

#include "ClientApp.h"
#include "seams/Dialogs.h"
#include "shell/AboutBox.h"
#include "shell/MainWindow.h"
#include "solvane_version.h"
#include "support/ShellFixture.h"

#include <QMenu>
#include <QMenuBar>
#include <QtTest>

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void helpMenuSitsBesideTheOtherEntries();
    void aboutNamesVersionAndServer();
    void aboutSaysWhenNoServerIsConnected();

private:
    ShellFixture fixture_;
    std::unique_ptr<ClientApp> app_;
};

void TestAbout::init() {
    QVERIFY2(fixture_.start({{"tb58", "pw", "Mareth"}}), qPrintable(fixture_.server().errorText()));
    app_ = std::make_unique<ClientApp>();
}

void TestAbout::cleanup() {
    app_.reset();
    fixture_.stop();
    QCOMPARE(Dialogs::takeShown().size(), 0);
}

void TestAbout::helpMenuSitsBesideTheOtherEntries() {
    QStringList titles;
    for (QAction *entry : app_->mainWindow->menuBar()->actions())
        titles << entry->text();
    // Each caption's letter is its Alt key.
    QVERIFY2(titles.contains("添加项目(&A)") && titles.contains("成员管理(&U)"),
             qPrintable(titles.join(", ")));
    QCOMPARE(titles.last(), QString("帮助(&H)"));
    QMenu *help = app_->mainWindow->menuBar()->actions().last()->menu();
    QVERIFY(help);
    // The desktop notices' check, then the about box.
    QCOMPARE(help->actions(), (QList<QAction *>{app_->mainWindow->desktopNoticesAction,
                                                app_->mainWindow->aboutAction}));
    QCOMPARE(app_->mainWindow->aboutAction->text(), QString("关于Solvane"));
}

void TestAbout::aboutNamesVersionAndServer() {
    QVERIFY(ShellFixture::logIn(*app_, "tb58", "pw"));
    app_->mainWindow->aboutAction->trigger();
    const QList<Dialogs::Shown> shown = Dialogs::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].caption, QString("关于Solvane"));
    QCOMPARE(shown[0].icon, QMessageBox::Information);
    QCOMPARE(shown[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    const QStringList lines = shown[0].text.split('\r');
    QCOMPARE(lines.first(), QString("Solvane " SOLVANE_VERSION));
    QVERIFY2(lines.contains(QString("服务器：127.0.0.1:%1").arg(fixture_.server().port())),
             qPrintable(shown[0].text));
}

void TestAbout::aboutSaysWhenNoServerIsConnected() {
    ServerConnection connection;
    connection.setHostName("10.0.0.5");
    connection.setPort(10003);
    QVERIFY2(AboutBox::text(connection).contains("服务器：10.0.0.5:10003（未连接）"),
             qPrintable(AboutBox::text(connection)));
}

QTEST_MAIN(TestAbout)
#include "TestAbout.moc"
