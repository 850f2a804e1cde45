#pragma once
// The gateway to the application server's three methods. Each takes one SQL
// statement; failures raise ServerError and are left to the caller.

#include "DataPacket.h"

#include <QString>

#include <optional>
#include <string>

class ServerConnection;

class AppServerGateway {
public:
    explicit AppServerGateway(ServerConnection *connection);

    PDataPacket openSql(const QString &statement);
    bool execSql(const QString &statement);
    bool delSql(const QString &statement);

private:
    // A server method, set up on its first call and reused afterwards.
    struct Command {
        std::string path;
    };
    const Command &command(std::optional<Command> &slot, const char *method);
    bool runChange(std::optional<Command> &slot, const char *method, const QString &sql);

    ServerConnection *connection_;
    std::optional<Command> openSqlCommand_;
    std::optional<Command> execSqlCommand_;
    std::optional<Command> delSqlCommand_;
};
