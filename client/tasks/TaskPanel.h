#pragma once
// The opened task's details under a task grid, with the note box and the
// three action buttons; the same panel stands in the main window's task tab
// and in the project window's task sheet.

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TaskPanel : public QWidget {
    Q_OBJECT
public:
    explicit TaskPanel(QWidget *parent = nullptr);

    // An action's caption with its Alt letter ("领取任务(&L)"); a caption
    // without a letter as it is.
    static QString withAccessKey(const QString &caption);

    QLabel *projectIdLabel, *readTimeLabel, *dispatcherLabel, *performerLabel, *createTimeLabel,
        *dueTimeLabel, *completionNoteLabel;
    QPlainTextEdit *contentBox; // read-only
    QPlainTextEdit *noteBox;    // the completion note the member writes
    QPushButton *applyButton, *completeButton, *reeditButton;
};
