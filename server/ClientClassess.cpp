#include "ClientClassess.h"

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

TZelServerDataBaseClient::TZelServerDataBaseClient(ServerConnection *ADBXConnection)
    : connection_(ADBXConnection) {}

TZelServerDataBaseClient::TZelServerDataBaseClient(ServerConnection *ADBXConnection,
                                                   bool /*AInstanceOwner*/)
    : connection_(ADBXConnection) {}

const TZelServerDataBaseClient::Command &
TZelServerDataBaseClient::command(std::optional<Command> &slot, const char *method) {
    if (!slot)
        slot = Command{connection_->methodPath(method)};
    return *slot;
}

PDataPacket TZelServerDataBaseClient::OpenSQL(const QString &SQLStr) {
    const auto &open = command(FOpenSQLCommand, "OpenSQL");
    return parseDataPacket(connection_->post(open.path, SQLStr.toStdString()));
}

bool TZelServerDataBaseClient::runChange(std::optional<Command> &slot, const char *method,
                                         const QString &sql) {
    const auto &change = command(slot, method);
    json answer = parseAnswer(connection_->post(change.path, sql.toStdString()));
    auto result = answer.find("result");
    if (result == answer.end() || !result->is_boolean())
        throw malformed("result missing");
    return result->get<bool>();
}

bool TZelServerDataBaseClient::ExecSQL(const QString &SQLStr) {
    return runChange(FExecSQLCommand, "ExecSQL", SQLStr);
}

bool TZelServerDataBaseClient::DelSQL(const QString &SQLStr) {
    return runChange(FDelSQLCommand, "DelSQL", SQLStr);
}
