#pragma once
// nginx on 127.0.0.1, on a port the test picks, in front of a test's servers,
// with the configuration the project ships (packaging/proxy) and a
// certificate made for the run: its configuration, pid file, logs and
// certificate in a temporary folder; started and stopped by the test.
//
// Requests the test sends with "X-Test-Client: ADDR" stand for a member at
// ADDR; every answer names the server that gave it in X-Test-Server.

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class NginxProxy {
public:
    // Why nginx cannot run here; empty when it can.
    static QString unavailableReason();

    NginxProxy();
    ~NginxProxy();
    NginxProxy(const NginxProxy &) = delete;
    NginxProxy &operator=(const NginxProxy &) = delete;

    // The shipped configuration with its two servers at serverPorts; false
    // with the reason in errorText() when nginx does not come up.
    bool start(const QList<int> &serverPorts);
    // SIGTERM to nginx by its process id, and waits for it to exit.
    void stop();

    int port() const { return port_; }
    QString caFile() const; // the certificate the members' clients check
    QString errorText() const { return errorText_; }

private:
    bool makeCertificate();
    bool writeConfiguration(const QList<int> &serverPorts);
    bool launch();

    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
    QString errorText_;
};
