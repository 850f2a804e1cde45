#pragma once
// Shows a record set in a view: its rows in stored column order, headed by
// the field names. Follows the record set through every reload.

#include "data/records/RecordSet.h"

#include <QAbstractTableModel>
#include <QColor>

#include <functional>
#include <vector>

class RecordSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordSetModel(RecordSet *records, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    RecordSet *records() const { return records_; }
    // Column titles in place of the field names, centred; missing ones keep the name.
    void setTitles(const QStringList &titles);

    // Every cell of a row gets the background the function gives for the row.
    // Colours are computed once per row and kept until the rows are reloaded
    // or the epoch changes: colours that depend on the time give the minute
    // or the day they were computed for as their epoch.
    using RowBackground = std::function<QColor(const RecordSet &records, int row)>;
    using Epoch = std::function<qint64()>;
    void setRowBackground(RowBackground background, Epoch epoch = {});

private:
    RecordSet *records_;
    QStringList titles_;
    RowBackground background_;
    Epoch epoch_;
    mutable qint64 backgroundsEpoch_ = 0;
    mutable std::vector<QColor> backgrounds_; // invalid: not computed yet
};
