#include "TimeText.h"

#include "SqlValues.h"

namespace TimeText {

QString format(const QDateTime &instant) {
    return instant.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime parse(const QString &text) {
    const QString trimmed = SqlValues::trimmed(text);
    for (const char *form : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd"}) {
        const QDateTime read = QDateTime::fromString(trimmed, QLatin1String(form));
        if (read.isValid())
            return read;
    }
    return {};
}

QDateTime minuteOf(const QDateTime &instant) {
    const QTime time = instant.time();
    return QDateTime(instant.date(), QTime(time.hour(), time.minute()));
}

QDateTime startOfDay(const QDateTime &instant) {
    return QDateTime(instant.date(), QTime(0, 0));
}

} // namespace TimeText
