#pragma once
// A real solvane-server on 127.0.0.1, on a port it picks itself, over a
// database in a temporary folder. Started and stopped by the test.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class PgTestDatabase;

class ServerProcess {
public:
    enum class Storage { Sqlite, Postgres };
    // The storage a suite that runs on both is run against this time:
    // SOLVANE_TEST_STORAGE=postgres, otherwise SQLite.
    static Storage storageUnderTest();
    // Why the storage under test cannot run here; empty when it can.
    static QString storageUnavailableReason();

    // On PostgreSQL, a fresh database per ServerProcess (PgTestDatabase).
    explicit ServerProcess(QStringList extraArgs = {}, Storage storage = Storage::Sqlite);
    bool isPostgres() const { return storage_ == Storage::Postgres; }
    // Serve an existing database instead of a fresh one in a temporary folder.
    void setDatabase(const QString &path) { dbPath_ = path; }
    // Run another build of the server, such as an older one to compare with.
    void setBinary(const QString &path) { binary_ = path; }
    ~ServerProcess();

    // Starts the server and waits until it answers the handshake; false with
    // the server's own output in errorText() when it does not come up.
    bool start(bool https = false); // https: the server was given a certificate
    // SIGTERM, then waits for a clean exit; true when it exited with status 0.
    bool stop();
    void kill();

    int port() const { return port_; }
    qint64 pid() const { return process_.processId(); }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    // What the server gets as --db.
    QString dbArgument() const;
    QString dbPath() const {
        return dbPath_.isEmpty() ? dir_.filePath(QStringLiteral("solvane.db")) : dbPath_;
    }
    QString errorText() const { return errorText_; }
    // What the server has logged so far (its standard error).
    QByteArray log() const;
    // Runs SQL on the database file itself, past the server's guard: for a test
    // that needs what no client statement may do, such as a table changed.
    bool execOnDatabaseFile(const QString &sql) const;
    // The first column of every row a query of the database file gives: what
    // the server stored, read without going through it.
    QStringList queryDatabaseFile(const QString &sql) const;
    // Makes the database refuse a kind of change to a table, as a constraint
    // would: event is "insert", "delete" or "update of Column, …"; condition,
    // when given, is on the new row, in SQLite's spelling (new.ProAim='x').
    bool refuseChanges(const QString &table, const QString &event,
                       const QString &condition = {}) const;
    static QString binary();

    // The member the server tests act as: privileged, stored by addTestMember().
    static constexpr const char *kTestUser = "tb58";
    static constexpr const char *kTestPassword = "pw";
    // The Authorization header line that carries those credentials.
    static std::string testAuthorizationHeader();
    // Stores the test member (display name Mareth) in the database file.
    bool addTestMember() const;

private:
    Storage storage_;
    std::unique_ptr<PgTestDatabase> postgres_;
    QTemporaryDir dir_;
    QStringList extraArgs_;
    QString dbPath_;
    QString binary_ = binary();
    QProcess process_;
    int port_ = 0;
    QString errorText_;
};
