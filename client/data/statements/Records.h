#pragma once
// One record per table, fields in column order, every field text (times,
// counts and flags included).

#include <QString>

// A row of Login.
struct Member {
    QString userName;
    QString password;
    QString displayName; // the member's identity in every other table
};

// A row of Programe.
struct Project {
    QString id; // kind prefix, creation date and sequence: GD20261117001
    QString source;
    QString aim;
    QString content;
    QString creator;    // display name of the member who created it
    QString performers; // display names joined by "|"
    QString createTime;
    QString dueTime;      // planned completion
    QString completeFlag; // "No" while open, "Yes" once completed
    QString taskCount;    // tasks dispatched, as decimal text
    QString flowNodes;    // "node---name" entries joined by "|", oldest first
};

// A row of Task; a task is addressed by projectId, content and dispatcher.
struct Task {
    QString projectId;
    QString content;
    QString dispatcher;
    QString performer; // who claimed it; empty until claimed
    QString createTime;
    QString dueTime; // the time it is required by
    QString state;   // "0" open, "1" completion applied for, "2" completed
    QString completionNote;
    QString readReceipt;    // "time--name" of the first related person who opened it
    QString relatedPersons; // display names joined by "|"
};

// A row of Notice.
struct Notice {
    QString content;
    QString author;    // display name of the member who acted
    QString concerned; // display names of the members concerned
    QString createTime;
};
