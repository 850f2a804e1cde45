#pragma once
// The gateway to the application server's three methods. Each takes one SQL
// statement; failures raise ServerError and are left to the caller.

#include "data/answers/DataPacket.h"
#include "data/connection/ChangeResult.h"
#include "data/connection/RememberedAnswers.h"

#include <QString>

#include <optional>
#include <string>

class ServerConnection;

class AppServerGateway {
public:
    explicit AppServerGateway(ServerConnection *connection);

    // Asks with the tag of the statement's last answer: unchanged, that answer's
    // packet is returned again without a body sent or parsed; changed, only
    // the rows that differ are sent where that is shorter.
    PDataPacket openSql(const QString &statement);
    // The server's "result" and the count of changed rows: a change that
    // matched no row is a success that changed nothing.
    ChangeResult execSql(const QString &statement);
    ChangeResult delSql(const QString &statement);

    // "host:port" of the server, as the member can check it.
    QString where() const;

private:
    // A server method, set up on its first call and reused afterwards.
    struct Command {
        std::string path;
    };
    const Command &command(std::optional<Command> &slot, const char *method);
    ChangeResult runChange(std::optional<Command> &slot, const char *method, const QString &sql);

    ServerConnection *connection_;
    std::optional<Command> openSqlCommand_;
    std::optional<Command> execSqlCommand_;
    std::optional<Command> delSqlCommand_;
    RememberedAnswers answers_;
};
