#include "support/PgTestDatabase.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QProcess>

#include <libpq-fe.h>

namespace {

QString clusterConnection() {
    return qEnvironmentVariable("SOLVANE_TEST_PG");
}

// scripts/pg-cluster makes this role; another cluster may name its own.
QString serverRole() {
    const QString role = qEnvironmentVariable("SOLVANE_TEST_PG_ROLE");
    return role.isEmpty() ? QStringLiteral("solvane_server") : role;
}

} // namespace

QString PgTestDatabase::unavailableReason() {
    if (clusterConnection().isEmpty())
        return QStringLiteral("SOLVANE_TEST_PG is not set: run the suite under scripts/pg-cluster "
                              "(as scripts/test does) to test the PostgreSQL storage");
    return {};
}

PgTestDatabase::~PgTestDatabase() {
    if (!name_.isEmpty())
        exec(clusterConnection(), "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
}

// Later keywords of a libpq connection string override earlier ones.
QString PgTestDatabase::ownerConnection() const {
    return clusterConnection() + " dbname=" + name_;
}

QString PgTestDatabase::serverConnection() const {
    return ownerConnection() + " user=" + serverRole();
}

bool PgTestDatabase::exec(const QString &conninfo, const QString &sql) {
    PGconn *conn = PQconnectdb(conninfo.toUtf8().constData());
    bool done = PQstatus(conn) == CONNECTION_OK;
    if (done) {
        PGresult *result = PQexec(conn, sql.toUtf8().constData());
        done = PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
    }
    if (!done)
        errorText_ = QString::fromUtf8(PQerrorMessage(conn));
    PQfinish(conn);
    return done;
}

QStringList PgTestDatabase::queryAsOwner(const QString &sql) {
    QStringList values;
    PGconn *conn = PQconnectdb(ownerConnection().toUtf8().constData());
    if (PQstatus(conn) == CONNECTION_OK) {
        PGresult *result = PQexec(conn, sql.toUtf8().constData());
        if (PQresultStatus(result) == PGRES_TUPLES_OK)
            for (int row = 0; row < PQntuples(result); ++row)
                values << QString::fromUtf8(PQgetvalue(result, row, 0));
        else
            errorText_ = QString::fromUtf8(PQresultErrorMessage(result));
        PQclear(result);
    }
    PQfinish(conn);
    return values;
}

bool PgTestDatabase::createEmpty() {
    static QAtomicInt counter;
    name_ = QStringLiteral("solvane_test_%1_%2")
                .arg(QCoreApplication::applicationPid())
                .arg(counter.fetchAndAddRelaxed(1));
    // Bytes order text, as on SQLite, whatever the cluster's default.
    return exec(clusterConnection(), "CREATE DATABASE " + name_ +
                                         " TEMPLATE template0 ENCODING 'UTF8' LC_COLLATE 'C' "
                                         "LC_CTYPE 'C'");
}

bool PgTestDatabase::create(const QString &serverBinary) {
    if (!createEmpty())
        return false;
    QProcess init;
    init.start(serverBinary, {"--db", ownerConnection(), "--init", "--grant-to", serverRole()});
    if (!init.waitForFinished(30000) || init.exitCode() != 0) {
        errorText_ = QString::fromUtf8(init.readAllStandardError());
        return false;
    }
    return true;
}
