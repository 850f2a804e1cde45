#include "support/ShellFixture.h"

#include "ClientApp.h"
#include "data/DataAccess.h"
#include "seams/AppClock.h"
#include "seams/Dialogs.h"
#include "shell/LoginSettings.h"
#include "shell/LoginWindow.h"
#include "shell/MainWindow.h"

#include <QFile>
#include <QLineEdit>
#include <QSettings>

bool ShellFixture::start(const QList<QStringList> &members) {
    server_ = std::make_unique<ServerProcess>(QStringList{}, ServerProcess::storageUnderTest());
    if (!server_->start())
        return false;
    QFile::remove(settingsPath());
    LoginSettings::setPathForTesting(settingsPath());
    pointSettingsAt("127.0.0.1", "127.0.0.1");
    Dialogs::setRecording(true);
    AppClock::setFixed({});
    for (const QStringList &m : members)
        if (!exec(QString("Insert into Login values('%1','%2','%3')").arg(m[0], m[1], m[2])))
            return false;
    return true;
}

void ShellFixture::stop() {
    if (server_)
        server_->stop();
    AppClock::setFixed({});
}

void ShellFixture::pointSettingsAt(const QString &internalHost, const QString &internetHost) {
    QSettings ini(settingsPath(), QSettings::IniFormat);
    ini.setValue("Server/InternalHost", internalHost);
    ini.setValue("Server/InternetHost", internetHost);
    ini.setValue("Server/Port", server_->port());
    ini.sync();
}

// Straight into the database, past the server: the setting of the scene, not
// something a member does, so no rule of the server applies to it.
bool ShellFixture::exec(const QString &sql) {
    return server_->execOnDatabaseFile(sql);
}

void ShellFixture::actAs(ClientApp &client) {
    DataAccess::setGateway(client.mainWindow->gateway.get());
}

bool ShellFixture::logIn(ClientApp &client, const QString &user, const QString &password) {
    client.loginWindow->userNameEdit->setText(user);
    client.loginWindow->passwordEdit->setText(password);
    client.loginWindow->logIn();
    return client.loginWindow->result() == QDialog::Accepted && client.mainWindow->hasMember();
}
