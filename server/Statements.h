#pragma once
// The text of every statement the data-access operations send. The exact
// text, spacing and letter case included, is what the server's database sees.

#include "records.h"

namespace Statements {

QString AddNewLogin(PTLogininf mLogininf);
QString SelectLogin(const QString &UseName, const QString &PassWord);
QString SelectLogin(const QString &UseName);
QString SelectLogin();
QString SelectRemark();
QString UpdataLogin(PTLogininf mOld, PTLogininf mNew);

QString AddNewPro(PTPrograminf mProinf);
QString SelectPro(const QString &Demander, const QString &Performer);
QString UpdataPro(const QString &Performer, const QString &Flag, const QString &Task,
                  const QString &List, PTPrograminf mProinf);
QString UpdataPro(const QString &Task, PTPrograminf mProinf);
QString DeletePro(const QString &Id);

QString AddNewTask(PTTaskInf mTaskInf);
QString SelectTask(const QString &Id, bool mDesc);
QString SelectTask(const QString &Demander, const QString &Performer);
// Without this, a literal performer would silently pick the (Id, mDesc) form.
inline QString SelectTask(const QString &Demander, const char *Performer) {
    return Statements::SelectTask(Demander, QString::fromUtf8(Performer));
}
QString UpdataTask(const QString &Flag, const QString &List, PTTaskInf mTaskInf);
QString UpdataTask(const QString &ReadTime, PTTaskInf mTaskInf);
QString DeleteTask(const QString &Id, const QString &Content, const QString &Demander);

QString NoticeAddFile(PTNoticeInf mNotice);

} // namespace Statements
