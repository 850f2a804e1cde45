#include "TimeText.h"

#include "SqlValues.h"

namespace TimeText {

QString format(const QDateTime &instant) {
    return instant.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

namespace {

// The digits at [from, from + count), or -1.
int digits(QStringView text, int from, int count) {
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// The stored form read directly: QDateTime::fromString is slow enough to
// show when a grid colours thousands of rows.
QDateTime parseStored(QStringView t) {
    if (t.size() != 19 || t[4] != u'-' || t[7] != u'-' || t[10] != u' ' || t[13] != u':' ||
        t[16] != u':')
        return {};
    const QDate date(digits(t, 0, 4), digits(t, 5, 2), digits(t, 8, 2));
    const QTime time(digits(t, 11, 2), digits(t, 14, 2), digits(t, 17, 2));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

} // namespace

QDateTime parse(const QString &text) {
    const QString trimmed = SqlValues::trimmed(text);
    if (const QDateTime stored = parseStored(trimmed); stored.isValid())
        return stored;
    for (const char *form : {"yyyy-MM-dd HH:mm", "yyyy-MM-dd"}) {
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
