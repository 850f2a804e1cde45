#pragma once
// A fresh PostgreSQL database for one test, on the cluster SOLVANE_TEST_PG
// names (scripts/pg-cluster sets it): created by the owner role with the
// server's tables, served by the server's own role, dropped afterwards.

#include <QString>
#include <QStringList>

class PgTestDatabase {
public:
    PgTestDatabase() = default;
    ~PgTestDatabase();
    PgTestDatabase(const PgTestDatabase &) = delete;
    PgTestDatabase &operator=(const PgTestDatabase &) = delete;

    // Why the PostgreSQL tests cannot run here; empty when they can.
    static QString unavailableReason();

    // Creates the database and its tables with the server at serverBinary
    // (--init); false with the reason in errorText() when that fails.
    bool create(const QString &serverBinary);
    // An empty database with no tables, for --copy-to.
    bool createEmpty();

    QString ownerConnection() const;  // may create and change tables
    QString serverConnection() const; // may only read and change rows
    QString errorText() const { return errorText_; }
    // Runs SQL as the owner, past the server: a test's scene.
    bool execAsOwner(const QString &sql) { return exec(ownerConnection(), sql); }
    // The first column of each row a query as the owner gives; NULL reads as empty.
    QStringList queryAsOwner(const QString &sql);

private:
    bool exec(const QString &conninfo, const QString &sql);
    QString name_;
    QString errorText_;
};
