#pragma once
// How a task's completion note is shown in the note box: cut into lines at
// "|" and at line breaks, blank lines dropped, blanks inside kept. The
// stored note is never changed by showing it.

#include <QString>
#include <QStringList>

namespace NoteLines {

QStringList split(const QString &note);

} // namespace NoteLines
