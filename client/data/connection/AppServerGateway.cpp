#include "data/connection/AppServerGateway.h"

#include "data/answers/ChangedRows.h"
#include "data/answers/PacketParser.h"
#include "data/answers/ServerError.h"
#include "data/connection/ServerConnection.h"

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
    const std::string sql = statement.toStdString();
    const auto last = answers_.find(sql);
    auto answer = connection_->postUnlessUnchanged(open.path, sql, last ? last->etag : "");
    if (answer.status == 304)
        return last->packet;
    PDataPacket packet = parseDataPacket(answer.body);
    if (answer.status == 226) {
        packet = withChangedRows(last->packet, answer.keptFront, answer.keptBack, packet);
        if (!packet) { // does not fit what is kept here: the whole answer, then
            answer = connection_->postUnlessUnchanged(open.path, sql, "");
            packet = parseDataPacket(answer.body);
        }
    }
    if (!answer.etag.empty())
        answers_.keep(sql, {std::move(answer.etag), packet});
    return packet;
}

ChangeResult AppServerGateway::runChange(std::optional<Command> &slot, const char *method,
                                         const QString &sql) {
    const auto &change = command(slot, method);
    json answer = parseAnswer(connection_->post(change.path, sql.toStdString()));
    auto result = answer.find("result");
    if (result == answer.end() || !result->is_boolean())
        throw malformed("result missing");
    ChangeResult outcome;
    outcome.succeeded = result->get<bool>();
    auto error = answer.find("error");
    if (!outcome.succeeded && error != answer.end() && error->is_string())
        outcome.refusal = error->get<std::string>();
    auto code = answer.find("code");
    if (!outcome.succeeded && code != answer.end() && code->is_string())
        outcome.code = code->get<std::string>();
    // A refusal carries no count; a success without one counts as no change.
    auto changes = answer.find("changes");
    if (changes != answer.end() && changes->is_number_integer())
        outcome.changes = changes->get<long long>();
    return outcome;
}

ChangeResult AppServerGateway::execSql(const QString &statement) {
    return runChange(execSqlCommand_, "ExecSQL", statement);
}

ChangeResult AppServerGateway::delSql(const QString &statement) {
    return runChange(delSqlCommand_, "DelSQL", statement);
}

QString AppServerGateway::where() const {
    return connection_->hostName() + QLatin1Char(':') + QString::number(connection_->port());
}
