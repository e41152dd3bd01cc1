#include "SeriesCellDelegate.h"

#include "SeriesModel.h"

#include <QApplication>
#include <QFontInfo>
#include <QPainter>
#include <QRawFont>
#include <QStyle>
#include <cmath>

namespace Pomiar {

SeriesCellDelegate::SeriesCellDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void SeriesCellDelegate::initStyleOption(QStyleOptionViewItem* option,
                                         const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!index.data(SeriesModel::MarkRole).toBool())
        return;
    option->backgroundBrush = MarkBackground();
    option->palette.setColor(QPalette::Text, MarkForeground());
}

bool SeriesCellDelegate::needsNoShaping(const QString& text) {
    for (const QChar c : text) {
        if (c.isSurrogate() || c.isMark() || c.category() == QChar::Other_Control ||
            c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            return false;
        const QChar::Script script = c.script();
        if (script != QChar::Script_Common && script != QChar::Script_Latin &&
            script != QChar::Script_Greek && script != QChar::Script_Cyrillic)
            return false;
    }
    return true;
}

const SeriesCellDelegate::Run& SeriesCellDelegate::runFor(const QString& text,
                                                          const QFont& font) const {
    if (runsFont != font) {
        runs.clear();
        runsFont = font;
        // One raw font for all texts, so that its glyphs are rendered once;
        // none (the style paints) where it would not be the size the style
        // draws the font at.
        rawFont = QRawFont::fromFont(font);
        if (std::abs(rawFont.pixelSize() - QFontInfo(font).pixelSize()) >= 0.5)
            rawFont = QRawFont();
    }
    if (const auto kept = runs.constFind(text); kept != runs.constEnd())
        return *kept;
    if (runs.size() >= keptTextsAtMost)
        runs.clear();
    Run run;
    const QRawFont& raw = rawFont;
    if (raw.isValid() && needsNoShaping(text)) {
        const QList<quint32> indexes = raw.glyphIndexesForString(text);
        run.simple = !indexes.isEmpty() && !indexes.contains(0u);
        if (run.simple) {
            const QList<QPointF> advances = raw.advancesForGlyphIndexes(indexes);
            QList<QPointF> positions;
            positions.reserve(advances.size());
            for (const QPointF& advance : advances) {
                positions.append(QPointF(run.width, 0));
                run.width += advance.x();
            }
            run.glyphs.setRawFont(raw);
            run.glyphs.setGlyphIndexes(indexes);
            run.glyphs.setPositions(positions);
        }
    }
    return *runs.insert(text, run);
}

// The same steps as the style's own item painting (background, text in the
// text colour of the state, focus frame), with the text drawn from its kept
// glyphs.
void SeriesCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    // The last pixel column and row of the cell hold the grid line, where
    // the table would draw its grid.
    QStyleOptionViewItem inside = option;
    inside.rect.adjust(0, 0, -1, -1);
    QStyleOptionViewItem cell = inside;
    initStyleOption(&cell, index);
    const QWidget* widget = cell.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect textRect = cell.rect.adjusted(margin, 0, -margin, 0);
    const Run* run = cell.text.isEmpty() ? nullptr : &runFor(cell.text, cell.font);
    // A text that fits its cell on one line is laid out alike with or without
    // word wrap.
    const bool plain = !(cell.features & (QStyleOptionViewItem::HasCheckIndicator |
                                          QStyleOptionViewItem::HasDecoration));
    if (!plain || cell.direction != Qt::LeftToRight || cell.state & QStyle::State_Editing ||
        (run && (!run->simple || run->width > textRect.width()))) {
        QStyledItemDelegate::paint(painter, inside, index);
        drawGridLines(painter, option, style);
        return;
    }
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &cell, painter, widget);

    QPalette::ColorGroup group =
        cell.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(cell.state & QStyle::State_Active))
        group = QPalette::Inactive;
    if (run) {
        const QPen pen = painter->pen();
        painter->setPen(cell.palette.color(group, cell.state & QStyle::State_Selected
                                                      ? QPalette::HighlightedText
                                                      : QPalette::Text));
        const QRawFont& raw = run->glyphs.rawFont();
        const qreal height = raw.ascent() + raw.descent();
        qreal x = textRect.left();
        if (cell.displayAlignment & Qt::AlignRight)
            x = textRect.right() + 1 - run->width;
        else if (cell.displayAlignment & Qt::AlignHCenter)
            x = textRect.left() + (textRect.width() - run->width) / 2;
        const qreal top = textRect.top() + int(textRect.height() - std::ceil(height)) / 2;
        painter->drawGlyphRun(QPointF(std::round(x), top + raw.ascent()), run->glyphs);
        painter->setPen(pen);
    }

    if (cell.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(cell);
        focus.rect = style->subElementRect(QStyle::SE_ItemViewItemFocusRect, &cell, widget);
        focus.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
        focus.backgroundColor = cell.palette.color(
            group, cell.state & QStyle::State_Selected ? QPalette::Highlight : QPalette::Window);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
    drawGridLines(painter, option, style);
}

// The grid's lines along the cell's right and bottom edge, where the table
// would draw them, as two one-pixel fills: the table's own line drawing
// strokes every line and costs more than all the texts.
void SeriesCellDelegate::drawGridLines(QPainter* painter, const QStyleOptionViewItem& cell,
                                       const QStyle* style) {
    const QColor color = QColor::fromRgba(
        QRgb(style->styleHint(QStyle::SH_Table_GridLineColor, &cell, cell.widget)));
    const QRect& r = cell.rect;
    painter->fillRect(QRect(r.right(), r.top(), 1, r.height()), color);
    painter->fillRect(QRect(r.left(), r.bottom(), r.width() - 1, 1), color);
}

} // namespace Pomiar
