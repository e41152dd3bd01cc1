#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

namespace Pomiar {

// One row of the series as the grid shows it.
struct SeriesRow {
    qint64 rowid = 0; // where the row is stored, for changing it later
    int lp = 0;
    QDate data;
    QDateTime godzina;
    int timer = 0;
    double masa = 0;
    QString jm;
    QString opis;
};

// The grid's view of the current series. Rows are kept in memory and
// appended one by one, so an append costs the same at 10 rows or at
// 1,000,000; the series is read from its file only when a file is bound.
class SeriesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Lp, Data, Godzina, Timer, Masa, Jm, Opis, ColumnCount };

    explicit SeriesModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // The column captions can be replaced (translated texts); Caption() keeps
    // the designed one.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

    // Caption, field and default width (in pixels) of a column.
    static QString Caption(int column);
    static QString Field(int column);
    static int DefaultWidth(int column);

    // The number format of the mass column ("MasaFormat").
    void SetMassFormat(const QString& format);
    QString MassFormat() const { return massFormat; }
    void SetLocale(const QLocale& locale);

    void Append(SeriesRow row);
    void Reset(std::vector<SeriesRow> rows);
    void Clear();
    void SetDescription(int row, const QString& opis);
    const SeriesRow& Row(int row) const { return rows[size_t(row)]; }
    int Count() const { return static_cast<int>(rows.size()); }

    // The row whose text is the widest in a number column (Lp, Timer, Masa),
    // -1 without rows or for another column. The grid sizes the column from
    // it, so that no number is cut; digits count as the widest characters.
    int WidestRow(int column) const;

signals:
    // The widest text of a number column changed (a wider reading, a new
    // series, another mass format or locale).
    void WidestRowChanged(int column);

private:
    QString shareUnit(const QString& unit);
    QString shownText(const SeriesRow& row, int column) const;
    void considerWidest(int row);
    void findWidest();

    static constexpr std::array<int, 3> numberColumns{Lp, Timer, Masa};
    std::array<int, ColumnCount> widestRow{};
    std::array<int, ColumnCount> widestWeight{};

    std::vector<SeriesRow> rows;
    std::vector<QString> units; // one shared copy of each unit text
    QStringList captions;
    QString massFormat = QStringLiteral("#0.0000");
    QLocale locale = QLocale::system();
};

} // namespace Pomiar
