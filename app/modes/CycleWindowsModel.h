#pragma once

#include <QAbstractTableModel>
#include <QStringList>

namespace Pomiar {

class CycleGate;

// The rows of cykl as the cycle settings dialog lists them: the columns
// "start" and "Stop", values as stored. Row n is row n of the gate, so the
// list's current row and the gate's cursor are one position.
class CycleWindowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CycleWindowsModel(CycleGate& gate, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // The column captions can be replaced (translated texts).
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

private:
    CycleGate& gate;
    QStringList captions{QStringLiteral("start"), QStringLiteral("Stop")};
};

} // namespace Pomiar
