#include "data/records/RecordSetModel.h"

RecordSetModel::RecordSetModel(RecordSet *records, QObject *parent)
    : QAbstractTableModel(parent), records_(records) {
    connect(records_, &RecordSet::reloaded, this, [this] {
        beginResetModel();
        backgrounds_.clear();
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
    if (!index.isValid())
        return {};
    if (role == Qt::BackgroundRole && background_) {
        const auto row = static_cast<size_t>(index.row());
        const qint64 epoch = epoch_ ? epoch_() : 0;
        if (epoch != backgroundsEpoch_ ||
            backgrounds_.size() != static_cast<size_t>(records_->recordCount())) {
            backgrounds_.assign(records_->recordCount(), QColor());
            backgroundsEpoch_ = epoch;
        }
        if (!backgrounds_[row].isValid())
            backgrounds_[row] = background_(*records_, index.row());
        return backgrounds_[row];
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    return records_->value(index.row(), index.column());
}

QVariant RecordSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole && !titles_.isEmpty())
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section < titles_.size() ? titles_.at(section) : records_->fieldName(section);
    return section + 1;
}

void RecordSetModel::setTitles(const QStringList &titles) {
    titles_ = titles;
    emit headerDataChanged(Qt::Horizontal, 0, qMax(0, columnCount() - 1));
}

void RecordSetModel::setRowBackground(RowBackground background, Epoch epoch) {
    background_ = std::move(background);
    epoch_ = std::move(epoch);
    backgrounds_.clear();
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                         {Qt::BackgroundRole});
}
