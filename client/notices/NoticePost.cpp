#include "notices/NoticePost.h"

#include "data/DataAccess.h"
#include "data/statements/TimeText.h"
#include "seams/AppClock.h"
#include "seams/AppShell.h"

namespace NoticePost {

bool post(AppShell &shell, const QString &content, const QString &author,
          const QString &concerned) {
    const Notice notice{content, author, concerned, TimeText::format(AppClock::now())};
    if (!DataAccess::addNotice(notice).ok())
        return false;
    shell.refreshNotices();
    return true;
}

} // namespace NoticePost
