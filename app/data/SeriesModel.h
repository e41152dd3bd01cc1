#pragma once

#include "mUstawienia.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <optional>
#include <unordered_map>
#include <vector>

namespace Pomiar {

class Database;

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
    // Empty, or MinimumWeightRule::Mark for a net below the minimum weight.
    QString status;
    // As the balance told it when the reading came; not kept in the series
    // file, so unknown for rows read back.
    std::optional<bool> stable;
};

// A reading's Timer: whole seconds from the series start. Both times are
// cut to whole seconds first, as Godzina is stored: a start at 10:00:00.9
// and a reading at 10:00:05.1 are 5 seconds apart, as the grid shows them.
inline int TimerOf(const QDateTime& seriesStart, const QDateTime& time) {
    const auto wholeSecond = [](const QDateTime& t) { return t.addMSecs(-t.time().msec()); };
    return static_cast<int>(wholeSecond(seriesStart).secsTo(wholeSecond(time)));
}

// The grid's view of the series stored in the bound database. Rows are read
// from the database in pages as the grid asks for them and a few pages are
// kept, so opening a series reads none of its rows, the first rows show at
// once whatever the length, and a million readings hold a few megabytes.
// The row count and the newest rows are known without reading: an append
// costs the same at 10 rows or at 1,000,000.
class SeriesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Status, last in the model, shows a reading's mark; the grid shows it
    // after Jm.
    enum Column { Lp, Data, Godzina, Timer, Masa, Jm, Opis, Status, ColumnCount };
    // True for the mass and status cells of a net below the minimum weight,
    // which the grid paints in the mark's style.
    static constexpr int MarkRole = Qt::UserRole + 1;

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
    // What the status column shows for a net below the minimum weight, and
    // its tip (translated texts).
    void SetMarkTexts(const QString& shown, const QString& toolTip);

    // Shows the series stored in the database (kept by the caller for as
    // long as it is bound). Counting a million rows takes longer than
    // showing the first ones, so the rows are taken to lie at every rowid
    // from the lowest to the highest, as an appended series has them, until
    // a pass over the whole series tells otherwise (Settle); meanwhile a row
    // is shown only where its rowid is. Throws DatabaseError, and then the
    // model stays as it was.
    void Bind(Database& database);
    // What a pass over the whole bound series found, when it differs from
    // what Bind took: the number of rows and, when they have gaps, their
    // rowids in order (empty: every rowid from the lowest).
    void Settle(int rows, std::vector<qint64> ids);
    // A row just stored in the bound database (its rowid set). A view
    // learns of it at once while the series is short; a long one's views
    // learn of the rows appended a few times a second, all together: a
    // header view places its sections anew at every row count change, at a
    // cost that grows with the series. Count() counts every row at once.
    void Append(SeriesRow row);
    // The bound series was emptied.
    void Clear();
    void SetDescription(int row, const QString& opis);
    // A row as stored; a row the database cannot give now comes back empty.
    SeriesRow Row(int row) const;
    int Count() const { return count; }
    // Views learn of the rows appended and not yet told now.
    void AnnounceAppended();
    // The rowid of a row, and the row of a rowid (-1 when none).
    qint64 RowId(int row) const;
    int RowOf(qint64 rowid) const;

    // Rows that may hold the widest number texts of the bound series (those
    // with the extreme Lp, Timer and Masa), found by whoever reads the whole
    // series: the grid itself reads only the rows it shows.
    void ConsiderWidest(const std::vector<int>& rows);

    // The row whose text is the widest in a number column (Lp, Timer, Masa),
    // -1 without rows or for another column. The grid sizes the column from
    // it, so that no number is cut; digits count as the widest characters.
    int WidestRow(int column) const;

signals:
    // The widest text of a number column changed (a wider reading, a new
    // series, another mass format or locale).
    void WidestRowChanged(int column);

private:
    using Page = std::vector<SeriesRow>;

    QString shareUnit(const QString& unit) const;
    QString shownText(const SeriesRow& row, int column) const;
    void considerWidest(int row);
    void findWidest();
    // The cached page, read from the database when missing; nullptr when
    // the database cannot answer.
    const Page* page(int index) const;
    void keepPage(int index, Page rows) const;
    // Rows first..last as stored; nullopt when the database cannot answer.
    std::optional<Page> readRows(int first, int last) const;

    static constexpr std::array<int, 3> numberColumns{Lp, Timer, Masa};
    std::array<int, ColumnCount> widestRow{};
    std::array<int, ColumnCount> widestWeight{};

    Database* database = nullptr;
    int count = 0;
    // The rows the views know of (rowCount): count, or fewer while rows
    // appended to a long series wait to be told.
    int shown = 0;
    QTimer announce;
    // Where the rows lie: rowids firstRowId, firstRowId + 1, ... as an
    // appended series has them, or listed one by one when they have gaps.
    qint64 firstRowId = 1;
    bool contiguous = true;
    std::vector<qint64> rowIds;
    QStringList storedColumns; // of "select rowid_, *" on the bound table
    // Pages of rows read lately, by page number, with when each was used.
    mutable std::unordered_map<int, std::pair<Page, quint64>> pages;
    mutable quint64 uses = 0;
    // Rows whose texts were the widest ones seen (candidates for a new
    // format or locale).
    std::vector<int> widestCandidates;
    mutable std::vector<QString> units; // one shared copy of each unit text
    QStringList captions;
    QString markText = QStringLiteral("< m min");
    QString markToolTip = QStringLiteral("Ponizej masy minimalnej (SF x m min)");
    QString massFormat = QString::fromLatin1(mUstawienia::DefaultMassFormat);
    QLocale locale = QLocale::system();
};

} // namespace Pomiar
