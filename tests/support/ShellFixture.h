#pragma once
// What a test of the client's windows needs: a real server with a few members,
// Server.ini in a temporary folder pointing at it, and message boxes recorded.

#include "support/ServerProcess.h"

#include <QTemporaryDir>

#include <memory>

class ClientApp;

class ShellFixture {
public:
    // Starts the server and adds the members (login name, password, display name).
    bool start(const QList<QStringList> &members);
    void stop();

    // Writes the addresses into Server.ini: internal and internet host, port.
    void pointSettingsAt(const QString &internalHost, const QString &internetHost);
    QString settingsPath() const { return dir_.filePath("Server.ini"); }

    // Runs statements on the server's database, past the server (in SQLite's
    // spelling on either storage).
    bool exec(const QString &sql);

    ServerProcess &server() { return *server_; }

    // Types the login into the client's login window and presses "登录";
    // true when the login window closed with a member logged in.
    static bool logIn(ClientApp &client, const QString &user, const QString &password);
    // The data-access operations act through the gateway set last; a test
    // with two members logged in makes this one's current before acting as it.
    static void actAs(ClientApp &client);

private:
    QTemporaryDir dir_;
    std::unique_ptr<ServerProcess> server_;
};
