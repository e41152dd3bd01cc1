#include "CyklModel.h"

#include "BramkaCyklu.h"

namespace Pomiar {

CyklModel::CyklModel(BramkaCyklu& gate, QObject* parent) : QAbstractTableModel(parent), gate(gate) {
    connect(&gate, &BramkaCyklu::RowsAboutToReload, this, &CyklModel::beginResetModel);
    connect(&gate, &BramkaCyklu::RowsReloaded, this, &CyklModel::endResetModel);
}

int CyklModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : gate.RowCount();
}

int CyklModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(captions.size());
}

QVariant CyklModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= gate.RowCount())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    const BramkaCyklu::Row& row = gate.RowAt(index.row());
    return index.column() == 0 ? row.start : row.stop;
}

QVariant CyklModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < captions.size())
        return captions.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool CyklModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                              int role) {
    if (orientation != Qt::Horizontal || (role != Qt::EditRole && role != Qt::DisplayRole) ||
        section < 0 || section >= captions.size())
        return false;
    captions[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

} // namespace Pomiar
