#include "ServerFailure.h"

#include "ServerError.h"

#include <QRegularExpression>

namespace {

// The connection names the server "host:port" in its English texts; the
// address is what the member can check.
QString addressIn(const QString &text) {
    static const QRegularExpression address(QStringLiteral("application server (?:at )?(\\S+):\\s"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto match = address.match(text);
    return match.hasMatch() ? match.captured(1) : QString();
}

QString server(const QString &address) {
    return address.isEmpty() ? QStringLiteral("服务器")
                             : QStringLiteral("服务器（") + address + QStringLiteral("）");
}

} // namespace

ServerFailure ServerFailure::of(const std::exception &error) {
    const QString text = QString::fromUtf8(error.what());
    const QString where = server(addressIn(text));
    if (dynamic_cast<const AnswerLostError *>(&error))
        return {Kind::AnswerLost,
                QStringLiteral("与") + where +
                    QStringLiteral("的连接中断，没有收到回答：修改可能已经保存，请刷新后核对。")};
    if (const auto *refusal = dynamic_cast<const RefusedError *>(&error))
        return {Kind::Refused, QStringLiteral("服务器拒绝了此次请求，数据未改变。原因：") +
                                   QString::fromStdString(refusal->reason())};
    if (dynamic_cast<const UnauthorizedError *>(&error))
        return {Kind::Refused, where + QStringLiteral("不接受当前成员的登录信息，请重新登录。")};
    if (dynamic_cast<const UnreachableError *>(&error))
        return {Kind::Unreached,
                QStringLiteral("无法连接") + where +
                    QStringLiteral("，请检查网络，或请管理员确认服务器正在运行。")};
    // The server's own explanation, as it gave it.
    return {Kind::Other, where + QStringLiteral("出错：") + text};
}

ServerFailure ServerFailure::refused(const std::string &reason) {
    QString text = QStringLiteral("服务器拒绝了此次修改，数据未改变。");
    if (!reason.empty())
        text += QStringLiteral("原因：") + QString::fromStdString(reason);
    return {Kind::Refused, text};
}
