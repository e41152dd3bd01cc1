#include "SeriesModel.h"

#include "Formats.h"

namespace Pomiar {

namespace {

struct ColumnSpec {
    const char* caption;
    const char* field;
    int widthTwips;
};

constexpr ColumnSpec columns[SeriesModel::ColumnCount] = {
    {"Lp", "Lp", 480},       {"Data", "Data", 1200},   {"Godzina", "Godzina", 945},
    {"Timer", "Timer", 855}, {"Odczyt", "Masa", 1245}, {"Jm", "Jm", 480},
    {"Opis", "opis", 1665},
};

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
}

int SeriesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
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
    const SeriesRow& row = rows[size_t(index.row())];
    if (role == Qt::TextAlignmentRole) {
        const bool number =
            index.column() == Lp || index.column() == Timer || index.column() == Masa;
        return int((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole)
        return {};
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
    case Data:
        return Formats::FormatDateTime(QDateTime(row.data, QTime(0, 0)),
                                       QStringLiteral("yyyy-MM-dd"));
    case Godzina:
        return Formats::FormatDateTime(row.godzina, QStringLiteral("hh:mm:ss"));
    case Timer:
        return QString::number(row.timer);
    case Masa:
        return Formats::FormatNumber(row.masa, massFormat, locale);
    case Jm:
        return row.jm;
    case Opis:
        return row.opis;
    default:
        return {};
    }
}

int SeriesModel::WidestRow(int column) const {
    return column >= 0 && column < ColumnCount ? widestRow[size_t(column)] : -1;
}

void SeriesModel::considerWidest(int row) {
    for (const int column : numberColumns) {
        const int weight = TextWeight(shownText(rows[size_t(row)], column));
        if (widestRow[size_t(column)] < 0 || weight > widestWeight[size_t(column)]) {
            widestRow[size_t(column)] = row;
            widestWeight[size_t(column)] = weight;
            emit WidestRowChanged(column);
        }
    }
}

void SeriesModel::findWidest() {
    widestRow.fill(-1);
    widestWeight.fill(0);
    QSignalBlocker quiet(this);
    for (int row = 0; row < Count(); ++row)
        considerWidest(row);
    quiet.unblock();
    for (const int column : numberColumns)
        emit WidestRowChanged(column);
}

void SeriesModel::SetMassFormat(const QString& format) {
    massFormat = format;
    if (!rows.empty())
        emit dataChanged(index(0, Masa), index(Count() - 1, Masa));
    findWidest();
}

void SeriesModel::SetLocale(const QLocale& value) {
    locale = value;
    findWidest();
}

QString SeriesModel::shareUnit(const QString& unit) {
    for (const QString& known : units) {
        if (known == unit)
            return known;
    }
    units.push_back(unit);
    return unit;
}

void SeriesModel::Append(SeriesRow row) {
    // Equal texts share one copy, which keeps a long series small.
    row.jm = shareUnit(row.jm);
    if (row.opis == noDescription)
        row.opis = noDescription;
    beginInsertRows(QModelIndex(), Count(), Count());
    rows.push_back(std::move(row));
    endInsertRows();
    considerWidest(Count() - 1);
}

void SeriesModel::Reset(std::vector<SeriesRow> newRows) {
    beginResetModel();
    rows = std::move(newRows);
    for (SeriesRow& row : rows) {
        row.jm = shareUnit(row.jm);
        if (row.opis == noDescription)
            row.opis = noDescription;
    }
    endResetModel();
    findWidest();
}

void SeriesModel::Clear() {
    Reset({});
}

void SeriesModel::SetDescription(int row, const QString& opis) {
    rows[size_t(row)].opis = opis;
    emit dataChanged(index(row, Opis), index(row, Opis));
}

} // namespace Pomiar
