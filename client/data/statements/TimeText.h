#pragma once
// Times as the tables hold them: "yyyy-MM-dd HH:mm:ss", local time, fixed
// width so that text order is time order.

#include <QDateTime>
#include <QString>

namespace TimeText {

QString format(const QDateTime &instant);
// Reads a stored time (blanks around it ignored). Also takes a time without
// seconds or a bare date, every field in ASCII digits; anything else (a
// letter, a sign, a blank inside) gives an invalid QDateTime.
QDateTime parse(const QString &text);
// The instant with its seconds dropped: what stored times are compared with.
QDateTime minuteOf(const QDateTime &instant);
// The instant's day at 00:00.
QDateTime startOfDay(const QDateTime &instant);

} // namespace TimeText
