#include "ClientClassess.h"

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

PDataPacket packetFrom(const json &answer) {
    auto columns = answer.find("columns");
    auto rows = answer.find("rows");
    if (columns == answer.end() || !columns->is_array() || rows == answer.end() ||
        !rows->is_array())
        throw malformed("columns or rows missing");

    auto packet = std::make_shared<DataPacket>();
    for (const auto &name : *columns) {
        if (!name.is_string())
            throw malformed("a column name is not text");
        packet->columns << QString::fromStdString(name.get_ref<const std::string &>());
    }
    const size_t width = packet->columns.size();
    packet->cells.reserve(rows->size() * width);
    for (const auto &row : *rows) {
        if (!row.is_array() || row.size() != width)
            throw malformed("a row does not match the columns");
        for (const auto &cell : row) {
            if (cell.is_string())
                packet->cells.push_back(QString::fromStdString(cell.get_ref<const std::string &>()));
            else if (cell.is_null())
                packet->cells.emplace_back();
            else
                packet->cells.push_back(QString::fromStdString(cell.dump()));
        }
    }
    return packet;
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
    return packetFrom(parseAnswer(connection_->post(open.path, SQLStr.toStdString())));
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
