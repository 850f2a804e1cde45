#pragma once
// The gateway to the application server's three methods. Each takes one SQL
// statement; failures raise ServerError and are left to the caller.

#include "DataPacket.h"

#include <QString>

#include <optional>
#include <string>

class ServerConnection;

class TZelServerDataBaseClient {
public:
    explicit TZelServerDataBaseClient(ServerConnection *ADBXConnection);
    TZelServerDataBaseClient(ServerConnection *ADBXConnection, bool AInstanceOwner);

    PDataPacket OpenSQL(const QString &SQLStr);
    bool ExecSQL(const QString &SQLStr);
    bool DelSQL(const QString &SQLStr);

private:
    // A server method, set up on its first call and reused afterwards.
    struct Command {
        std::string path;
    };
    const Command &command(std::optional<Command> &slot, const char *method);
    bool runChange(std::optional<Command> &slot, const char *method, const QString &sql);

    ServerConnection *connection_;
    std::optional<Command> FOpenSQLCommand;
    std::optional<Command> FExecSQLCommand;
    std::optional<Command> FDelSQLCommand;
};
