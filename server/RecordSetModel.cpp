#include "RecordSetModel.h"

RecordSetModel::RecordSetModel(RecordSet *records, QObject *parent)
    : QAbstractTableModel(parent), records_(records) {
    connect(records_, &RecordSet::reloaded, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

int RecordSetModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : records_->recordCount();
}

int RecordSetModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : records_->fieldCount();
}

QVariant RecordSetModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return records_->value(index.row(), index.column());
}

QVariant RecordSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return records_->fieldName(section);
    return section + 1;
}
