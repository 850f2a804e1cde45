#pragma once
// A test's scene is written in SQLite's spelling, as the client writes its
// statements. On PostgreSQL the tables and columns were made with quoted
// names, so the same text needs them quoted, and SQLite's rowid (the order
// rows were added in) becomes ctid.

#include <QString>

QString inPostgresSpelling(const QString &sql);
