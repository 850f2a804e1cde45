#pragma once
// The three forms in which a value enters a statement.

#include <QString>

namespace SqlValues {

// Trimmed of characters up to code 32 at both ends, single-quoted, inner quotes doubled.
QString quoted(const QString &value);
// "%" + value + "%", the whole trimmed, then quoted: blanks at the value's own
// ends stay inside the pattern.
QString quotedPattern(const QString &value);
// Quoted without trimming.
QString bareQuoted(const QString &value);
// Trimmed as quoted() trims, without quoting.
QString trimmed(const QString &value);

} // namespace SqlValues
