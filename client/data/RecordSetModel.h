#pragma once
// Shows a record set in a view: its rows in stored column order, headed by
// the field names. Follows the record set through every reload.

#include "RecordSet.h"

#include <QAbstractTableModel>

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

  private:
    RecordSet *records_;
    QStringList titles_;
};
