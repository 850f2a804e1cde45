#include "tasks/NoteLines.h"

namespace NoteLines {

namespace {
bool isControl(QChar c) {
    return c.unicode() >= 1 && c.unicode() <= 32;
}
} // namespace

// Blanks are hidden as "^" while cutting, so that only control characters
// separate; a "^" typed into the note therefore shows as a blank.
QStringList split(const QString &note) {
    QString text = note;
    text.replace(QLatin1Char(' '), QLatin1Char('^'));
    QStringList items;
    qsizetype at = 0;
    const qsizetype end = text.size();
    auto skipControls = [&] {
        while (at < end && isControl(text.at(at)))
            ++at;
    };
    skipControls();
    while (at < end) {
        QString item;
        if (text.at(at) == QLatin1Char('"')) {
            // Quoted: runs to the matching quote; a doubled quote stands for one.
            ++at;
            while (at < end) {
                if (text.at(at) == QLatin1Char('"')) {
                    if (at + 1 < end && text.at(at + 1) == QLatin1Char('"')) {
                        item += QLatin1Char('"');
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                item += text.at(at++);
            }
        } else {
            const qsizetype from = at;
            while (at < end && !isControl(text.at(at)) && text.at(at) != QLatin1Char('|'))
                ++at;
            item = text.mid(from, at - from);
        }
        items << item.replace(QLatin1Char('^'), QLatin1Char(' '));
        skipControls();
        if (at < end && text.at(at) == QLatin1Char('|')) {
            if (at + 1 == end)
                items << QString();
            ++at;
            skipControls();
        }
    }
    return items;
}

} // namespace NoteLines
