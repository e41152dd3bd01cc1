#pragma once

#include <QColor>
#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QRawFont>
#include <QString>
#include <QStyledItemDelegate>
#include <optional>

namespace Pomiar {

// Paints the cells of the series grid as the style does, but keeps each
// text's glyphs once looked up. The grid repaints all its visible rows at
// every new reading and on every scroll step; laying out each cell's text
// anew (three times: for its size, its elision and its drawing) is most of
// that cost. Texts the simple path cannot show as the style would (glyphs
// from another font, scripts that need shaping, right to left, texts wider
// than their cell) are painted by the style itself.
class SeriesCellDelegate : public QStyledItemDelegate {
public:
    explicit SeriesCellDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // How many texts are kept (bounded, whatever the length of the series).
    qsizetype KeptTexts() const { return runs.size(); }
    static constexpr qsizetype keptTextsAtMost = 4096;

    // The style of a net below the minimum weight (SeriesModel::MarkRole).
    static QColor MarkBackground() { return QColor(0xff, 0xd8, 0xcc); }
    static QColor MarkForeground() { return QColor(0xa0, 0x10, 0x00); }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    struct Run {
        QGlyphRun glyphs;
        qreal width = 0;
        bool simple = false; // false: the style paints this text
    };

    const Run& runFor(const QString& text, const QFont& font) const;
    static bool needsNoShaping(const QString& text);
    static void drawGridLines(QPainter* painter, const QStyleOptionViewItem& cell,
                              const QStyle* style);

    mutable QHash<QString, Run> runs;
    mutable std::optional<QFont> runsFont; // the font of the kept texts
    mutable QRawFont rawFont;              // invalid: the style paints every text
};

} // namespace Pomiar
