#include "data/connection/ChangeWatcher.h"

#include "data/connection/ServerAddress.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <QMetaObject>

#include <algorithm>
#include <csignal>
#include <cstdlib>

ChangeWatcher::ChangeWatcher(QObject *parent) : QObject(parent) {
    // Stopping closes the connection under a request: a TLS library writing
    // to it then must get an error, not a signal that ends the program.
    std::signal(SIGPIPE, SIG_IGN);
}

ChangeWatcher::~ChangeWatcher() {
    stop();
}

int ChangeWatcher::pauseBeforeRetryMs(int backOffMs, const std::string &retryAfter) {
    char *end = nullptr;
    const long seconds = std::strtol(retryAfter.c_str(), &end, 10);
    if (retryAfter.empty() || *end != '\0' || seconds <= 0)
        return backOffMs;
    return int(std::clamp<long>(seconds * 1000, backOffMs, kLongestRetryAfterMs));
}

void ChangeWatcher::start(const Server &server) {
    stop();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
    }
    thread_ = std::thread([this, server] { run(server); });
}

void ChangeWatcher::stop() {
    if (!thread_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        if (client_)
            client_->stop(); // ends the wait under way at once
    }
    wake_.notify_all();
    thread_.join();
}

bool ChangeWatcher::pause(int millis) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(millis), [this] { return stopping_; });
}

void ChangeWatcher::run(Server server) {
    httplib::Client client(serverUrl(server.host, server.port, server.tls));
    if (server.tls) {
        client.enable_server_certificate_verification(true);
        if (!server.caFile.isEmpty())
            client.set_ca_cert_path(server.caFile.toLocal8Bit().toStdString());
    }
    client.set_basic_auth(server.userName.toStdString(), server.password.toStdString());
    client.set_keep_alive(true);
    client.set_connection_timeout(std::chrono::seconds(3));
    client.set_read_timeout(std::chrono::milliseconds(kWaitMs));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_)
            return;
        client_ = &client;
    }
    const std::string path = contextRoot(server.context) + "changes";
    std::string since;
    std::map<std::string, std::string> versions;
    int retryMs = kFirstRetryMs;
    for (;;) {
        auto result = client.Get(since.empty() ? path : path + "?since=" + since);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_)
                break;
        }
        const auto answer = result && result->status == 200
                                ? nlohmann::json::parse(result->body, nullptr, false)
                                : nlohmann::json();
        if (!answer.is_object() || !answer.contains("tables") || !answer["tables"].is_object()) {
            // A server that has too many waits (429) or is busy (503) says
            // when to come back: never sooner.
            const std::string retryAfter =
                result ? result->get_header_value("Retry-After") : std::string();
            if (!pause(pauseBeforeRetryMs(retryMs, retryAfter)))
                break;
            retryMs = std::min(retryMs * 2, kLongestRetryMs);
            continue;
        }
        retryMs = kFirstRetryMs;
        since = answer.value("token", "");
        // The first answer only tells where things stand.
        const bool first = versions.empty();
        QStringList changed;
        for (const auto &[table, version] : answer["tables"].items()) {
            const std::string now = version.is_string() ? version.get<std::string>() : "";
            auto &seen = versions[table];
            if (!first && seen != now)
                changed << QString::fromStdString(table);
            seen = now;
        }
        if (!changed.isEmpty())
            QMetaObject::invokeMethod(
                this, [this, changed] { emit tablesChanged(changed); }, Qt::QueuedConnection);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    client_ = nullptr;
}
