#include "qt/key_field_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

namespace qtfront {

KeyFieldDelegate::KeyFieldDelegate(QObject* parent, BaseUnits baseUnits)
    : QStyledItemDelegate(parent), units(baseUnits) {}

int KeyFieldDelegate::TabStopPixels() const {
    return std::max(1, HorizontalPixels(tabStop, units));
}

void KeyFieldDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QStringList parts = item.text.split(QLatin1Char('\t'));
    item.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // Background, selection and focus frame as the style draws them, the text by ourselves.
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

    const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    const QFontMetrics& metrics = item.fontMetrics;
    const std::vector<int> offsets = PartOffsets(
        parts, [&metrics](const QString& part) { return metrics.horizontalAdvance(part); });
    const bool selected = (item.state & QStyle::State_Selected) != 0;
    const QPalette::ColorGroup group =
        (item.state & QStyle::State_Enabled) != 0 ? QPalette::Normal : QPalette::Disabled;
    painter->save();
    painter->setFont(item.font);
    painter->setPen(
        item.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setClipRect(area);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QRect cell(area.left() + offsets[static_cast<size_t>(i)], area.top(), area.width(),
                         area.height());
        painter->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, parts[i]);
    }
    painter->restore();
}

}  // namespace qtfront
