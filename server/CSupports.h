#pragma once
// The data-access operations: each composes one statement and sends it
// through the gateway. They never raise: a failed change gives false, a failed
// query the empty result (a null packet).

#include "DataPacket.h"
#include "records.h"

class TZelServerDataBaseClient;

// The gateway the operations use; the main window sets it once it exists.
void SetActiveGateway(TZelServerDataBaseClient *gateway);
TZelServerDataBaseClient *ActiveGateway();

bool AddNewLogin(PTLogininf mLogininf);
PDataPacket SelectLogin(const QString &UseName, const QString &PassWord);
PDataPacket SelectLogin(const QString &UseName);
PDataPacket SelectLogin();
PDataPacket SelectRemark();
bool UpdataLogin(PTLogininf mOld, PTLogininf mNew);

bool AddNewPro(PTPrograminf mProinf);
PDataPacket SelectPro(const QString &Demander, const QString &Performer);
PDataPacket SelectPro(const QString &mSQL);
bool UpdataPro(const QString &Performer, const QString &Flag, const QString &Task,
               const QString &List, PTPrograminf mProinf);
bool UpdataPro(const QString &Task, PTPrograminf mProinf);
bool DeletePro(const QString &Id, const QString &From, const QString &Demander);

bool AddNewTask(PTTaskInf mTaskInf);
PDataPacket SelectTask(const QString &Id, bool mDesc);
PDataPacket SelectTask(const QString &Demander, const QString &Performer);
// Without this, a literal performer would silently pick the (Id, mDesc) form.
inline PDataPacket SelectTask(const QString &Demander, const char *Performer) {
    return ::SelectTask(Demander, QString::fromUtf8(Performer));
}
bool UpdataTask(const QString &Flag, const QString &List, PTTaskInf mTaskInf);
bool UpdataTask(const QString &ReadTime, PTTaskInf mTaskInf);
bool DeleteTask(const QString &Id, const QString &Content, const QString &Demander);

bool NoticeAddFile(PTNoticeInf mNotice);
