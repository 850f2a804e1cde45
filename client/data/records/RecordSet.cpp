#include "data/records/RecordSet.h"

void RecordSet::load(const PDataPacket &packet) {
    Q_ASSERT(packet);
    packet_ = packet;
    recNo_ = 0;
    emit reloaded();
}

QString RecordSet::fieldName(int column) const {
    if (!packet_ || column < 0 || column >= packet_->columnCount())
        return {};
    return packet_->columns.at(column);
}

int RecordSet::fieldIndex(const QString &name) const {
    return packet_ ? packet_->columnIndex(name) : -1;
}

void RecordSet::checkRow() const {
    if (!packet_)
        throw std::runtime_error("Dataset not in active state");
    if (recNo_ < 0 || recNo_ >= packet_->rowCount())
        throw std::runtime_error("No current record");
}

QString RecordSet::fieldByName(const QString &name) const {
    const int column = fieldIndex(name);
    if (column < 0)
        throw std::runtime_error("Field '" + name.toStdString() + "' not found");
    checkRow();
    return packet_->cell(recNo_, column);
}

QString RecordSet::field(int column) const {
    if (column < 0 || column >= fieldCount())
        throw std::runtime_error("Field index out of range");
    checkRow();
    return packet_->cell(recNo_, column);
}
