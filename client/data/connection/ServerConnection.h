#pragma once
// The connection to the application server: where it is, the handshake that
// opens it, and one kept-alive HTTP connection over which each request blocks
// the caller until its answer or a time-out.

#include <QString>

#include <memory>
#include <string>

namespace httplib {
class Client;
struct Response;
} // namespace httplib

class ServerConnection {
public:
    static constexpr int kDefaultPort = 10003;
    static constexpr int kConnectTimeoutMs = 3000;
    static constexpr int kReadTimeoutMs = 8000; // the server stops a statement after 3 s

    ServerConnection();
    ~ServerConnection();
    ServerConnection(const ServerConnection &) = delete;
    ServerConnection &operator=(const ServerConnection &) = delete;

    // Ignored while open: the connection stays where it was first opened.
    void setHostName(const QString &host) {
        if (!connected())
            hostName_ = host;
    }
    void setPort(int port) {
        if (!connected())
            port_ = port;
    }
    void setContext(const QString &context) {
        if (!connected())
            context_ = context;
    }
    // HTTPS, the server's certificate checked against the system's
    // authorities or, when given, the authorities in caFile.
    void setTls(bool useTls, const QString &caFile = QString()) {
        if (!connected()) {
            tls_ = useTls;
            caFile_ = caFile;
        }
    }
    bool tls() const { return tls_; }
    // The member's login and password, sent with every request.
    void setCredentials(const QString &userName, const QString &password);
    QString hostName() const { return hostName_; }
    int port() const { return port_; }
    QString context() const { return context_; }
    QString caFile() const { return caFile_; }
    QString userName() const { return QString::fromStdString(userName_); }
    QString password() const { return QString::fromStdString(password_); }

    // Makes the handshake; does nothing when already open. Throws ServerError
    // naming host, port and what failed.
    void open();
    bool connected() const { return client_ != nullptr; }
    void close();

    // Path of a server method, such as "/datasnap/rest/TZelServerDataBase/OpenSQL".
    std::string methodPath(const char *method) const;

    // POSTs body to path and returns the answer's body when the server says 200.
    // Throws ServerError of the kind that happened, with the server's code
    // and own explanation when it answered.
    std::string post(const std::string &path, const std::string &body);

    struct Answer {
        int status = 0;   // 200; 304 when the answer named by etag is still current;
                          // 226 when body holds only the rows that changed since it
        std::string body; // empty with 304
        std::string etag; // the answer's entity tag, when the server gave one
        // With 226: the rows of the earlier answer kept before and after body's rows.
        size_t keptFront = 0, keptBack = 0;
    };
    // As post(), sending etag (when given) as If-None-Match, and accepting
    // the rows changed since that answer instead of the whole new one.
    Answer postUnlessUnchanged(const std::string &path, const std::string &body,
                               const std::string &etag);

private:
    std::string where() const;
    Answer rowDeltaAnswer(httplib::Response &response, const std::string &etag) const;
    std::string rootPath() const;

    QString hostName_ = QStringLiteral("127.0.0.1");
    int port_ = kDefaultPort;
    QString context_ = QStringLiteral("datasnap/");
    bool tls_ = false;
    QString caFile_;
    std::string userName_, password_;
    std::unique_ptr<httplib::Client> client_;
};
