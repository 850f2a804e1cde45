#include "shell/AboutBox.h"

#include "data/connection/ServerConnection.h"
#include "seams/Dialogs.h"
#include "solvane_version.h"

QString AboutBox::text(const ServerConnection &connection) {
    QString server = QStringLiteral("%1:%2").arg(connection.hostName()).arg(connection.port());
    if (!connection.connected())
        server += QStringLiteral("（未连接）");
    // Lines break with a carriage return, as every text the client shows.
    return QStringLiteral("Solvane %1\r技术部项目与任务平台\r\r服务器：%2\r基于 Qt %3")
        .arg(QStringLiteral(SOLVANE_VERSION), server, QString::fromLatin1(qVersion()));
}

void AboutBox::show(const ServerConnection &connection) {
    Dialogs::message(text(connection), QStringLiteral("关于Solvane"), QMessageBox::Information);
}
