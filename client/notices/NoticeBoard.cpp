#include "notices/NoticeBoard.h"

#include <QSet>

#include "data/statements/SqlValues.h"

#include <QColor>
#include <QTextCursor>
#include <QTextDocument>

#include <stdexcept>

namespace NoticeBoard {

namespace {

// Lines per paragraph of the panel; the fixed pieces of one notice line.
constexpr int kLinesPerParagraph = 32;
constexpr qsizetype kLinePieces = 24;

void appendNoticeLine(QString &line, const QString &content, const QString &performer,
                      const QString &time) {
    line += QStringLiteral("通告内容:");
    line += SqlValues::trimmed(content);
    line += QLatin1Char('/');
    line += QStringLiteral("   关联人:");
    line += SqlValues::trimmed(performer);
    line += QStringLiteral("--通告时间:");
    line += SqlValues::trimmed(time);
}

// More new lines than this and the panel is filled afresh: they would make one
// long paragraph.
constexpr int kMostNewerLines = kLinesPerParagraph * 4;

} // namespace

QString titleWithProjects(int projects) {
    return QStringLiteral("Solvane项目/任务管理平台  你共有") + QString::number(projects) +
           QStringLiteral("个项目");
}

QString taskCountSuffix(int tasks) {
    return QString::number(tasks) + QStringLiteral("个任务未完成！");
}

QString noticeLine(const QString &content, const QString &performer, const QString &time) {
    QString line;
    appendNoticeLine(line, content, performer, time);
    return line;
}

bool concerns(const QString &performer, const QString &remark) {
    // An empty name occurs in every text: it would make every notice red.
    return !remark.isEmpty() && performer.contains(remark, Qt::CaseSensitive);
}

QStringList newNoticesFor(const PDataPacket &now, const PDataPacket &before,
                          const QString &remark) {
    QStringList lines;
    if (!now || !before)
        return lines;
    RecordSet shown, earlier;
    shown.load(now);
    earlier.load(before);
    const int content = shown.fieldIndex(QStringLiteral("Content"));
    const int performer = shown.fieldIndex(QStringLiteral("Performer"));
    const int time = shown.fieldIndex(QStringLiteral("CreateTime"));
    if (content < 0 || performer < 0 || time < 0)
        return lines;
    QSet<QString> known;
    for (int row = 0; row < earlier.recordCount(); ++row)
        known.insert(earlier.value(row, content) + QChar(0) + earlier.value(row, time));
    for (int row = 0; row < shown.recordCount(); ++row)
        if (!known.contains(shown.value(row, content) + QChar(0) + shown.value(row, time)) &&
            concerns(shown.value(row, performer), remark))
            lines << shown.value(row, content).trimmed();
    return lines;
}

void fillPanel(QTextDocument *panel, const RecordSet &notices, const QString &remark) {
    const int content = notices.fieldIndex(QStringLiteral("Content"));
    const int performer = notices.fieldIndex(QStringLiteral("Performer"));
    const int time = notices.fieldIndex(QStringLiteral("CreateTime"));
    if (content < 0 || performer < 0 || time < 0)
        throw std::runtime_error("Field 'Content', 'Performer' or 'CreateTime' not found");
    QTextCharFormat red;
    red.setForeground(QColor(255, 0, 0));

    // All lines go in as one plain text, then the member's own lines are
    // coloured: inserting thousands of lines one by one, each with its format,
    // takes the panel several times as long to lay out. A paragraph costs the
    // document about a microsecond to make, so the lines go in a few to a
    // paragraph, broken by line separators: they show and copy as before.
    QString text;
    qsizetype expected = 0;
    for (int row = 0; row < notices.recordCount(); ++row)
        expected += kLinePieces + notices.value(row, content).size() +
                    notices.value(row, performer).size() + notices.value(row, time).size();
    text.reserve(expected);
    QList<QPair<int, int>> redLines; // where each red line starts, and its length
    for (int row = 0; row < notices.recordCount(); ++row) {
        if (row > 0)
            text += row % kLinesPerParagraph ? QChar(QChar::LineSeparator) : QChar(u'\n');
        const qsizetype start = text.size();
        const QString &who = notices.value(row, performer);
        appendNoticeLine(text, notices.value(row, content), who, notices.value(row, time));
        if (concerns(who, remark))
            redLines.append({int(start), int(text.size() - start)});
    }
    panel->setPlainText(text);
    QTextCursor cursor(panel);
    cursor.beginEditBlock();
    for (const auto &[start, length] : redLines) {
        cursor.setPosition(start);
        cursor.setPosition(start + length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(red);
    }
    cursor.endEditBlock();
}

bool addNewerLines(QTextDocument *panel, const DataPacket &notices, const DataPacket &shown,
                   const QString &remark) {
    const int content = notices.columnIndex(QStringLiteral("Content"));
    const int performer = notices.columnIndex(QStringLiteral("Performer"));
    const int time = notices.columnIndex(QStringLiteral("CreateTime"));
    const int added = notices.rowCount() - shown.rowCount();
    if (content < 0 || performer < 0 || time < 0 || notices.columns != shown.columns ||
        shown.rowCount() == 0 || added <= 0 || added > kMostNewerLines)
        return false;
    // A line shows these three cells and nothing else.
    for (int row = 0; row < shown.rowCount(); ++row)
        for (int column : {content, performer, time})
            if (notices.cell(row + added, column) != shown.cell(row, column))
                return false;

    QTextCharFormat normal, red;
    red.setForeground(QColor(255, 0, 0));
    QTextCursor cursor(panel);
    cursor.beginEditBlock();
    cursor.setPosition(0);
    QString line;
    for (int row = 0; row < added; ++row) {
        line.clear();
        appendNoticeLine(line, notices.cell(row, content), notices.cell(row, performer),
                         notices.cell(row, time));
        cursor.insertText(line, concerns(notices.cell(row, performer), remark) ? red : normal);
        cursor.insertText(row + 1 < added ? QString(QChar::LineSeparator) : QStringLiteral("\n"),
                          normal);
    }
    cursor.endEditBlock();
    return true;
}

} // namespace NoticeBoard
