#pragma once
// The notice panel's and the reminder's texts.

#include "data/records/RecordSet.h"

#include <QDateTime>
#include <QString>

class QTextDocument;

namespace NoticeBoard {

QString titleWithProjects(int projects); // "...你共有P个项目"
QString taskCountSuffix(int tasks);      // "T个任务未完成！"

QString noticeLine(const QString &content, const QString &performer, const QString &time);
// The remark occurs in the performers; an empty remark concerns no notice.
bool concerns(const QString &performer, const QString &remark);

// The contents of the notices in `now` that are not in `before` (by content
// and time) and concern the member, newest first.
QStringList newNoticesFor(const PDataPacket &now, const PDataPacket &before, const QString &remark);

// Replaces the panel's text in one pass: one line per notice, those that
// concern the member in red, the others in the panel's normal colour.
void fillPanel(QTextDocument *panel, const RecordSet &notices, const QString &remark);

// Brings a panel that shows `shown` for the same member up to `notices` when
// they are the shown notices with a few newer ones on top: only the new lines
// go in, above the others. False, leaving the panel as it was, otherwise.
bool addNewerLines(QTextDocument *panel, const DataPacket &notices, const DataPacket &shown,
                   const QString &remark);

} // namespace NoticeBoard
