#include "AppServerGateway.h"

#include "PacketParser.h"
#include "ServerConnection.h"
#include "ServerError.h"

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

ServerError malformed(const char *what) {
    return ServerError(std::string("The application server sent a malformed answer: ") + what);
}

json parseAnswer(const std::string &body) {
    json answer = json::parse(body, nullptr, false);
    if (!answer.is_object())
        throw malformed("not a JSON object");
    return answer;
}

} // namespace

AppServerGateway::AppServerGateway(ServerConnection *connection) : connection_(connection) {}

const AppServerGateway::Command &AppServerGateway::command(std::optional<Command> &slot,
                                                           const char *method) {
    if (!slot)
        slot = Command{connection_->methodPath(method)};
    return *slot;
}

PDataPacket AppServerGateway::openSql(const QString &statement) {
    const auto &open = command(openSqlCommand_, "OpenSQL");
    return parseDataPacket(connection_->post(open.path, statement.toStdString()));
}

bool AppServerGateway::runChange(std::optional<Command> &slot, const char *method,
                                 const QString &sql) {
    const auto &change = command(slot, method);
    json answer = parseAnswer(connection_->post(change.path, sql.toStdString()));
    auto result = answer.find("result");
    if (result == answer.end() || !result->is_boolean())
        throw malformed("result missing");
    return result->get<bool>();
}

bool AppServerGateway::execSql(const QString &statement) {
    return runChange(execSqlCommand_, "ExecSQL", statement);
}

bool AppServerGateway::delSql(const QString &statement) {
    return runChange(delSqlCommand_, "DelSQL", statement);
}
