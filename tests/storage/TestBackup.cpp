// solvane-server --backup and --check against real database files: a copy
// taken while members write holds every answered write, a damaged database
// is found out and never copied, and a failed copy leaves nothing behind.

#include "support/ServerProcess.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <httplib.h>
#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct Run {
    int exitCode = -1;
    QString out, err;
};

// Runs solvane-server to its end with the given arguments.
Run runServer(const QStringList &args) {
    QProcess process;
    process.start(ServerProcess::binary(), args);
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// Plain SQL on a database file, outside any server; the first column of every row.
QStringList query(const QString &path, const QString &sql) {
    QStringList rows;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
        SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        sqlite3_exec(
            db, sql.toUtf8().constData(),
            [](void *out, int, char **values, char **) {
                static_cast<QStringList *>(out)->append(QString::fromUtf8(values[0]));
                return 0;
            },
            &rows, nullptr);
    }
    sqlite3_close(db);
    return rows;
}

const QString kSeedNotices =
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
    "INSERT INTO Notice SELECT 'seed-' || i || '-' || hex(randomblob(60)), 'Mareth', 'Kestra', "
    "'2026-01-01 09:00:00' FROM n";

// Members at work: threads inserting notices until stopped, each write
// recorded once the server has confirmed it.
class NoticeWriters {
public:
    NoticeWriters(int port, int count) {
        for (int w = 0; w < count; ++w)
            threads_.emplace_back([this, port, w] { write(port, w); });
    }
    ~NoticeWriters() { stop(); }

    // True once more than `count` writes are confirmed; false at the deadline.
    bool waitForConfirmed(size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return confirmed_.size() > count; });
    }
    std::vector<std::string> confirmed() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return confirmed_;
    }
    int refused() const { return refused_; }
    void stop() {
        stopping_ = true;
        for (auto &thread : threads_)
            if (thread.joinable())
                thread.join();
    }

private:
    void write(int port, int writer) {
        httplib::Client client("127.0.0.1", port);
        client.set_basic_auth(ServerProcess::kTestUser, ServerProcess::kTestPassword);
        client.set_keep_alive(true);
        client.set_read_timeout(10);
        for (int i = 0; !stopping_; ++i) {
            const std::string content = "w" + std::to_string(writer) + "-" + std::to_string(i);
            const std::string sql = "Insert into Notice values('" + content +
                                    "','Mareth','Kestra','2026-01-02 09:00:00')";
            auto result =
                client.Post("/datasnap/rest/TZelServerDataBase/ExecSQL", sql, "text/plain");
            if (!result || result->status != 200 ||
                result->body.find("\"result\":true") == std::string::npos) {
                ++refused_;
                continue;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            confirmed_.push_back(content);
            changed_.notify_all();
        }
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> confirmed_;
    std::atomic<int> refused_{0};
    std::atomic<bool> stopping_{false};
    std::vector<std::thread> threads_;
};

} // namespace

class TestBackup : public QObject {
    Q_OBJECT
private slots:
    void init();

    void copyTakenWhileMembersWriteHoldsEveryAnsweredWrite();
    void healthyDatabasePassesTheCheck();
    void damagedDatabaseFailsTheCheckAndIsNotCopied();
    void fileThatIsNoDatabaseFailsTheCheck();
    void missingDatabaseIsReportedAndNotCreated();
    void failedCopyLeavesNothingBehind();
    void copyReplacesAnOlderCopyWhole();
    void versionAndHelp();

private:
    // A database the server made, with 20,000 notices, the server no longer running.
    QString makeDatabase(const QString &name);

    std::unique_ptr<QTemporaryDir> dir_;
};

void TestBackup::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

QString TestBackup::makeDatabase(const QString &name) {
    const QString path = dir_->filePath(name);
    const Run added = runServer({"--db", path, "--add-member", "tb58", "pw", "Mareth"});
    if (added.exitCode != 0)
        return {};
    query(path, kSeedNotices);
    return path;
}

void TestBackup::copyTakenWhileMembersWriteHoldsEveryAnsweredWrite() {
    ServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.errorText()));
    QVERIFY(server.execOnDatabaseFile(kSeedNotices));
    QVERIFY(server.addTestMember());
    NoticeWriters writers(server.port(), 4);
    QVERIFY(writers.waitForConfirmed(300, 30s));

    const std::vector<std::string> answeredBefore = writers.confirmed();
    const QString copy = dir_->filePath("copy.db");
    const Run backup = runServer({"--db", server.dbPath(), "--backup", copy});
    // The members went on being served while and after it ran.
    QVERIFY(writers.waitForConfirmed(writers.confirmed().size() + 100, 30s));
    writers.stop();
    QCOMPARE(writers.refused(), 0);
    QVERIFY2(backup.exitCode == 0, qPrintable(backup.err));

    const Run check = runServer({"--db", copy, "--check"});
    QVERIFY2(check.exitCode == 0, qPrintable(check.err));
    const QStringList written = query(copy, "Select Content From Notice where Content like 'w%'");
    const std::set<QString> inCopy(written.begin(), written.end());
    for (const std::string &content : answeredBefore)
        QVERIFY2(inCopy.count(QString::fromStdString(content)), content.c_str());
    // Nothing that was never confirmed, and the seeded rows whole.
    const std::vector<std::string> answered = writers.confirmed();
    const std::set<std::string> confirmed(answered.begin(), answered.end());
    for (const QString &content : inCopy)
        QVERIFY2(confirmed.count(content.toStdString()), qPrintable(content));
    QCOMPARE(query(copy, "Select count(*) From Notice where Content like 'seed-%'"),
             QStringList{"20000"});
    // One file on its own, not a WAL database needing its companions.
    QCOMPARE(query(copy, "PRAGMA journal_mode"), QStringList{"delete"});
    QVERIFY(!QFile::exists(copy + "-wal"));
    QVERIFY(server.stop());
}

void TestBackup::healthyDatabasePassesTheCheck() {
    const QString db = makeDatabase("healthy.db");
    QVERIFY(!db.isEmpty());
    const Run check = runServer({"--db", db, "--check"});
    QCOMPARE(check.exitCode, 0);
    QCOMPARE(check.out, db + ": ok\n");
}

void TestBackup::damagedDatabaseFailsTheCheckAndIsNotCopied() {
    const QString db = makeDatabase("damaged.db");
    QVERIFY(!db.isEmpty());
    const int pageSize = query(db, "PRAGMA page_size").value(0).toInt();
    const int root =
        query(db, "Select rootpage From sqlite_master where name = 'Notice'").value(0).toInt();
    QVERIFY(pageSize > 0 && root > 1);
    // Overwrites the Notice table's root page, as a bad disk block would.
    QFile file(db);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(qint64(root - 1) * pageSize));
    file.write(QByteArray(pageSize, '\x5a'));
    file.close();

    const Run check = runServer({"--db", db, "--check"});
    QCOMPARE(check.exitCode, 1);
    QVERIFY2(check.err.contains(db), qPrintable(check.err));

    const QString copy = dir_->filePath("copy.db");
    QCOMPARE(runServer({"--db", db, "--check", "--backup", copy}).exitCode, 1);
    QVERIFY(!QFile::exists(copy));
}

void TestBackup::fileThatIsNoDatabaseFailsTheCheck() {
    const QString path = dir_->filePath("notes.txt");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(8192, 'x'));
    file.close();
    const Run check = runServer({"--db", path, "--check"});
    QCOMPARE(check.exitCode, 1);
    QVERIFY2(check.err.contains("not a database"), qPrintable(check.err));
}

void TestBackup::missingDatabaseIsReportedAndNotCreated() {
    const QString missing = dir_->filePath("missing.db");
    QCOMPARE(runServer({"--db", missing, "--check"}).exitCode, 1);
    const QString copy = dir_->filePath("copy.db");
    QCOMPARE(runServer({"--db", missing, "--backup", copy}).exitCode, 1);
    QVERIFY(!QFile::exists(missing));
    QVERIFY(!QFile::exists(copy));
}

void TestBackup::failedCopyLeavesNothingBehind() {
    const QString db = makeDatabase("live.db");
    QVERIFY(!db.isEmpty());
    const QString copy = dir_->filePath("no-such-folder/copy.db");
    const Run backup = runServer({"--db", db, "--backup", copy});
    QCOMPARE(backup.exitCode, 1);
    QVERIFY2(backup.err.contains("backup failed"), qPrintable(backup.err));
    QVERIFY(!QFile::exists(copy));
    QVERIFY(!QFile::exists(copy + ".part"));
}

void TestBackup::copyReplacesAnOlderCopyWhole() {
    const QString db = makeDatabase("live.db");
    QVERIFY(!db.isEmpty());
    const QString copy = dir_->filePath("copy.db");
    QFile older(copy);
    QVERIFY(older.open(QIODevice::WriteOnly));
    older.write(QByteArray(1 << 20, 'o'));
    older.close();
    const Run backup = runServer({"--db", db, "--backup", copy});
    QVERIFY2(backup.exitCode == 0, qPrintable(backup.err));
    QCOMPARE(backup.out, "copied " + db + " to " + copy + "\n");
    QCOMPARE(runServer({"--db", copy, "--check"}).exitCode, 0);
    QCOMPARE(query(copy, "Select UseName From Login"), QStringList{"tb58"});
    QVERIFY(!QFile::exists(copy + ".part"));
}

void TestBackup::versionAndHelp() {
    const Run version = runServer({"--version"});
    QCOMPARE(version.exitCode, 0);
    QVERIFY2(QRegularExpression("^solvane-server \\d+\\.\\d+(\\.\\d+)?\n$")
                 .match(version.out)
                 .hasMatch(),
             qPrintable(version.out));
    const Run help = runServer({"--help"});
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.out.startsWith("usage: solvane-server"));
    QVERIFY(help.out.contains("--backup FILE") && help.out.contains("--check"));
}

QTEST_GUILESS_MAIN(TestBackup)
#include "TestBackup.moc"
