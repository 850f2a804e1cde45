#include "http/HttpServer.h"

#include "http/HeaderLists.h"
#include "http/RequestHeaders.h"
#include "members/MemberDirectory.h"
#include "protocol/RowChanges.h"

#include <microhttpd.h>
#include <netdb.h>
#include <strings.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace appserver {
namespace {

using Clock = std::chrono::steady_clock;

// MHD keeps a request's header block and its read and write buffers in this
// much memory per connection; a longer header block is refused.
constexpr size_t kConnectionMemoryBytes = 16 << 10;
// A body declared longer than the cap is read and dropped before the 413, so
// that a client still sending it sees the answer; past this much the
// connection is closed instead.
constexpr size_t kDiscardUpToBytes = 8 * kMaxBodyBytes;

// TLS 1.2 and 1.3 only, with ephemeral key exchange (a recorded session stays
// secret when the server's key leaks later) and AEAD ciphers only.
constexpr const char *kTlsPriorities =
    "SECURE128:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:-RSA:-AES-128-CBC:-AES-256-CBC:"
    "-CAMELLIA-128-CBC:-CAMELLIA-256-CBC:%SAFE_RENEGOTIATION";

struct Framing {
    int contentLengths = 0;
    bool transferEncoding = false;
};

MHD_Result countFraming(void *cls, MHD_ValueKind, const char *key, const char *) {
    auto &framing = *static_cast<Framing *>(cls);
    if (strcasecmp(key, MHD_HTTP_HEADER_CONTENT_LENGTH) == 0)
        ++framing.contentLengths;
    else if (strcasecmp(key, MHD_HTTP_HEADER_TRANSFER_ENCODING) == 0)
        framing.transferEncoding = true;
    return MHD_YES;
}

// A body whose length two headers disagree about could be read one way here
// and another way by a proxy in front: such a request is refused outright.
const char *framingProblem(MHD_Connection *connection) {
    Framing framing;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, countFraming, &framing);
    if (framing.contentLengths > 1)
        return "malformed request: more than one Content-Length";
    if (framing.contentLengths == 1 && framing.transferEncoding)
        return "malformed request: both Content-Length and Transfer-Encoding";
    return nullptr;
}

size_t declaredLength(MHD_Connection *connection) {
    const char *value =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    return value ? std::strtoull(value, nullptr, 10) : 0;
}

// A body with the budget it holds, both given back when MHD is done sending.
struct SentBody {
    std::string text;
    std::shared_ptr<const std::string> shared; // a cached answer's text, sent instead
    BudgetShare memory;
    const std::string &sent() const { return shared ? *shared : text; }
};

void freeBody(void *body) {
    delete static_cast<SentBody *>(body);
}

sockaddr_storage resolve(const ListenOptions &options) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const std::string port = std::to_string(options.port);
    if (getaddrinfo(options.address.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        throw std::runtime_error("cannot listen on " + options.address + ": no such address");
    sockaddr_storage address{};
    std::memcpy(&address, found->ai_addr, found->ai_addrlen);
    freeaddrinfo(found);
    return address;
}

Credentials basicCredentials(MHD_Connection *connection) {
    Credentials credentials;
    char *password = nullptr;
    char *user = MHD_basic_auth_get_username_password(connection, &password);
    if (user && password) {
        credentials = Credentials{true, user, password};
    }
    MHD_free(user);
    MHD_free(password);
    return credentials;
}

const sockaddr *peerOf(MHD_Connection *connection) {
    const MHD_ConnectionInfo *peer =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    return peer ? peer->client_addr : nullptr;
}

// Every X-Forwarded-For line of a request, in order, as one list: a proxy
// may add its own line rather than extend the client's.
MHD_Result collectForwardedFor(void *cls, MHD_ValueKind, const char *key, const char *value) {
    auto &list = *static_cast<std::string *>(cls);
    if (strcasecmp(key, "X-Forwarded-For") == 0 && value) {
        if (!list.empty())
            list += ',';
        list += value;
    }
    return MHD_YES;
}

Delivery deliveryFor(MHD_Connection *connection) {
    Delivery delivery;
    if (const char *tags =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_IF_NONE_MATCH))
        for (std::string_view tag : headerListItems(tags))
            delivery.ifNoneMatch.emplace_back(tag);
    if (const char *codings = MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                          MHD_HTTP_HEADER_ACCEPT_ENCODING))
        delivery.acceptsGzip = acceptsGzip(codings);
    if (const char *manipulations =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "A-IM"))
        delivery.acceptsRowDelta = namesManipulation(manipulations, RowChanges::kManipulation);
    return delivery;
}

} // namespace

struct HttpServer::PendingRequest {
    Clock::time_point started = Clock::now();
    std::string method;
    std::string path;
    Method statement = Method::OpenSQL;
    bool waitsForChanges = false; // GET changes: answered by the feed
    std::string since;            // its versions' token
    Credentials credentials;
    std::string userName; // as sent, for the log
    ClientAddress client; // the peer, or the client a trusted proxy names
    std::string peer;     // LoginThrottle's key for the client's address
    std::string login;    // LoginThrottle's key for the login; empty without credentials
    std::string loginVersion; // of the Login table when the request came
    bool queued = false;  // the credentials have been checked, unless the workers were busy
    bool sharesReaders = false; // a query that takes a share of its login's
    ReaderShares::Hold share;   // taken once the credentials are known to be right
    int retryAfterSeconds = 0;
    Delivery delivery;
    std::optional<Reply> reply; // known once set; the body is then dropped
    std::string body;
};

struct MhdCallbacks {
    static MHD_Result onRequest(void *self, MHD_Connection *connection, const char *url,
                                const char *method, const char *, const char *upload,
                                size_t *uploadSize, void **context) {
        auto &server = *static_cast<HttpServer *>(self);
        auto *request = static_cast<HttpServer::PendingRequest *>(*context);
        if (!request) {
            request = new HttpServer::PendingRequest;
            request->method = method;
            request->path = url;
            *context = request;
            return server.begin(connection, *request) ? MHD_YES : MHD_NO;
        }
        return server.handle(connection, *request, upload, uploadSize) ? MHD_YES : MHD_NO;
    }

    static MHD_Result onAccept(void *self, const sockaddr *peer, socklen_t) {
        auto &server = *static_cast<HttpServer *>(self);
        return server.connections_.admits(ClientAddress::of(peer).text()) ? MHD_YES : MHD_NO;
    }

    // Counts each connection against its peer's address while it is open.
    static void onConnection(void *self, MHD_Connection *connection, void **context,
                             MHD_ConnectionNotificationCode code) {
        auto &server = *static_cast<HttpServer *>(self);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            auto *address = new std::string(ClientAddress::of(peerOf(connection)).text());
            server.connections_.opened(*address);
            *context = address;
        } else if (auto *address = static_cast<std::string *>(*context)) {
            server.connections_.closed(*address);
            delete address;
            *context = nullptr;
        }
    }

    static void onCompleted(void *self, MHD_Connection *, void **context,
                            MHD_RequestTerminationCode) {
        delete static_cast<HttpServer::PendingRequest *>(*context);
        *context = nullptr;
        static_cast<HttpServer *>(self)->completed();
    }
};

HttpServer::HttpServer(const Routes &routes, StatementRequests &requests, ChangeFeed &feed,
                       const ListenOptions &options)
    : routes_(routes), trustedProxies_(options.trustedProxies),
      connections_(options.perAddress, options.trustedProxies.texts()), throttle_(options.throttle),
      shares_(options.readerShare), waits_(options.waits),
      waitRetrySeconds_(options.waitRetrySeconds), requests_(requests), feed_(feed) {
    sockaddr_storage address = resolve(options);
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME;
    if (address.ss_family == AF_INET6)
        flags |= MHD_USE_IPv6;
    const bool tls = !options.tlsCertificate.empty();
    if (!tls && !isLoopback(reinterpret_cast<const sockaddr *>(&address)))
        std::fprintf(stderr,
                     "solvane-server: warning: listening on %s without TLS: every member's login "
                     "name and password, and every answer, travel in clear over the network. "
                     "Give --tls-cert FILE --tls-key FILE to serve HTTPS.\n",
                     options.address.c_str());
    if (tls) {
        if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES)
            throw std::runtime_error("this build of libmicrohttpd cannot serve HTTPS");
        flags |= MHD_USE_TLS;
    }
    // Without TLS the two key options are skipped: they end the list early.
    const MHD_OptionItem tlsOptions[] = {
        {tls ? MHD_OPTION_HTTPS_MEM_CERT : MHD_OPTION_END, 0,
         const_cast<char *>(options.tlsCertificate.c_str())},
        {MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char *>(options.tlsKey.c_str())},
        {MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char *>(kTlsPriorities)},
        {MHD_OPTION_END, 0, nullptr}};
    daemon_ = MHD_start_daemon(
        flags, static_cast<uint16_t>(options.port), &MhdCallbacks::onAccept, this,
        &MhdCallbacks::onRequest, this, MHD_OPTION_SOCK_ADDR, &address, MHD_OPTION_CONNECTION_LIMIT,
        options.maxConnections, MHD_OPTION_CONNECTION_TIMEOUT, options.idleSeconds,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemoryBytes, MHD_OPTION_NOTIFY_COMPLETED,
        &MhdCallbacks::onCompleted, this, MHD_OPTION_NOTIFY_CONNECTION, &MhdCallbacks::onConnection,
        this, MHD_OPTION_ARRAY, tlsOptions, MHD_OPTION_END);
    if (!daemon_)
        throw std::runtime_error("cannot listen on " + options.address + ":" +
                                 std::to_string(options.port));
    const MHD_DaemonInfo *info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    port_ = info ? info->port : options.port;
}

HttpServer::~HttpServer() {
    // Every suspended connection has been resumed by now: the workers that
    // resume them finish before the server goes away.
    MHD_stop_daemon(daemon_);
    if (quiesced_ != MHD_INVALID_SOCKET)
        close(quiesced_);
}

void HttpServer::stopAccepting() {
    // MHD's thread may still use the socket it hands back, until the daemon
    // stops: shutting it down refuses new connections now; it is closed
    // only after MHD_stop_daemon.
    quiesced_ = MHD_quiesce_daemon(daemon_);
    if (quiesced_ != MHD_INVALID_SOCKET)
        shutdown(quiesced_, SHUT_RDWR);
}

bool HttpServer::waitUntilAnswered(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return allAnswered_.wait_for(lock, timeout, [this] { return unanswered_ == 0; });
}

void HttpServer::opened() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++unanswered_;
}

void HttpServer::completed() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--unanswered_ == 0)
        allAnswered_.notify_all();
}

bool HttpServer::begin(MHD_Connection *connection, PendingRequest &request) {
    opened();
    if (const char *problem = framingProblem(connection))
        return answer(connection, request, errorReply(400, problem, "malformed"));
    if (declaredLength(connection) > kDiscardUpToBytes)
        return answer(connection, request,
                      errorReply(413, "the statement is longer than " + sizeText(kMaxBodyBytes),
                              "too-large"));
    auto route = routes_.route(request.method, request.path);
    if (auto *reply = std::get_if<Reply>(&route)) {
        request.reply = std::move(*reply);
    } else if (std::holds_alternative<ChangesWait>(route)) {
        request.waitsForChanges = true;
        if (const char *since =
                MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "since"))
            request.since = since;
    } else {
        request.statement = std::get<Method>(route);
    }
    request.credentials = basicCredentials(connection);
    request.userName = request.credentials.userName;
    request.delivery = deliveryFor(connection);
    request.client = clientOf(connection);
    request.delivery.peerOnLoopback = request.client.loopback();
    request.peer = request.client.throttleKey();
    if (!request.reply)
        request.reply = turnAway(connection, request);
    return true;
}

ClientAddress HttpServer::clientOf(MHD_Connection *connection) const {
    const ClientAddress peer = ClientAddress::of(peerOf(connection));
    if (!trustedProxies_.trusts(peer))
        return peer;
    std::string forwardedFor;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, collectForwardedFor, &forwardedFor);
    return trustedProxies_.client(peer, forwardedFor);
}

std::optional<Reply> HttpServer::turnAway(MHD_Connection *, PendingRequest &request) {
    if (request.credentials.given) {
        request.login = LoginThrottle::loginKey(request.credentials.userName);
        request.loginVersion = feed_.loginVersion();
    }
    if (const auto wait = throttle_.wait(request.peer, request.login)) {
        request.retryAfterSeconds = int(wait->left.count());
        const char *whose = wait->scope == LoginThrottle::Scope::Address ? "from this address"
                            : wait->scope == LoginThrottle::Scope::Login
                                ? "for this login name"
                                : "for this login name from this address";
        return errorReply(429,
                       std::string("too many failed logins ") + whose + ": try again in " +
                           std::to_string(request.retryAfterSeconds) + " s",
                       "throttled");
    }
    // The administrators' tools are trusted with more than one member's share;
    // a wait for changes holds no worker.
    if (request.waitsForChanges || request.statement != Method::OpenSQL || request.login.empty() ||
        MemberDirectory::isPrivileged(request.credentials.userName))
        return std::nullopt;
    // Nothing is held for a login before its password is known: for
    // credentials the database has not confirmed yet, the share is taken on
    // the worker once it has checked them (where a wrong password counts as
    // a failed login), and not here.
    request.sharesReaders = true;
    if (!confirmedLogins_.confirmed(request.credentials.userName, request.credentials.password,
                                    request.loginVersion))
        return std::nullopt;
    return takeShare(request);
}

std::optional<Reply> HttpServer::takeShare(PendingRequest &request) {
    request.share = shares_.take(request.login);
    if (request.share)
        return std::nullopt;
    request.retryAfterSeconds = 1;
    return errorReply(503,
                   "the server is busy with " + std::to_string(shares_.share()) +
                       " queries of this login name already: try again shortly",
                   "busy");
}

bool HttpServer::handle(MHD_Connection *connection, PendingRequest &request, const char *upload,
                        size_t *uploadSize) {
    if (*uploadSize > 0) {
        // Keeps one byte past the cap, enough for refuseBody() to see it.
        if (!request.reply && request.body.size() <= kMaxBodyBytes)
            request.body.append(upload,
                                std::min(*uploadSize, kMaxBodyBytes + 1 - request.body.size()));
        *uploadSize = 0;
        return true;
    }
    // The whole request is in, or a worker has answered it.
    if (request.reply)
        return answer(connection, request, std::move(*request.reply));
    if (request.waitsForChanges)
        return waitForChanges(connection, request);
    if (auto refusal = routes_.refuseBody(request.body))
        return answer(connection, request, std::move(*refusal));
    // Suspended before the job is queued, so a worker's resume always finds
    // the connection suspended. The worker writes the reply before it resumes;
    // MHD's resume takes a lock that this thread takes too before it calls
    // back, which orders the two.
    MHD_suspend_connection(connection);
    request.queued = true;
    // A query is stopped when its client goes away meanwhile.
    std::shared_ptr<QueryStop> stop;
    uint64_t watched = 0;
    if (request.statement == Method::OpenSQL) {
        stop = std::make_shared<QueryStop>();
        const MHD_ConnectionInfo *socket =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        if (socket)
            watched = disconnects_.watch(socket->connect_fd, [stop] { stop->raise(); });
    }
    PendingRequest *pending = &request;
    // On the worker, with the connection suspended: the request is this
    // thread's again only once resumed.
    StatementRequests::Admission admit;
    if (request.sharesReaders && !request.share)
        admit = [this, pending] { return takeShare(*pending); };
    // Kept: confirmed once the answer shows the database accepted them.
    Credentials credentials = request.credentials;
    requests_.run(
        request.statement, std::move(request.body), std::move(credentials),
        std::move(request.delivery),
        [connection, pending, this, watched](Reply reply) {
            disconnects_.forget(watched); // before MHD may close the socket
            pending->reply = std::move(reply);
            MHD_resume_connection(connection); // last touch: the request may go right after
        },
        std::move(stop), std::move(admit));
    return true;
}

// The member is checked on a worker, then the request waits in the feed
// with its connection suspended, until the feed answers it or its client goes.
bool HttpServer::waitForChanges(MHD_Connection *connection, PendingRequest &request) {
    MHD_suspend_connection(connection);
    request.queued = true;
    struct Wait {
        std::mutex mutex;
        bool gone = false;
        uint64_t feedId = 0;
        uint64_t watched = 0;
        WaitLimits::Place place;
    };
    auto wait = std::make_shared<Wait>();
    PendingRequest *pending = &request;
    // Called once: by the feed, or with a refusal.
    auto finish = [this, connection, pending, wait](Reply reply, int retryAfterSeconds = 0) {
        disconnects_.forget(wait->watched);
        wait->place.release();
        pending->retryAfterSeconds = retryAfterSeconds;
        pending->reply = std::move(reply);
        MHD_resume_connection(connection); // last touch: the request may go right after
    };
    const MHD_ConnectionInfo *socket =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (socket)
        wait->watched = disconnects_.watch(socket->connect_fd, [this, wait] {
            uint64_t feedId = 0;
            {
                std::lock_guard<std::mutex> lock(wait->mutex);
                wait->gone = true;
                feedId = wait->feedId;
            }
            if (feedId)
                feed_.forget(feedId);
        });
    // Enters the feed once the member is known, if the bounds leave room.
    auto enter = [this, wait, finish, since = request.since, peer = request.peer,
                  login = LoginThrottle::loginKey(request.credentials.userName)] {
        std::lock_guard<std::mutex> lock(wait->mutex);
        if (wait->gone)
            return finish(nobodyWaitsReply());
        auto taken = waits_.take(peer, login);
        if (!taken.place) {
            const char *whose = taken.over == WaitLimits::Over::Login     ? "of this login name"
                                : taken.over == WaitLimits::Over::Address ? "from this address"
                                                                          : "in all";
            return finish(errorReply(429,
                                  std::string("too many waits for changes ") + whose +
                                      ": try again in " + std::to_string(waitRetrySeconds_) + " s",
                                  "throttled"),
                          waitRetrySeconds_);
        }
        wait->place = std::move(taken.place);
        wait->feedId = feed_.wait(since, [finish](const std::string &versions) {
            finish(versions.empty() ? errorReply(503, "the server is stopping", "unavailable")
                                    : Reply{200, versions});
        });
    };
    const Credentials &credentials = request.credentials;
    const std::string loginVersion = feed_.loginVersion();
    if (credentials.given &&
        confirmedLogins_.confirmed(credentials.userName, credentials.password, loginVersion)) {
        enter();
        return true;
    }
    requests_.checkMember(credentials, [this, finish, enter, credentials,
                                        loginVersion](std::optional<Reply> refusal) {
        if (refusal)
            return finish(std::move(*refusal));
        confirmedLogins_.remember(credentials.userName, credentials.password, loginVersion);
        enter();
    });
    return true;
}

bool HttpServer::answer(MHD_Connection *connection, PendingRequest &request, Reply reply) {
    request.reply.reset();
    request.share.release();
    if (request.queued && !request.login.empty()) {
        // A 499 or 503 may come before the credentials were checked.
        if (reply.status == 401) {
            throttle_.failed(request.peer, request.login);
        } else if (reply.status != 503 && reply.status != 499) {
            throttle_.succeeded(request.peer, request.login);
            if (!request.loginVersion.empty())
                confirmedLogins_.remember(request.credentials.userName,
                                          request.credentials.password, request.loginVersion);
        }
    }
    auto *body =
        new SentBody{std::move(reply.body), std::move(reply.sharedBody), std::move(reply.memory)};
    MHD_Response *response = MHD_create_response_from_buffer_with_free_callback_cls(
        body->sent().size(), const_cast<char *>(body->sent().data()), freeBody, body);
    if (!response) {
        delete body;
        return false;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "application/json");
    if (!reply.etag.empty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, reply.etag.c_str());
    if (reply.gzipped)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_ENCODING, "gzip");
    if (reply.status == 226) {
        const std::string kept =
            std::to_string(reply.keptFront) + ", " + std::to_string(reply.keptBack);
        MHD_add_response_header(response, "IM", RowChanges::kManipulation);
        MHD_add_response_header(response, RowChanges::kDeltaBaseHeader, reply.deltaBase.c_str());
        MHD_add_response_header(response, RowChanges::kRowsKeptHeader, kept.c_str());
    }
    // Whether an answer is compressed depends on the request's Accept-Encoding.
    if (!reply.etag.empty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_VARY, MHD_HTTP_HEADER_ACCEPT_ENCODING);
    if (request.retryAfterSeconds > 0)
        MHD_add_response_header(response, MHD_HTTP_HEADER_RETRY_AFTER,
                                std::to_string(request.retryAfterSeconds).c_str());
    else if (reply.status == 503)
        MHD_add_response_header(response, MHD_HTTP_HEADER_RETRY_AFTER, "1");
    // A client told to come back later holds no connection meanwhile.
    if (reply.status == 429)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    if (reply.status == 401)
        MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE,
                                "Basic realm=\"Solvane\", charset=\"UTF-8\"");
    const MHD_Result queued = MHD_queue_response(connection, reply.status, response);
    MHD_destroy_response(response);
    const std::chrono::duration<double, std::milli> took = Clock::now() - request.started;
    LoggedRequest logged;
    logged.method = request.method;
    logged.path = request.path;
    logged.status = reply.status;
    logged.millis = took.count();
    logged.rows = reply.rows;
    logged.failure = reply.failure;
    std::string peer, excerpt;
    if (!reply.failure.empty()) {
        peer = request.client.text();
        logged.peer = peer;
        logged.login = request.userName;
        excerpt = statementExcerpt(reply.statement);
        logged.excerpt = excerpt;
    }
    // Failures, at most a few lines a second per address; a department's
    // waits for changes would fill the log: only failed ones go there.
    if (!reply.failure.empty())
        log_.refused(logged, request.peer);
    else if (!request.waitsForChanges)
        log_.answered(logged);
    return queued == MHD_YES;
}

} // namespace appserver
