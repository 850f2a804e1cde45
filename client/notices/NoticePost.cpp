#include "NoticePost.h"

#include "AppClock.h"
#include "AppShell.h"
#include "DataAccess.h"
#include "TimeText.h"

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
