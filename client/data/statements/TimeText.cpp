#include "data/statements/TimeText.h"

#include "data/statements/SqlValues.h"

namespace TimeText {

QString format(const QDateTime &instant) {
    return instant.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

namespace {

// The digits at [from, from + count), or -1 when any of them is not an ASCII
// digit: a sign, a blank or a letter is never part of a stored time.
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

// "yyyy-MM-dd", "yyyy-MM-dd HH:mm" or "yyyy-MM-dd HH:mm:ss", read by hand
// (QDateTime::fromString is slow enough to show when a grid colours
// thousands of rows, and takes a signed year). A field that is not all
// digits gives an invalid QDateTime, never a year -1.
QDateTime parseDigits(QStringView t) {
    const qsizetype size = t.size();
    if (size != 10 && size != 16 && size != 19)
        return {};
    if (t[4] != u'-' || t[7] != u'-')
        return {};
    if (size > 10 && (t[10] != u' ' || t[13] != u':'))
        return {};
    if (size > 16 && t[16] != u':')
        return {};
    const int year = digits(t, 0, 4), month = digits(t, 5, 2), day = digits(t, 8, 2);
    const int hour = size > 10 ? digits(t, 11, 2) : 0;
    const int minute = size > 10 ? digits(t, 14, 2) : 0;
    const int second = size > 16 ? digits(t, 17, 2) : 0;
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return {};
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

} // namespace

QDateTime parse(const QString &text) {
    return parseDigits(SqlValues::trimmed(text));
}

QDateTime minuteOf(const QDateTime &instant) {
    const QTime time = instant.time();
    return QDateTime(instant.date(), QTime(time.hour(), time.minute()));
}

QDateTime startOfDay(const QDateTime &instant) {
    return QDateTime(instant.date(), QTime(0, 0));
}

} // namespace TimeText
