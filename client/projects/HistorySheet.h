#pragma once
// The project window's history: the changes of the project and of its tasks
// as the server's journal keeps them, newest first, one row each with its
// time, member, action, what it changed (the project or a task) and the
// columns changed with their values before and after.

#include <QTableWidget>

struct DataPacket;

class HistorySheet : public QTableWidget {
    Q_OBJECT
public:
    enum Column { kTime, kMember, kAction, kRow, kChanges, kColumns };

    explicit HistorySheet(QWidget *parent = nullptr);
    // The rows of the history statement; none, with the reason in the first
    // row, when it could not be read.
    void fill(const DataPacket &history);
    void showUnreadable(const QString &why);

    // The action of a journal's verb, in the windows' words.
    static QString actionText(const QString &verb);
    // "列: 旧 → 新" for each column the journal's JSON names.
    static QString changesText(const QString &json);
};
