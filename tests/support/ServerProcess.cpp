#include "support/ServerProcess.h"

#include "support/PgSpelling.h"

#include "support/PgTestDatabase.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>

#include <httplib.h>
#include <sqlite3.h>

#include <sys/prctl.h>

#include <csignal>

ServerProcess::Storage ServerProcess::storageUnderTest() {
    return qEnvironmentVariable("SOLVANE_TEST_STORAGE") == QLatin1String("postgres")
               ? Storage::Postgres
               : Storage::Sqlite;
}

QString ServerProcess::storageUnavailableReason() {
    return storageUnderTest() == Storage::Postgres ? PgTestDatabase::unavailableReason()
                                                   : QString();
}

ServerProcess::ServerProcess(QStringList extraArgs, Storage storage)
    : storage_(storage), extraArgs_(std::move(extraArgs)) {
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    // The server logs a line per request; a pipe nobody drains would stall it.
    process_.setStandardErrorFile(dir_.filePath(QStringLiteral("server.log")), QIODevice::Append);
    // Even a test that crashes leaves no server behind: the kernel ends it
    // with the thread that started it.
    process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

ServerProcess::~ServerProcess() {
    if (process_.state() != QProcess::NotRunning)
        kill();
    postgres_.reset(); // after the server, whose connections would hold it
}

QString ServerProcess::binary() {
    return QStringLiteral(SOLVANE_SERVER_PATH);
}

QString ServerProcess::dbArgument() const {
    return postgres_ ? postgres_->serverConnection() : dbPath();
}

bool ServerProcess::start(bool https) {
    port_ = 0;
    errorText_.clear();
    if (isPostgres() && !postgres_ && dbPath_.isEmpty()) {
        postgres_ = std::make_unique<PgTestDatabase>();
        if (!postgres_->create(binary_)) {
            errorText_ = postgres_->errorText();
            return false;
        }
    }
    process_.start(binary_, QStringList{"--db", dbArgument(), "--port", "0"} + extraArgs_);
    if (!process_.waitForStarted(5000)) {
        errorText_ = process_.errorString();
        return false;
    }
    // The server prints the port it bound, then the handshake must answer.
    static const QRegularExpression announced("listening on [^ ]+:(\\d+)");
    QByteArray out;
    QDeadlineTimer deadline(10000);
    while (port_ == 0 && !deadline.hasExpired() && process_.state() == QProcess::Running) {
        process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        out += process_.readAllStandardOutput();
        auto match = announced.match(QString::fromUtf8(out));
        if (match.hasMatch())
            port_ = match.captured(1).toInt();
    }
    if (port_ == 0) {
        QFile log(dir_.filePath(QStringLiteral("server.log")));
        log.open(QIODevice::ReadOnly);
        errorText_ = QString::fromUtf8(out + log.readAll());
        kill();
        return false;
    }
    httplib::Client probe((https ? "https://127.0.0.1:" : "http://127.0.0.1:") +
                          std::to_string(port_));
    probe.enable_server_certificate_verification(false); // a test's own certificate
    probe.set_connection_timeout(1);
    while (!deadline.hasExpired()) {
        if (auto answer = probe.Get("/datasnap/"); answer && answer->status == 200)
            return true;
    }
    errorText_ = QStringLiteral("the server did not answer the handshake");
    kill();
    return false;
}

bool ServerProcess::stop() {
    if (process_.state() == QProcess::NotRunning)
        return true;
    process_.terminate();
    if (!process_.waitForFinished(10000)) {
        kill();
        return false;
    }
    return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
}

void ServerProcess::kill() {
    process_.kill();
    process_.waitForFinished(5000);
}

bool ServerProcess::execOnDatabaseFile(const QString &sql) const {
    if (postgres_)
        return postgres_->execAsOwner(inPostgresSpelling(sql));
    sqlite3 *db = nullptr;
    bool done = sqlite3_open(dbPath().toUtf8().constData(), &db) == SQLITE_OK;
    sqlite3_busy_timeout(db, 5000);
    done =
        done && sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return done;
}

QStringList ServerProcess::queryDatabaseFile(const QString &sql) const {
    if (postgres_)
        return postgres_->queryAsOwner(inPostgresSpelling(sql));
    QStringList values;
    sqlite3 *db = nullptr;
    sqlite3_open_v2(dbPath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) == SQLITE_OK)
        while (sqlite3_step(statement) == SQLITE_ROW)
            values << QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return values;
}

bool ServerProcess::refuseChanges(const QString &table, const QString &event,
                                  const QString &condition) const {
    static QAtomicInt made;
    const QString name = QStringLiteral("refuse_%1").arg(made.fetchAndAddRelaxed(1));
    if (!postgres_)
        return execOnDatabaseFile(
            QStringLiteral("create trigger %1 before %2 on %3 %4 begin select raise(abort, "
                           "'refused'); end")
                .arg(name, event, table,
                     condition.isEmpty() ? QString() : QStringLiteral("when ") + condition));
    return postgres_->execAsOwner(
        QStringLiteral("create function %1() returns trigger language plpgsql as "
                       "$$ begin raise exception 'refused'; end $$;")
            .arg(name) +
        inPostgresSpelling(
            QStringLiteral(
                "create trigger %1 before %2 on %3 for each row %4 execute function %1()")
                .arg(name, event, table,
                     condition.isEmpty() ? QString() : "when (" + condition + ")")));
}

QByteArray ServerProcess::log() const {
    QFile file(dir_.filePath(QStringLiteral("server.log")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string ServerProcess::testAuthorizationHeader() {
    const QByteArray pair = QByteArray(kTestUser) + ':' + kTestPassword;
    return "Authorization: Basic " + pair.toBase64().toStdString() + "\r\n";
}

bool ServerProcess::addTestMember() const {
    if (postgres_)
        return postgres_->execAsOwner(
            QStringLiteral("INSERT INTO \"Login\" VALUES('%1','%2','Mareth')")
                .arg(QLatin1String(kTestUser), QLatin1String(kTestPassword)));
    return execOnDatabaseFile(QStringLiteral("INSERT INTO Login VALUES('%1','%2','Mareth')")
                                  .arg(QLatin1String(kTestUser), QLatin1String(kTestPassword)));
}
