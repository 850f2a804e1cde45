#include "Statements.h"

#include "SqlValues.h"

#include <QStringList>

using SqlValues::bareQuoted;
using SqlValues::quoted;
using SqlValues::quotedPattern;

namespace Statements {
namespace {

QString insertValues(const QString &table, const QStringList &fields) {
    QStringList values;
    values.reserve(fields.size());
    for (const QString &field : fields)
        values << quoted(field);
    return QStringLiteral("Insert into ") + table + QStringLiteral(" values(") +
           values.join(QLatin1Char(',')) + QLatin1Char(')');
}

QString whereProject(PTPrograminf p) {
    return QStringLiteral(" where ProId=") + quoted(p->ProId) + QStringLiteral(" and ProFrom=") +
           quoted(p->ProFrom) + QStringLiteral(" and ProDemander=") + quoted(p->ProDemander);
}

QString whereTask(const QString &id, const QString &content, const QString &demander) {
    return QStringLiteral("TaskId=") + quoted(id) + QStringLiteral(" and TaskContent=") +
           quoted(content) + QStringLiteral(" and TaskDemander=") + quoted(demander);
}

} // namespace

QString AddNewLogin(PTLogininf l) { return insertValues("Login", {l->UseName, l->PassWord, l->Remark}); }

QString SelectLogin(const QString &UseName, const QString &PassWord) {
    return QStringLiteral("Select * From Login where UseName=") + quoted(UseName) +
           QStringLiteral(" and PassWord=") + quoted(PassWord);
}

QString SelectLogin(const QString &UseName) {
    return QStringLiteral("Select * From Login where UseName=") + quoted(UseName);
}

QString SelectLogin() { return QStringLiteral("Select * From Login"); }

QString SelectRemark() { return QStringLiteral("Select Remark From Login"); }

QString UpdataLogin(PTLogininf mOld, PTLogininf mNew) {
    return QStringLiteral("update Login Set UseName=") + quoted(mNew->UseName) +
           QStringLiteral(",PassWord=") + quoted(mNew->PassWord) + QStringLiteral(",Remark=") +
           quoted(mNew->Remark) + QStringLiteral(" where UseName=") + quoted(mOld->UseName) +
           QStringLiteral(" and PassWord=") + quoted(mOld->PassWord);
}

QString AddNewPro(PTPrograminf p) {
    return insertValues("Programe", {p->ProId, p->ProFrom, p->ProAim, p->ProContent,
                                     p->ProDemander, p->ProPerformer, p->ProCreateTime,
                                     p->ProCompleteTime, p->ProCompleteFlag, p->ProTask,
                                     p->ProList});
}

QString SelectPro(const QString &Demander, const QString &Performer) {
    return QStringLiteral("Select * From Programe where ProDemander=") + quoted(Demander) +
           QStringLiteral(" or ProPerformer like ") + quotedPattern(Performer) +
           QStringLiteral(" and ProCompleteFlag=") + quoted("No") +
           QStringLiteral(" Order by ProCompleteTime desc");
}

QString UpdataPro(const QString &Performer, const QString &Flag, const QString &Task,
                  const QString &List, PTPrograminf mProinf) {
    return QStringLiteral("update Programe Set ProPerformer=") + quoted(Performer) +
           QStringLiteral(",ProCompleteFlag=") + quoted(Flag) + QStringLiteral(",ProTask=") +
           quoted(Task) + QStringLiteral(",ProList=") + quoted(List) + whereProject(mProinf);
}

QString UpdataPro(const QString &Task, PTPrograminf mProinf) {
    return QStringLiteral("update Programe Set ProTask=") + quoted(Task) + whereProject(mProinf);
}

QString DeletePro(const QString &Id) {
    return QStringLiteral("delete Programe Where ProId=") + quoted(Id);
}

QString AddNewTask(PTTaskInf t) {
    return insertValues("Task", {t->TaskId, t->TaskContent, t->TaskDemander, t->TaskPerformer,
                                 t->TaskCreateTime, t->TaskCompleteTime, t->TaskCompleteFlag,
                                 t->TaskList, t->TaskReadTime, t->TaskCCList});
}

QString SelectTask(const QString &Id, bool mDesc) {
    return QStringLiteral("Select * From Task where TaskId=") + quoted(Id) +
           (mDesc ? QStringLiteral(" Order by TaskCompleteTime desc")
                  : QStringLiteral(" Order by TaskCreateTime"));
}

QString SelectTask(const QString &Demander, const QString &Performer) {
    return QStringLiteral("Select * From Task where TaskDemander=") + quoted(Demander) +
           QStringLiteral(" or TaskPerformer like ") + quotedPattern(Performer) +
           QStringLiteral(" or TaskCCList like ") + quotedPattern(Performer) +
           QStringLiteral(" order by TaskCompleteTime desc");
}

QString UpdataTask(const QString &Flag, const QString &List, PTTaskInf t) {
    return QStringLiteral("update Task Set TaskCompleteFlag=") + quoted(Flag) +
           QStringLiteral(",TaskList=") + quoted(List) + QStringLiteral(",TaskPerformer=") +
           quoted(t->TaskPerformer) + QStringLiteral(" where ") +
           whereTask(t->TaskId, t->TaskContent, t->TaskDemander);
}

QString UpdataTask(const QString &ReadTime, PTTaskInf t) {
    return QStringLiteral("update Task Set TaskReadTime=") + quoted(ReadTime) +
           QStringLiteral(" where ") + whereTask(t->TaskId, t->TaskContent, t->TaskDemander);
}

QString DeleteTask(const QString &Id, const QString &Content, const QString &Demander) {
    return QStringLiteral("delete From Task Where ") + whereTask(Id, Content, Demander);
}

QString NoticeAddFile(PTNoticeInf n) {
    return QStringLiteral("Insert into Notice values(") + bareQuoted(n->ProContent) +
           QLatin1Char(',') + bareQuoted(n->ProDemander) + QLatin1Char(',') +
           bareQuoted(n->ProPerformer) + QLatin1Char(',') + bareQuoted(n->ProCreateTime) +
           QLatin1Char(')');
}

} // namespace Statements
