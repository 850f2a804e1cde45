// The data-access operations against a real server: what they write is what
// later reads find, and every failure comes back as a failure value that says
// which: out of reach, answer lost, refused (with the server's code), busy.

#include "data/DataAccess.h"
#include "data/answers/ServerError.h"
#include "data/connection/AppServerGateway.h"
#include "data/connection/ServerConnection.h"
#include "data/records/RecordSet.h"
#include "data/statements/Statements.h"
#include "support/CuttingProxy.h"
#include "support/ServerProcess.h"

#include <QtTest>

namespace {

QStringList column(const QueryResult &result, const QString &name) {
    if (!result.ok())
        return {QStringLiteral("(failed)")};
    RecordSet rows;
    rows.load(result.rows());
    QStringList values;
    for (rows.first(); !rows.eof(); rows.next())
        values << rows.fieldByName(name);
    return values;
}

Project project(const QString &id, const QString &demander, const QString &performers,
                const QString &due, const QString &flag = "No") {
    return {id,  "来源", "目标", "内容", demander, performers, "2026-11-17 09:00:00",
            due, flag,   "0",    ""};
}

Task task(const QString &id, const QString &content, const QString &created, const QString &due) {
    return {id, content, "abc", "", created, due, "0", "", "", "def|abc"};
}

} // namespace

class TestDataAccess : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void members();
    void projects();
    void tasks();
    void noticesAndTimeTexts();
    void failuresNeverRaise();
    void aLostAnswerIsToldFromANo();
    void recordSet();
    void refusalsInChinese_data();
    void refusalsInChinese();

private:
    std::unique_ptr<ServerProcess> server_;
    std::unique_ptr<ServerConnection> connection_;
    std::unique_ptr<AppServerGateway> gateway_;
};

void TestDataAccess::init() {
    server_ = std::make_unique<ServerProcess>();
    QVERIFY2(server_->start(), qPrintable(server_->errorText()));
    // The operations act for a member who may add and list members, abc.
    QVERIFY(server_->execOnDatabaseFile("INSERT INTO Login VALUES('vqk','q','abc')"));
    connection_ = std::make_unique<ServerConnection>();
    connection_->setHostName(server_->host());
    connection_->setPort(server_->port());
    connection_->setCredentials("vqk", "q");
    connection_->open();
    gateway_ = std::make_unique<AppServerGateway>(connection_.get());
    DataAccess::setGateway(gateway_.get());
}

void TestDataAccess::cleanup() {
    DataAccess::setGateway(nullptr);
    gateway_.reset();
    connection_.reset();
    QVERIFY(server_->stop());
    server_.reset();
}

void TestDataAccess::members() {
    const Member first{" tb58 ", "pw'1", "王小明"};
    const Member second{"kestra", "k", "Kestra"};
    QVERIFY(DataAccess::addMember(first).ok());
    QVERIFY(DataAccess::addMember(second).ok());
    // Login names are unique: the server's no.
    const ChangeOutcome twice = DataAccess::addMember(second);
    QVERIFY(!twice.ok());
    QCOMPARE(twice.failure().kind, Failure::Kind::Refused);

    QCOMPARE(column(DataAccess::selectMembers("tb58", "pw'1"), "remark"), QStringList{"王小明"});
    QCOMPARE(column(DataAccess::selectMembers("tb58", "wrong"), "Remark"), QStringList{});
    QCOMPARE(column(DataAccess::selectMembers("kestra"), "PassWord"), QStringList{"k"});
    QCOMPARE(column(DataAccess::selectMembers(), "UseName"),
             (QStringList{"vqk", "tb58", "kestra"}));
    RecordSet remarks;
    remarks.load(DataAccess::selectDisplayNames().rows());
    QCOMPARE(remarks.fieldCount(), 1);
    QCOMPARE(remarks.fieldName(0), "Remark");

    // A member changes the own login, as the member window does.
    connection_->setCredentials("tb58", "pw'1");
    const Member changed{"tb59", "new", "王小明"};
    QVERIFY(DataAccess::updateMember(first, changed).ok());
    connection_->setCredentials("tb59", "new");
    QCOMPARE(column(DataAccess::selectMembers("tb59", "new"), "Remark"), QStringList{"王小明"});
    QVERIFY(!DataAccess::updateMember(first, changed).ok()); // no longer this member's login
    const ChangeOutcome stored = DataAccess::updateMember(changed, changed);
    QVERIFY(stored.ok() && stored.count() == 1 && stored.changedAnyRow());
    // The count tells a change that matched no row from one that stored.
    const ChangeOutcome none = DataAccess::updateTaskState("1", "", Task{});
    QVERIFY(none.ok() && none.count() == 0 && !none.changedAnyRow());
    const Member clash{"KESTRA", "new", "王小明"};
    QVERIFY(!DataAccess::updateMember(changed, clash).ok()); // would take another member's login name
}

void TestDataAccess::projects() {
    const auto mine = project("GD20261117001", "abc", "def", "2026-11-20 09:00:00");
    const auto performing = project("KF20261117001", "ghi", "x|abc", "2026-11-25 09:00:00");
    const auto longerName = project("SW20261117001", "ghi", "abcd", "2026-11-22 09:00:00");
    const auto done = project("SW20261117002", "ghi", "abc", "2026-11-28 09:00:00", "Yes");
    QVERIFY(DataAccess::addProject(mine).ok());
    QVERIFY(!DataAccess::addProject(mine).ok()); // a project number is stored once
    for (const auto *p : {&performing, &longerName, &done}) // other members' projects
        QVERIFY(server_->execOnDatabaseFile(Statements::addProject(*p)));

    // Created by abc, or open with abc among the performers
    // (a longer name containing abc counts too), latest due first.
    QCOMPARE(column(DataAccess::selectMemberProjects("abc", "abc"), "ProId"),
             (QStringList{"KF20261117001", "SW20261117001", "GD20261117001"}));
    QCOMPARE(column(DataAccess::selectMemberProjects("", ""), "ProId").size(),
             3); // every open project

    QVERIFY(DataAccess::updateProject("x|abc", "No", "2", "业务需求---abc", performing).ok());
    QVERIFY(DataAccess::updateProjectTaskCount("5", mine).ok());
    RecordSet rows;
    rows.load(DataAccess::queryProjects("Select * From programe Where ProId Like 'KF20261117%'")
                  .rows());
    QCOMPARE(rows.recordCount(), 1);
    QCOMPARE(rows.fieldByName("ProCompleteFlag"), "No");
    QCOMPARE(rows.fieldByName("ProList"), "业务需求---abc");
    QCOMPARE(
        column(DataAccess::queryProjects("Select * From programe Where ProId Like 'GD20261117001'"),
               "ProTask"),
        QStringList{"5"});

    QVERIFY(DataAccess::deleteProject("GD20261117001").ok());
    QCOMPARE(column(DataAccess::queryProjects("Select * From Programe Order by ProCreateTime desc"),
                    "ProId")
                 .size(),
             3);
}

void TestDataAccess::tasks() {
    const QString id = "GD20261117001";
    // Created first, due first: the two orders disagree.
    const auto early =
        task(id, "  第一行\r\n第二行\r\n", "2026-11-17 09:00:00", "2026-11-19 09:00:00");
    const auto late = task(id, "it's later", "2026-11-18 09:00:00", "2026-11-30 09:00:00");
    const auto other = task("KF20261117001", "other", "2026-11-16 09:00:00", "2026-11-21 09:00:00");
    for (const QString &project : {id, QString("KF20261117001")})
        QVERIFY(DataAccess::addProject(
            {project, "来源", "目标", "内容", "abc", "", "2026-11-17 09:00:00", "", "No", "0", ""}).ok());
    for (const auto *t : {&early, &late, &other})
        QVERIFY(DataAccess::addTask(*t).ok());

    QCOMPARE(column(DataAccess::selectProjectTasks(id, false), "TaskContent"),
             (QStringList{"第一行\r\n第二行", "it's later"}));
    QCOMPARE(column(DataAccess::selectProjectTasks(id, true), "TaskContent"),
             (QStringList{"it's later", "第一行\r\n第二行"}));
    QCOMPARE(column(DataAccess::selectMemberTasks("nobody", "def"), "TaskContent").size(),
             3); // related person

    Task claimed = late;
    claimed.performer = "abc";
    QVERIFY(DataAccess::claimTask(claimed).changedAnyRow());
    QVERIFY(DataAccess::updateTaskState("1", " 已完成 ", claimed).ok());
    QVERIFY(DataAccess::updateTaskReadTime("2026-11-18 10:00:00--abc", claimed).ok());
    RecordSet rows;
    rows.load(DataAccess::selectMemberTasks("x", "def").rows());
    rows.first();
    QCOMPARE(rows.fieldByName("TaskCompleteTime"), "2026-11-30 09:00:00"); // latest due first
    while (!rows.eof() && rows.fieldByName("TaskContent") != "it's later")
        rows.next();
    QCOMPARE(rows.fieldByName("TaskCompleteFlag"), "1");
    QCOMPARE(rows.fieldByName("TaskList"), "已完成");
    QCOMPARE(rows.fieldByName("TaskPerformer"), "abc");
    QCOMPARE(rows.fieldByName("TaskReadTime"), "2026-11-18 10:00:00--abc");

    QVERIFY(DataAccess::deleteTask(id, "it's later", "abc").ok());
    QVERIFY(DataAccess::deleteTask(id, "not there", "abc").ok()); // no row is not a failure
    QCOMPARE(column(DataAccess::selectProjectTasks(id, false), "TaskContent").size(), 1);
}

void TestDataAccess::noticesAndTimeTexts() {
    const Notice before{"项目编号:GD1 前一天", "abc", "def", "2016-11-01 23:59:59"};
    const Notice lastSecond{" 项目编号:GD1 末秒 ", "abc", "", "2016-11-02 23:59:59"};
    const Notice nextDay{"项目编号:GD1 次日", "abc", "def|ghi", "2016-11-03 00:00:00"};
    for (const auto *n : {&before, &lastSecond, &nextDay})
        QVERIFY(DataAccess::addNotice(*n).ok());
    auto packet = gateway_->openSql(
        "Select * From Notice Where CreateTime>='2016-11-02'Order by CreateTime desc");
    QCOMPARE(column(packet, "Content"), (QStringList{"项目编号:GD1 次日", " 项目编号:GD1 末秒 "}));
}

void TestDataAccess::aLostAnswerIsToldFromANo() {
    const auto stored = project("GD20261117001", "abc", "def", "2026-11-20 09:00:00");
    QVERIFY(DataAccess::addProject(stored).ok());
    CuttingProxy proxy(server_->port());
    QVERIFY(proxy.start());
    ServerConnection throughProxy;
    throughProxy.setHostName(server_->host());
    throughProxy.setPort(proxy.port());
    throughProxy.setCredentials("vqk", "q");
    throughProxy.open();
    AppServerGateway gateway(&throughProxy);
    DataAccess::setGateway(&gateway);
    const auto aimIs = [this](const QString &aim) {
        return server_->queryDatabaseFile("select ProAim from Programe") == QStringList{aim};
    };

    // Carried out, but the answer never came: lost, not refused.
    Project edited = stored;
    edited.aim = "carried out";
    proxy.cutNext("delete Programe", CuttingProxy::Cut::AfterAnswer);
    ChangeOutcome result = DataAccess::replaceProject(stored.id, edited);
    QVERIFY(!result.ok());
    QCOMPARE(result.failure().kind, Failure::Kind::AnswerLost);
    QVERIFY(aimIs("carried out"));
    // Never arrived: lost just the same, and nothing changed.
    edited.aim = "never arrived";
    proxy.cutNext("delete Programe", CuttingProxy::Cut::BeforeRequest);
    result = DataAccess::replaceProject(stored.id, edited);
    QCOMPARE(result.failure().kind, Failure::Kind::AnswerLost);
    QVERIFY(aimIs("carried out"));
    QCOMPARE(proxy.cuts(), 2);
    // The server's no is a no: nothing lost.
    edited.creator = "someone else";
    result = DataAccess::replaceProject(stored.id, edited);
    QCOMPARE(result.failure().kind, Failure::Kind::Refused);
    // And the connection serves on after the cuts.
    edited.creator = stored.creator;
    QVERIFY(DataAccess::replaceProject(stored.id, edited).changedAnyRow());
    QVERIFY(aimIs("never arrived"));
    DataAccess::releaseGateway(&gateway);
}

void TestDataAccess::failuresNeverRaise() {
    const Member member{"a", "b", "c"};
    const Notice notice{"n", "d", "p", "2026-11-17 09:00:00"};

    DataAccess::setGateway(nullptr);
    QCOMPARE(DataAccess::addMember(member).failure().kind, Failure::Kind::Unreached);
    QCOMPARE(DataAccess::selectMembers().failure().kind, Failure::Kind::Unreached);

    DataAccess::setGateway(gateway_.get());
    QVERIFY(server_->stop());
    QElapsedTimer took;
    took.start();
    QVERIFY(!DataAccess::addMember(member).ok());
    QCOMPARE(DataAccess::updateMember(member, member).failure().kind, Failure::Kind::Unreached);
    QVERIFY(!DataAccess::addNotice(notice).ok());
    QVERIFY(!DataAccess::deleteProject("x").ok());
    QVERIFY(!DataAccess::deleteTask("x", "", "").ok());
    QVERIFY(!DataAccess::selectMembers("a", "b").ok());
    QVERIFY(!DataAccess::selectMemberProjects("c", "c").ok());
    QVERIFY(!DataAccess::selectMemberTasks("c", "c").ok());
    QVERIFY(!DataAccess::selectDisplayNames().ok());

    // Opening a connection to nothing says where and why.
    ServerConnection nowhere;
    nowhere.setHostName("127.0.0.1");
    nowhere.setPort(server_->port());
    try {
        nowhere.open();
        QFAIL("opening a connection to a stopped server succeeded");
    } catch (const ServerError &error) {
        QVERIFY2(QString(error.what()).contains(QString("127.0.0.1:%1").arg(server_->port())),
                 error.what());
    }
    QVERIFY(!nowhere.connected());

    // And the gateway raises what the operations swallow.
    QVERIFY_THROWS_EXCEPTION(ServerError, gateway_->openSql("Select * From Login"));
}

void TestDataAccess::recordSet() {
    RecordSet rows;
    const Member member{"a", "b", "c"};
    QVERIFY(DataAccess::addMember(member).ok());
    rows.load(DataAccess::selectMembers().rows());
    QCOMPARE(rows.fieldIndex("REMARK"), 2);
    QCOMPARE(rows.field(0), "vqk");
    rows.next();
    QCOMPARE(rows.field(0), "a");
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, rows.fieldByName("NoSuchField"));
    rows.next();
    QVERIFY(rows.eof());
    // Refused by the server: the gateway raises, the operation hands back the
    // refusal, told in Chinese without the server's English.
    QVERIFY_THROWS_EXCEPTION(ServerError, gateway_->openSql("Select * From sqlite_master"));
    const QueryResult refused = DataAccess::queryProjects("Select * From sqlite_master");
    QVERIFY(!refused.ok());
    QCOMPARE(refused.failure().kind, Failure::Kind::Refused);
    QVERIFY(!refused.failure().reason.isEmpty()); // the server's words, for the log
    QVERIFY2(!refused.failure().text().contains(QRegularExpression("[A-Za-z]")),
             qPrintable(refused.failure().text()));
}

// Every code the server gives has its own Chinese text; an unknown or missing
// code falls back to the kind's. None lets an English word through.
void TestDataAccess::refusalsInChinese_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("says");
    const int refused = int(Failure::Kind::Refused), busy = int(Failure::Kind::Busy);
    QTest::newRow("busy") << busy << "busy" << "正忙";
    QTest::newRow("unavailable") << busy << "unavailable" << "数据库";
    QTest::newRow("throttled") << busy << "throttled" << "频繁";
    QTest::newRow("busy, no code") << busy << "" << "正忙";
    QTest::newRow("unauthorized") << refused << "unauthorized" << "登录信息";
    QTest::newRow("too-large") << refused << "too-large" << "过大";
    QTest::newRow("malformed") << refused << "malformed" << "无法识别";
    QTest::newRow("statement-refused") << refused << "statement-refused" << "不执行";
    QTest::newRow("not-privileged") << refused << "not-privileged" << "管理权限";
    QTest::newRow("not-creator") << refused << "not-creator" << "创建人";
    QTest::newRow("not-dispatcher") << refused << "not-dispatcher" << "派发人";
    QTest::newRow("not-related") << refused << "not-related" << "关联人员";
    QTest::newRow("not-own-login") << refused << "not-own-login" << "自己";
    QTest::newRow("wrong-state") << refused << "wrong-state" << "状态";
    QTest::newRow("name-invalid") << refused << "name-invalid" << "不允许的字符";
    QTest::newRow("name-taken") << refused << "name-taken" << "已被其他成员使用";
    QTest::newRow("key-taken") << refused << "key-taken" << "已经存在";
    QTest::newRow("value-invalid") << refused << "value-invalid" << "不符合要求";
    QTest::newRow("quota") << refused << "quota" << "额度";
    QTest::newRow("database") << refused << "database" << "数据库拒绝";
    QTest::newRow("not-own-name") << refused << "not-own-name" << "自己的姓名";
    QTest::newRow("changed-meanwhile") << refused << "changed-meanwhile" << "已被他人修改";
    QTest::newRow("gone") << refused << "gone" << "已被他人删除";
    QTest::newRow("notice-share") << refused << "notice-share" << "上限";
    QTest::newRow("unknown code") << refused << "something-new" << "未说明";
    QTest::newRow("no code") << refused << "" << "未说明";
    QTest::newRow("unreached") << int(Failure::Kind::Unreached) << "" << "无法连接";
    QTest::newRow("answer lost") << int(Failure::Kind::AnswerLost) << "" << "可能已经保存";
}

void TestDataAccess::refusalsInChinese() {
    QFETCH(int, kind);
    QFETCH(QString, code);
    QFETCH(QString, says);
    const Failure failure{Failure::Kind(kind), code, "the server's own words", ""};
    QVERIFY2(failure.text().contains(says), qPrintable(failure.text()));
    QVERIFY2(!failure.text().contains(QRegularExpression("[A-Za-z]")), qPrintable(failure.text()));
}

QTEST_GUILESS_MAIN(TestDataAccess)
#include "TestDataAccess.moc"
