#pragma once
// The help menu's About box: the client's version and the server it talks to.

#include <QString>

class ServerConnection;

namespace AboutBox {

QString text(const ServerConnection &connection);

// Shows it through Dialogs, so a test reads what a member would see.
void show(const ServerConnection &connection);

} // namespace AboutBox
