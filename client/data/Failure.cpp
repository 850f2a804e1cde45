#include "data/Failure.h"

#include "data/RefusalTexts.h"

namespace {

QString server(const QString &where) {
    return where.isEmpty() ? QStringLiteral("服务器")
                           : QStringLiteral("服务器（") + where + QStringLiteral("）");
}

} // namespace

QString Failure::text() const {
    switch (kind) {
    case Kind::Unreached:
        return QStringLiteral("无法连接") + server(where) +
               QStringLiteral("，请检查网络，或请管理员确认服务器正在运行。");
    case Kind::AnswerLost:
        return QStringLiteral("与") + server(where) +
               QStringLiteral("的连接中断，没有收到回答：修改可能已经保存，请刷新后核对。");
    case Kind::Busy: {
        const QString known = RefusalTexts::of(code);
        return known.isEmpty() ? QStringLiteral("服务器正忙，请稍后再试。") : known;
    }
    case Kind::Refused:
        break;
    }
    const QString known = RefusalTexts::of(code);
    if (code == QLatin1String("unauthorized"))
        return server(where) + known;
    return QStringLiteral("服务器拒绝了此次请求，数据未改变。原因：") +
           (known.isEmpty() ? QStringLiteral("服务器未说明可识别的原因。") : known);
}
