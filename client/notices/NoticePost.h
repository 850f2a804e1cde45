#pragma once
// Writing the notice that every change leaves, stamped with the current time.

#include <QString>

class AppShell;

namespace NoticePost {

// Stores the notice; when it was stored, the main window's panel is
// re-read. A notice that cannot be stored is skipped without a word: the
// change it reports has already been made. True when stored.
bool post(AppShell &shell, const QString &content, const QString &author, const QString &concerned);

} // namespace NoticePost
