#include "CycleWindowsModel.h"

#include "CycleGate.h"

namespace Pomiar {

CycleWindowsModel::CycleWindowsModel(CycleGate& gate, QObject* parent)
    : QAbstractTableModel(parent), gate(gate) {
    connect(&gate, &CycleGate::RowsAboutToReload, this, &CycleWindowsModel::beginResetModel);
    connect(&gate, &CycleGate::RowsReloaded, this, &CycleWindowsModel::endResetModel);
}

int CycleWindowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : gate.RowCount();
}

int CycleWindowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(captions.size());
}

QVariant CycleWindowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= gate.RowCount())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    const CycleGate::Row& row = gate.RowAt(index.row());
    return index.column() == 0 ? row.start : row.stop;
}

QVariant CycleWindowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < captions.size())
        return captions.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool CycleWindowsModel::setHeaderData(int section, Qt::Orientation orientation,
                                      const QVariant& value, int role) {
    if (orientation != Qt::Horizontal || (role != Qt::EditRole && role != Qt::DisplayRole) ||
        section < 0 || section >= captions.size())
        return false;
    captions[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

} // namespace Pomiar
