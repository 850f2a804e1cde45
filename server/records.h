#pragma once
// One record per table, fields in column order, every field text. The
// data-access operations take them through the pointer types and only read.

#include <QString>

struct TLogininf {
    QString UseName;
    QString PassWord;
    QString Remark; // display name: the member's identity everywhere else
};

struct TPrograminf {
    QString ProId;
    QString ProFrom;
    QString ProAim;
    QString ProContent;
    QString ProDemander;
    QString ProPerformer;
    QString ProCreateTime;
    QString ProCompleteTime;
    QString ProCompleteFlag;
    QString ProTask;
    QString ProList;
};

struct TTaskInf {
    QString TaskId;
    QString TaskContent;
    QString TaskDemander;
    QString TaskPerformer;
    QString TaskCreateTime;
    QString TaskCompleteTime;
    QString TaskCompleteFlag;
    QString TaskList;
    QString TaskReadTime;
    QString TaskCCList;
};

// Fills the four columns of Notice in order; its names differ from theirs.
struct TNoticeinf {
    QString ProContent;
    QString ProDemander;
    QString ProPerformer;
    QString ProCreateTime;
};

using PTLogininf = const TLogininf *;
using PTPrograminf = const TPrograminf *;
using PTTaskInf = const TTaskInf *;
using PTNoticeInf = const TNoticeinf *;
