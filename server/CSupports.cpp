#include "CSupports.h"

#include "ClientClassess.h"
#include "Statements.h"

#include <exception>

namespace {

TZelServerDataBaseClient *gActiveGateway = nullptr;

PDataPacket query(const QString &sql) {
    if (!gActiveGateway)
        return nullptr;
    try {
        return gActiveGateway->OpenSQL(sql);
    } catch (const std::exception &) {
        return nullptr;
    }
}

bool exec(const QString &sql) {
    if (!gActiveGateway)
        return false;
    try {
        return gActiveGateway->ExecSQL(sql);
    } catch (const std::exception &) {
        return false;
    }
}

bool del(const QString &sql) {
    if (!gActiveGateway)
        return false;
    try {
        return gActiveGateway->DelSQL(sql);
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace

void SetActiveGateway(TZelServerDataBaseClient *gateway) { gActiveGateway = gateway; }
TZelServerDataBaseClient *ActiveGateway() { return gActiveGateway; }

bool AddNewLogin(PTLogininf mLogininf) { return exec(Statements::AddNewLogin(mLogininf)); }
PDataPacket SelectLogin(const QString &UseName, const QString &PassWord) {
    return query(Statements::SelectLogin(UseName, PassWord));
}
PDataPacket SelectLogin(const QString &UseName) { return query(Statements::SelectLogin(UseName)); }
PDataPacket SelectLogin() { return query(Statements::SelectLogin()); }
PDataPacket SelectRemark() { return query(Statements::SelectRemark()); }
bool UpdataLogin(PTLogininf mOld, PTLogininf mNew) {
    return exec(Statements::UpdataLogin(mOld, mNew));
}

bool AddNewPro(PTPrograminf mProinf) { return exec(Statements::AddNewPro(mProinf)); }
PDataPacket SelectPro(const QString &Demander, const QString &Performer) {
    return query(Statements::SelectPro(Demander, Performer));
}
PDataPacket SelectPro(const QString &mSQL) { return query(mSQL); }
bool UpdataPro(const QString &Performer, const QString &Flag, const QString &Task,
               const QString &List, PTPrograminf mProinf) {
    return exec(Statements::UpdataPro(Performer, Flag, Task, List, mProinf));
}
bool UpdataPro(const QString &Task, PTPrograminf mProinf) {
    return exec(Statements::UpdataPro(Task, mProinf));
}
bool DeletePro(const QString &Id, const QString & /*From*/, const QString & /*Demander*/) {
    return del(Statements::DeletePro(Id));
}

bool AddNewTask(PTTaskInf mTaskInf) { return exec(Statements::AddNewTask(mTaskInf)); }
PDataPacket SelectTask(const QString &Id, bool mDesc) {
    return query(Statements::SelectTask(Id, mDesc));
}
PDataPacket SelectTask(const QString &Demander, const QString &Performer) {
    return query(Statements::SelectTask(Demander, Performer));
}
bool UpdataTask(const QString &Flag, const QString &List, PTTaskInf mTaskInf) {
    return exec(Statements::UpdataTask(Flag, List, mTaskInf));
}
bool UpdataTask(const QString &ReadTime, PTTaskInf mTaskInf) {
    return exec(Statements::UpdataTask(ReadTime, mTaskInf));
}
bool DeleteTask(const QString &Id, const QString &Content, const QString &Demander) {
    return del(Statements::DeleteTask(Id, Content, Demander));
}

bool NoticeAddFile(PTNoticeInf mNotice) { return exec(Statements::NoticeAddFile(mNotice)); }
