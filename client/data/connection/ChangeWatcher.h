#pragma once
// Holds one wait for changes open at the server, on a connection and a
// thread of its own, so that what other members do shows at once without the
// user-interface thread ever waiting. Each answer names the four tables'
// versions; the tables whose version moved are told to the owner's thread.
// When the server cannot be reached or refuses the wait (too many waits,
// busy), the watcher waits again with a back-off (1 s doubling to 30 s), and
// never sooner than the server's Retry-After; a server restarted tells every
// table as changed.

#include <QObject>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Client;
}

class ChangeWatcher : public QObject {
    Q_OBJECT
public:
    struct Server {
        QString host;
        int port = 0;
        QString context; // as the connection has it, such as "datasnap/"
        bool tls = false;
        QString caFile;
        QString userName, password;
    };
    static constexpr int kFirstRetryMs = 1000, kLongestRetryMs = 30000;
    // A Retry-After longer than this is taken as this long.
    static constexpr int kLongestRetryAfterMs = 300000;
    // Longer than the server's quiet period (25 s), after which it answers anyway.
    static constexpr int kWaitMs = 40000;

    explicit ChangeWatcher(QObject *parent = nullptr);
    ~ChangeWatcher() override;

    // Starts watching server, after stopping any earlier watch.
    void start(const Server &server);
    void stop();
    bool watching() const { return thread_.joinable(); }

    // How long to wait before asking again: the back-off, or the server's
    // Retry-After (seconds) when that is longer.
    static int pauseBeforeRetryMs(int backOffMs, const std::string &retryAfter);

signals:
    // Names from "Login", "Programe", "Task", "Notice".
    void tablesChanged(const QStringList &tables);

private:
    void run(Server server);
    // False when stopped meanwhile.
    bool pause(int millis);

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    httplib::Client *client_ = nullptr; // the thread's, stopped from outside under mutex_
    std::thread thread_;
};
