#include "SeriesModel.h"

#include "Database.h"
#include "Formats.h"
#include "MinimumWeightRule.h"

#include <algorithm>
#include <optional>

namespace Pomiar {

namespace {

struct ColumnSpec {
    const char* caption;
    const char* field;
    int widthTwips;
};

constexpr ColumnSpec columns[SeriesModel::ColumnCount] = {
    {"Lp", "Lp", 480},       {"Data", "Data", 1200},    {"Godzina", "Godzina", 945},
    {"Timer", "Timer", 855}, {"Odczyt", "Masa", 1245},  {"Jm", "Jm", 480},
    {"Opis", "opis", 1665},  {"Status", "status", 900},
};

// Rows read at a time, and how many such pages are kept: enough for the
// rows on screen, those just left and the newest ones. A page no larger
// than a screenful or so keeps the first paint of a series from reading
// rows it does not show.
constexpr int pageRows = 64;
constexpr std::size_t keptPages = 64;
// From this length on, appended rows are told to the views together, at
// most every announceEveryMs: a person reads no faster, and a header view's
// cost per change grows with the series (half a millisecond at a million).
constexpr int announceAtOnceBelow = 200000;
constexpr int announceEveryMs = 100;

const QString pageQuery = QStringLiteral(
    "select rowid as rowid_, * from pomiary where rowid between ? and ? order by rowid");

// Marks a place of a page where the database had no row.
constexpr qint64 missingRowId = -1;

// A description that is a single blank means "none".
const QString noDescription = QStringLiteral(" ");

// How wide a number text is, in units of a separator or sign: a digit takes
// about twice their room in the usual fonts.
int TextWeight(const QString& text) {
    int weight = 0;
    for (const QChar c : text)
        weight += c.isDigit() ? 2 : 1;
    return weight;
}

} // namespace

SeriesModel::SeriesModel(QObject* parent) : QAbstractTableModel(parent) {
    for (int column = 0; column < ColumnCount; ++column)
        captions << Caption(column);
    widestRow.fill(-1);
    announce.setSingleShot(true);
    announce.setInterval(announceEveryMs);
    connect(&announce, &QTimer::timeout, this, &SeriesModel::AnnounceAppended);
}

int SeriesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shown;
}

int SeriesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString SeriesModel::Caption(int column) {
    return QString::fromLatin1(columns[column].caption);
}

QString SeriesModel::Field(int column) {
    return QString::fromLatin1(columns[column].field);
}

int SeriesModel::DefaultWidth(int column) {
    // 15 twips to a pixel at the usual 96 dots per inch.
    return columns[column].widthTwips / 15 + 8;
}

QVariant SeriesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return captions.at(section);
}

bool SeriesModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                int role) {
    if (orientation != Qt::Horizontal || (role != Qt::EditRole && role != Qt::DisplayRole) ||
        section < 0 || section >= ColumnCount)
        return false;
    captions[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

QVariant SeriesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count())
        return {};
    if (role == Qt::TextAlignmentRole) {
        const bool number =
            index.column() == Lp || index.column() == Timer || index.column() == Masa;
        return int((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    const bool styled = role == MarkRole || role == Qt::ToolTipRole;
    if (role != Qt::DisplayRole && !styled)
        return {};
    // Only the mass and the status show the mark: other cells are
    // answered without reading the row.
    if (styled && index.column() != Masa && index.column() != Status)
        return {};
    const Page* rows = page(index.row() / pageRows);
    const std::size_t offset = std::size_t(index.row() % pageRows);
    if (!rows || offset >= rows->size())
        return {};
    const SeriesRow& row = (*rows)[offset];
    if (row.rowid == missingRowId)
        return {};
    if (styled) {
        const bool marked = row.status == QLatin1String(MinimumWeightRule::Mark);
        if (role == Qt::ToolTipRole)
            return marked ? QVariant(markToolTip) : QVariant();
        return marked;
    }
    switch (index.column()) {
    case Lp:
        return row.lp;
    case Timer:
        return row.timer;
    default:
        return shownText(row, index.column());
    }
}

QString SeriesModel::shownText(const SeriesRow& row, int column) const {
    switch (column) {
    case Lp:
        return QString::number(row.lp);
    // Patterns without names: the same in every locale.
    case Data:
        return Formats::FormatDateTime(row.data, QTime(0, 0), QStringLiteral("yyyy-MM-dd"), locale);
    case Godzina:
        return Formats::FormatDateTime(row.godzina, QStringLiteral("hh:mm:ss"), locale);
    case Timer:
        return QString::number(row.timer);
    case Masa:
        return Formats::FormatNumber(row.masa, massFormat, locale);
    case Jm:
        return row.jm;
    case Opis:
        return row.opis;
    case Status:
        // A saved file's "0" says nothing; a mark says why.
        return row.status == QLatin1String(MinimumWeightRule::Mark) ? markText : QString();
    default:
        return {};
    }
}

void SeriesModel::SetMarkTexts(const QString& shown, const QString& toolTip) {
    markText = shown;
    markToolTip = toolTip;
    if (count > 0)
        emit dataChanged(index(0, Status), index(Count() - 1, Status));
}

int SeriesModel::WidestRow(int column) const {
    return column >= 0 && column < ColumnCount ? widestRow[size_t(column)] : -1;
}

void SeriesModel::considerWidest(int row) {
    const SeriesRow stored = Row(row);
    bool widest = false;
    for (const int column : numberColumns) {
        const int weight = TextWeight(shownText(stored, column));
        if (widestRow[size_t(column)] < 0 || weight > widestWeight[size_t(column)]) {
            widestRow[size_t(column)] = row;
            widestWeight[size_t(column)] = weight;
            widest = true;
            emit WidestRowChanged(column);
        }
    }
    if (widest &&
        std::find(widestCandidates.begin(), widestCandidates.end(), row) == widestCandidates.end())
        widestCandidates.push_back(row);
}

void SeriesModel::findWidest() {
    widestRow.fill(-1);
    widestWeight.fill(0);
    QSignalBlocker quiet(this);
    const std::vector<int> candidates = widestCandidates;
    for (const int row : candidates) {
        if (row < Count())
            considerWidest(row);
    }
    quiet.unblock();
    for (const int column : numberColumns)
        emit WidestRowChanged(column);
}

void SeriesModel::ConsiderWidest(const std::vector<int>& rows) {
    for (const int row : rows) {
        if (row < 0 || row >= Count())
            continue;
        if (std::find(widestCandidates.begin(), widestCandidates.end(), row) ==
            widestCandidates.end())
            widestCandidates.push_back(row);
        considerWidest(row);
    }
}

void SeriesModel::SetMassFormat(const QString& format) {
    massFormat = format;
    if (shown > 0)
        emit dataChanged(index(0, Masa), index(shown - 1, Masa));
    findWidest();
}

void SeriesModel::SetLocale(const QLocale& value) {
    locale = value;
    findWidest();
}

QString SeriesModel::shareUnit(const QString& unit) const {
    for (const QString& known : units) {
        if (known == unit)
            return known;
    }
    units.push_back(unit);
    return unit;
}

void SeriesModel::Bind(Database& bound) {
    // Everything that can fail comes first, so that a failure leaves the
    // model as it was.
    const QStringList columns = bound.ColumnsOf(pageQuery);
    // Each of min and max alone is read from the end of the table's tree.
    const QVariantList extent =
        bound
            .Query(QStringLiteral("select (select min(rowid) from pomiary), "
                                  "(select max(rowid) from pomiary)"))
            .rows.front();
    const qint64 first = extent.value(0).toLongLong();
    const int rows = extent.value(0).isNull() ? 0 : int(extent.value(1).toLongLong() - first + 1);
    beginResetModel();
    database = &bound;
    storedColumns = columns;
    count = shown = rows;
    announce.stop();
    firstRowId = first;
    contiguous = true;
    rowIds.clear();
    pages.clear();
    endResetModel();
    // Until the whole series is read (ConsiderWidest), the first and the
    // newest rows stand for it.
    widestCandidates.clear();
    if (count > 0)
        widestCandidates = {0, count - 1};
    findWidest();
}

void SeriesModel::Settle(int rows, std::vector<qint64> ids) {
    beginResetModel();
    count = shown = rows;
    announce.stop();
    contiguous = ids.empty();
    if (!contiguous)
        firstRowId = ids.front();
    rowIds = std::move(ids);
    pages.clear();
    endResetModel();
    std::erase_if(widestCandidates, [rows](int row) { return row >= rows; });
    findWidest();
}

qint64 SeriesModel::RowId(int row) const {
    return contiguous ? firstRowId + row : rowIds[std::size_t(row)];
}

int SeriesModel::RowOf(qint64 rowid) const {
    if (contiguous)
        return rowid >= firstRowId && rowid - firstRowId < count ? int(rowid - firstRowId) : -1;
    const auto at = std::lower_bound(rowIds.begin(), rowIds.end(), rowid);
    return at != rowIds.end() && *at == rowid ? int(at - rowIds.begin()) : -1;
}

const SeriesModel::Page* SeriesModel::page(int index) const {
    const auto cached = pages.find(index);
    if (cached != pages.end()) {
        cached->second.second = ++uses;
        return &cached->second.first;
    }
    const int first = index * pageRows;
    const int last = std::min(count, first + pageRows) - 1;
    std::optional<Page> rows = readRows(first, last);
    if (!rows)
        return nullptr;
    keepPage(index, std::move(*rows));
    return &pages.at(index).first;
}

std::optional<SeriesModel::Page> SeriesModel::readRows(int first, int last) const {
    if (!database || last < first)
        return std::nullopt;
    const auto at = [this](const char* name) {
        for (int i = 0; i < storedColumns.size(); ++i) {
            if (storedColumns[i].compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    };
    const int rowid = at("rowid_");
    const int lp = at("lp"), data = at("data"), godzina = at("godzina"), timer = at("timer"),
              masa = at("masa"), jm = at("jm"), opis = at("opis"), status = at("status");
    // Each row goes where its rowid is; a rowid without a row (a series
    // not yet settled) stays a missing row, shown empty.
    SeriesRow missing;
    missing.rowid = missingRowId;
    Page rows(std::size_t(last - first + 1), missing);
    try {
        database->QueryEach(pageQuery,
                            [&](const QVariantList& stored) {
                                const qint64 id = stored.value(rowid).toLongLong();
                                const int place = RowOf(id) - first;
                                if (place < 0 || place >= int(rows.size()))
                                    return;
                                SeriesRow& row = rows[std::size_t(place)];
                                row.rowid = id;
                                row.lp = stored.value(lp).toInt();
                                row.godzina = Database::ParseDateTime(stored.value(godzina));
                                row.data = Database::ParseDate(stored.value(data));
                                row.timer = stored.value(timer).toInt();
                                row.masa = stored.value(masa).toDouble();
                                row.jm = shareUnit(stored.value(jm).toString());
                                const QString description = stored.value(opis).toString();
                                row.opis =
                                    description == noDescription ? noDescription : description;
                                // Only a mark is kept: other statuses show nothing.
                                if (status >= 0 && stored.value(status).toString() ==
                                                       QLatin1String(MinimumWeightRule::Mark))
                                    row.status = QLatin1String(MinimumWeightRule::Mark);
                            },
                            {RowId(first), RowId(last)});
    } catch (const DatabaseError&) {
        // Painted empty now, asked again at the next paint.
        return std::nullopt;
    }
    return rows;
}

void SeriesModel::keepPage(int index, Page rows) const {
    if (pages.size() >= keptPages) {
        const auto oldest =
            std::min_element(pages.begin(), pages.end(), [](const auto& a, const auto& b) {
                return a.second.second < b.second.second;
            });
        pages.erase(oldest);
    }
    pages[index] = {std::move(rows), ++uses};
}

SeriesRow SeriesModel::Row(int row) const {
    if (row < 0 || row >= count)
        return {};
    // A row away from the kept pages is read alone: the newest row of a
    // series just opened, say, whose page the grid may never show.
    const auto cached = pages.find(row / pageRows);
    if (cached == pages.end()) {
        const std::optional<Page> alone = readRows(row, row);
        return alone ? alone->front() : SeriesRow{};
    }
    const Page& rows = cached->second.first;
    const std::size_t offset = std::size_t(row % pageRows);
    return offset < rows.size() ? rows[offset] : SeriesRow{};
}

void SeriesModel::Append(SeriesRow row) {
    // Equal texts share one copy, which keeps the cached pages small.
    row.jm = shareUnit(row.jm);
    if (row.opis == noDescription)
        row.opis = noDescription;
    if (count == 0) {
        firstRowId = row.rowid;
        contiguous = true;
        rowIds.clear();
    } else if (contiguous && row.rowid != firstRowId + count) {
        rowIds.resize(std::size_t(count));
        for (int i = 0; i < count; ++i)
            rowIds[std::size_t(i)] = firstRowId + i;
        contiguous = false;
    }
    if (!contiguous)
        rowIds.push_back(row.rowid);
    const int index = count;
    const int pageIndex = index / pageRows;
    const bool atOnce = index < announceAtOnceBelow;
    if (atOnce) {
        AnnounceAppended();
        beginInsertRows(QModelIndex(), index, index);
    }
    ++count;
    const auto cached = pages.find(pageIndex);
    if (cached != pages.end() && cached->second.first.size() == std::size_t(index % pageRows))
        cached->second.first.push_back(std::move(row));
    else if (index % pageRows == 0)
        keepPage(pageIndex, {std::move(row)});
    if (atOnce) {
        shown = count;
        endInsertRows();
    } else if (!announce.isActive()) {
        announce.start();
    }
    considerWidest(index);
}

void SeriesModel::AnnounceAppended() {
    announce.stop();
    if (shown >= count)
        return;
    beginInsertRows(QModelIndex(), shown, count - 1);
    shown = count;
    endInsertRows();
    // A wider number among them is shown now.
    for (const int column : numberColumns)
        emit WidestRowChanged(column);
}

void SeriesModel::Clear() {
    beginResetModel();
    count = shown = 0;
    announce.stop();
    contiguous = true;
    rowIds.clear();
    pages.clear();
    endResetModel();
    widestCandidates.clear();
    findWidest();
}

void SeriesModel::SetDescription(int row, const QString& opis) {
    const auto cached = pages.find(row / pageRows);
    if (cached != pages.end() && std::size_t(row % pageRows) < cached->second.first.size())
        cached->second.first[std::size_t(row % pageRows)].opis = opis;
    if (row < shown)
        emit dataChanged(index(row, Opis), index(row, Opis));
}

} // namespace Pomiar
