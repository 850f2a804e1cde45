#include "server/NginxProxy.h"

#include <QDeadlineTimer>
#include <QFile>

#include <httplib.h>

#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

namespace {

const QString kNginx = QStringLiteral("/usr/sbin/nginx");
const QString kShipped = QStringLiteral(SOLVANE_SOURCE_DIR "/packaging/proxy/solvane-nginx.conf");

// A port nobody listens on at the moment.
int freePort() {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        getsockname(socket, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(socket);
    return port;
}

} // namespace

QString NginxProxy::unavailableReason() {
    if (!QFile::exists(kNginx))
        return QStringLiteral("nginx is not installed (the package nginx)");
    return {};
}

NginxProxy::NginxProxy() {
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // A test that crashes leaves no proxy behind: one process, no workers,
    // ended by the kernel with the thread that started it.
    process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

NginxProxy::~NginxProxy() {
    stop();
}

QString NginxProxy::caFile() const {
    return dir_.filePath(QStringLiteral("proxy.pem"));
}

bool NginxProxy::makeCertificate() {
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                   "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                   "-keyout", dir_.filePath(QStringLiteral("proxy.key")), "-out", caFile()});
    if (openssl.waitForFinished(20000) && openssl.exitStatus() == QProcess::NormalExit &&
        openssl.exitCode() == 0)
        return true;
    errorText_ = QStringLiteral("openssl: ") + QString::fromUtf8(openssl.readAll());
    return false;
}

bool NginxProxy::writeConfiguration(const QList<int> &serverPorts) {
    QFile shipped(kShipped);
    if (serverPorts.size() != 2 || !shipped.open(QIODevice::ReadOnly)) {
        errorText_ = QStringLiteral("cannot read ") + kShipped;
        return false;
    }
    QString site = QString::fromUtf8(shipped.readAll());
    // What the test puts in place of the shipped addresses and files; each
    // must be there, or the test would not run what the project ships.
    const QList<QPair<QString, QString>> replaced = {
        {"server 127.0.0.1:10013 ", QString("server 127.0.0.1:%1 ").arg(serverPorts[0])},
        {"server 127.0.0.1:10014 ", QString("server 127.0.0.1:%1 ").arg(serverPorts[1])},
        {"listen 10003 ssl;", QString("listen 127.0.0.1:%1 ssl;").arg(port_)},
        {"listen [::]:10003 ssl;", QString()},
        {"/etc/solvane/proxy.pem", caFile()},
        {"/etc/solvane/proxy.key", dir_.filePath(QStringLiteral("proxy.key"))},
    };
    for (const auto &[from, to] : replaced) {
        if (!site.contains(from)) {
            errorText_ = QStringLiteral("the shipped configuration lacks \"%1\"").arg(from);
            return false;
        }
        site.replace(from, to);
    }
    const QString dir = dir_.path();
    const QString main = QStringLiteral("daemon off;\n"
                                        "master_process off;\n"
                                        "pid %1/nginx.pid;\n"
                                        "error_log %1/error.log notice;\n"
                                        "events { worker_connections 512; }\n"
                                        "http {\n"
                                        "    access_log %1/access.log;\n"
                                        "    client_body_temp_path %1/client_body;\n"
                                        "    proxy_temp_path %1/proxy;\n"
                                        "    fastcgi_temp_path %1/fastcgi;\n"
                                        "    uwsgi_temp_path %1/uwsgi;\n"
                                        "    scgi_temp_path %1/scgi;\n"
                                        "    set_real_ip_from 127.0.0.1;\n"
                                        "    real_ip_header X-Test-Client;\n"
                                        "    add_header X-Test-Server $upstream_addr always;\n"
                                        "    include %1/solvane.conf;\n"
                                        "}\n")
                             .arg(dir);
    QFile siteFile(dir_.filePath(QStringLiteral("solvane.conf")));
    QFile mainFile(dir_.filePath(QStringLiteral("nginx.conf")));
    if (!siteFile.open(QIODevice::WriteOnly) || !mainFile.open(QIODevice::WriteOnly)) {
        errorText_ = QStringLiteral("cannot write the configuration");
        return false;
    }
    siteFile.write(site.toUtf8());
    mainFile.write(main.toUtf8());
    return true;
}

bool NginxProxy::launch() {
    process_.start(kNginx, {"-p", dir_.path(), "-c", dir_.filePath(QStringLiteral("nginx.conf")),
                            "-e", dir_.filePath(QStringLiteral("error.log"))});
    if (!process_.waitForStarted(5000)) {
        errorText_ = process_.errorString();
        return false;
    }
    httplib::Client probe("https://127.0.0.1:" + std::to_string(port_));
    probe.set_ca_cert_path(caFile().toStdString());
    probe.set_connection_timeout(1);
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (auto answer = probe.Get("/datasnap/"); answer && answer->status == 200)
            return true;
        // Gone (its port taken, a line it refused), or a moment before asking again.
        if (process_.waitForFinished(50))
            break;
    }
    QFile log(dir_.filePath(QStringLiteral("error.log")));
    log.open(QIODevice::ReadOnly);
    errorText_ = QString::fromUtf8(process_.readAll() + log.readAll());
    stop();
    return false;
}

bool NginxProxy::start(const QList<int> &serverPorts) {
    if (!dir_.isValid() || !makeCertificate())
        return false;
    // The port is free when picked, but another program may take it before
    // nginx binds it: then a fresh one.
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = freePort();
        if (writeConfiguration(serverPorts) && launch())
            return true;
        if (!errorText_.contains(QStringLiteral("Address already in use")))
            return false;
    }
    return false;
}

void NginxProxy::stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}
