#include "data/connection/ServerConnection.h"

#include "data/answers/ServerError.h"
#include "data/connection/ServerAddress.h"
#include "protocol/RowChanges.h"

#include <cstdio>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace {

std::string failureText(httplib::Error error) {
    switch (error) {
    case httplib::Error::Connection:
        return "the server cannot be reached";
    case httplib::Error::Read:
        return "no answer in time or the connection was lost";
    case httplib::Error::Write:
        return "the request could not be sent";
    case httplib::Error::ConnectionTimeout:
        return "connecting timed out";
    default:
        return "the request failed (" + httplib::to_string(error) + ")";
    }
}

// Whether a request that failed so may still have reached the server: only
// a connection never made is sure to have carried nothing.
bool mayHaveArrived(httplib::Error error) {
    switch (error) {
    case httplib::Error::Connection:
    case httplib::Error::ConnectionTimeout:
    case httplib::Error::SSLConnection:
    case httplib::Error::SSLServerVerification:
        return false;
    default:
        return true;
    }
}

// The server explains every error in {"error": "...", "code": "..."}; fall
// back to the status.
std::string serverExplanation(const httplib::Response &response) {
    auto answer = nlohmann::json::parse(response.body, nullptr, false);
    if (answer.is_object() && answer.contains("error") && answer["error"].is_string())
        return answer["error"].get<std::string>();
    return "HTTP status " + std::to_string(response.status);
}

std::string refusalCode(const httplib::Response &response) {
    auto answer = nlohmann::json::parse(response.body, nullptr, false);
    if (answer.is_object() && answer.contains("code") && answer["code"].is_string())
        return answer["code"].get<std::string>();
    return {};
}

// A busy server or a login that has to wait is asked again later. A reverse
// proxy's 502 and 504 say its server went away or fell silent under the
// request, which it may have carried out: as a lost answer. Every other
// status is a no.
ServerError::Kind kindOfStatus(int status) {
    switch (status) {
    case 503:
    case 429:
        return ServerError::Kind::Busy;
    case 502:
    case 504:
        return ServerError::Kind::AnswerLost;
    default:
        return ServerError::Kind::Refused;
    }
}

} // namespace

ServerConnection::ServerConnection() = default;
ServerConnection::~ServerConnection() = default;

std::string ServerConnection::where() const {
    return hostName_.toStdString() + ":" + std::to_string(port_);
}

std::string ServerConnection::rootPath() const {
    return contextRoot(context_);
}

std::string ServerConnection::methodPath(const char *method) const {
    return rootPath() + "rest/TZelServerDataBase/" + method;
}

void ServerConnection::open() {
    if (client_)
        return;
    auto client = std::make_unique<httplib::Client>(serverUrl(hostName_, port_, tls_));
    if (!client->is_valid())
        throw ServerError(ServerError::Kind::Unreached,
                          "Cannot connect to the application server at " + where() +
                              ": the address is not valid");
    if (tls_) {
        client->enable_server_certificate_verification(true);
        if (!caFile_.isEmpty())
            client->set_ca_cert_path(caFile_.toLocal8Bit().toStdString());
    }
    if (!userName_.empty())
        client->set_basic_auth(userName_, password_);
    client->set_keep_alive(true);
    client->set_tcp_nodelay(true);
    // The server compresses large answers for peers beyond its own machine.
    client->set_decompress(true);
    client->set_connection_timeout(std::chrono::milliseconds(kConnectTimeoutMs));
    client->set_read_timeout(std::chrono::milliseconds(kReadTimeoutMs));
    client->set_write_timeout(std::chrono::milliseconds(kReadTimeoutMs));

    const std::string prefix = "Cannot connect to the application server at " + where() + ": ";
    auto result = client->Get(rootPath());
    if (!result)
        throw ServerError(ServerError::Kind::Unreached, prefix + failureText(result.error()));
    if (result->status != 200)
        throw ServerError(ServerError::Kind::Unreached, prefix + serverExplanation(*result),
                          refusalCode(*result), serverExplanation(*result));
    auto hello = nlohmann::json::parse(result->body, nullptr, false);
    if (!hello.is_object() || hello.value("server", "") != "TZelServerDataBase")
        throw ServerError(ServerError::Kind::Unreached,
                          prefix + "it does not answer as TZelServerDataBase");
    client_ = std::move(client);
}

void ServerConnection::setCredentials(const QString &userName, const QString &password) {
    userName_ = userName.toStdString();
    password_ = password.toStdString();
    if (client_)
        client_->set_basic_auth(userName_, password_);
}

void ServerConnection::close() {
    client_.reset();
}

std::string ServerConnection::post(const std::string &path, const std::string &body) {
    return postUnlessUnchanged(path, body, {}).body;
}

ServerConnection::Answer ServerConnection::rowDeltaAnswer(httplib::Response &response,
                                                          const std::string &etag) const {
    Answer answer{226, std::move(response.body), response.get_header_value("ETag")};
    unsigned long long front = 0, back = 0;
    char end = 0;
    const std::string kept = response.get_header_value(RowChanges::kRowsKeptHeader);
    if (response.get_header_value("IM") != RowChanges::kManipulation ||
        response.get_header_value(RowChanges::kDeltaBaseHeader) != etag ||
        std::sscanf(kept.c_str(), "%llu , %llu%c", &front, &back, &end) != 2)
        throw ServerError("Application server " + where() +
                          ": a change of an earlier answer that does not say which");
    answer.keptFront = static_cast<size_t>(front);
    answer.keptBack = static_cast<size_t>(back);
    return answer;
}

ServerConnection::Answer ServerConnection::postUnlessUnchanged(const std::string &path,
                                                               const std::string &body,
                                                               const std::string &etag) {
    if (!client_)
        throw ServerError(ServerError::Kind::Unreached,
                          "The connection to the application server is not open");
    httplib::Headers headers{{"Accept-Encoding", "gzip"}};
    if (!etag.empty()) {
        headers.emplace("If-None-Match", etag);
        headers.emplace("A-IM", RowChanges::kManipulation);
    }
    auto result = client_->Post(path, headers, body, "text/plain; charset=utf-8");
    if (!result) {
        const std::string why =
            "Application server " + where() + ": " + failureText(result.error());
        throw ServerError(mayHaveArrived(result.error()) ? ServerError::Kind::AnswerLost
                                                         : ServerError::Kind::Unreached,
                          why);
    }
    if (result->status == 304 && !etag.empty())
        return Answer{304, {}, etag};
    if (result->status == 226 && !etag.empty())
        return rowDeltaAnswer(*result, etag);
    if (result->status != 200) {
        const std::string reason = serverExplanation(*result);
        std::string code = refusalCode(*result);
        if (code.empty() && result->status == 401)
            code = "unauthorized";
        throw ServerError(kindOfStatus(result->status),
                          "Application server " + where() + ": " + reason, std::move(code),
                          reason);
    }
    return Answer{200, std::move(result->body), result->get_header_value("ETag")};
}
