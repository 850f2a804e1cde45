#include "data/statements/SqlValues.h"

namespace SqlValues {

QString trimmed(const QString &value) {
    qsizetype begin = 0;
    qsizetype end = value.size();
    while (begin < end && value.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && value.at(end - 1).unicode() <= 32)
        --end;
    return value.mid(begin, end - begin);
}

QString bareQuoted(const QString &value) {
    QString inner = value;
    inner.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

QString quoted(const QString &value) {
    return bareQuoted(trimmed(value));
}

QString quotedPattern(const QString &value) {
    return quoted(QLatin1Char('%') + value + QLatin1Char('%'));
}

} // namespace SqlValues
