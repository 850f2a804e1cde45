#pragma once
// Serves the routes and the statement requests over HTTP/1.1 with GNU
// libmicrohttpd. One event thread handles every connection, so an idle or
// slow connection costs a file descriptor and a few KiB, never a thread;
// statements run on the database workers while their connection is suspended.

#include "admission/AddressConnections.h"
#include "admission/ConfirmedLogins.h"
#include "admission/LoginThrottle.h"
#include "admission/ReaderShares.h"
#include "admission/WaitLimits.h"
#include "http/ClientAddress.h"
#include "http/DisconnectWatch.h"
#include "http/LogLines.h"
#include "http/Routes.h"
#include "live/ChangeFeed.h"
#include "requests/StatementRequests.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

struct MHD_Daemon;
struct MHD_Connection;

namespace appserver {

struct ListenOptions {
    std::string address = "127.0.0.1";
    int port = 10003; // 0 picks a free one
    unsigned maxConnections = 1000;
    unsigned perAddress = 32;   // 0: no limit
    unsigned idleSeconds = 5;   // a connection silent this long is closed
    std::string tlsCertificate; // PEM; set: HTTPS only
    std::string tlsKey;         // PEM
    ThrottleSettings throttle;  // failed logins
    unsigned readerShare = 0;   // queries one login may have in flight; 0: no limit
    WaitBounds waits;           // waits for changes
    int waitRetrySeconds = 10;  // Retry-After of a wait over its bounds
    TrustedProxies trustedProxies; // whose X-Forwarded-For names the client
};

class HttpServer {
public:
    // Listens at once; throws std::runtime_error when it cannot. The feed
    // answers the waits for changes.
    HttpServer(const Routes &routes, StatementRequests &requests, ChangeFeed &feed,
               const ListenOptions &options);
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    int port() const { return port_; }

    // Closes the listening socket; connections already open are still served.
    void stopAccepting();
    // Waits until every request taken so far has been answered; false on timeout.
    bool waitUntilAnswered(std::chrono::milliseconds timeout);

private:
    struct PendingRequest;
    friend struct MhdCallbacks;

    // Called once a request's headers are in; an answer may follow at once.
    bool begin(MHD_Connection *connection, PendingRequest &request);
    // The refusal, if any, of a statement request before it is queued.
    std::optional<Reply> turnAway(MHD_Connection *connection, PendingRequest &request);
    // A place in the request's login's share of the readers, or the 503.
    std::optional<Reply> takeShare(PendingRequest &request);
    // Called with each piece of the body, then once the whole request is in.
    bool handle(MHD_Connection *connection, PendingRequest &request, const char *upload,
                size_t *uploadSize);
    bool waitForChanges(MHD_Connection *connection, PendingRequest &request);
    bool answer(MHD_Connection *connection, PendingRequest &request, Reply reply);
    // The peer, or the client a trusted proxy names for it.
    ClientAddress clientOf(MHD_Connection *connection) const;
    void opened();
    void completed();

    const Routes &routes_;
    const TrustedProxies trustedProxies_;
    AddressConnections connections_;
    RequestLog log_;
    LoginThrottle throttle_;
    ReaderShares shares_;
    WaitLimits waits_;
    const int waitRetrySeconds_;
    DisconnectWatch disconnects_;
    StatementRequests &requests_;
    ChangeFeed &feed_;
    // Credentials the database has confirmed: waits for changes enter at
    // once, queries take their login's share of the readers.
    ConfirmedLogins confirmedLogins_;
    MHD_Daemon *daemon_ = nullptr;
    int port_ = 0;
    int quiesced_ = -1; // the listening socket once stopAccepting() took it back
    std::mutex mutex_;
    std::condition_variable allAnswered_;
    int unanswered_ = 0;
};

} // namespace appserver
