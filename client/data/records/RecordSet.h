#pragma once
// A window's in-memory copy of a query result, read by field name (letter case
// ignored) or position, with a cursor for first/next/eof walks.

#include "data/answers/DataPacket.h"

#include <QObject>

class RecordSet : public QObject {
    Q_OBJECT
public:
    explicit RecordSet(QObject *parent = nullptr) : QObject(parent) {}

    // Replaces every row with the packet's and moves to the first row. A
    // query that failed has no packet: its caller tells the failure instead.
    void load(const PDataPacket &packet);

    int recordCount() const { return packet_ ? packet_->rowCount() : 0; }
    int fieldCount() const { return packet_ ? packet_->columnCount() : 0; }
    QString fieldName(int column) const;
    int fieldIndex(const QString &name) const; // -1 when there is no such field

    // The cursor.
    void first() { recNo_ = 0; }
    void next() { ++recNo_; }
    bool eof() const { return recNo_ >= recordCount(); }
    int recNo() const { return recNo_; }

    // Fields of the current row; throw std::runtime_error for an unknown field
    // or a cursor off the rows.
    QString fieldByName(const QString &name) const;
    QString field(int column) const;

    // Direct access for models and painters: no cursor, no checks beyond bounds.
    const QString &value(int row, int column) const { return packet_->cell(row, column); }

signals:
    void reloaded();

private:
    void checkRow() const;

    PDataPacket packet_;
    int recNo_ = 0;
};
