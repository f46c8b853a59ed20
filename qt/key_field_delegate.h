// The list box's items with tab characters: each part after a tab starts at the next tab stop,
// the stops lying every `tabStop` dialog units from the item's text origin (the key field list's
// "position<TAB>length" items line up under its caption this way). Qt's own item views put tab
// stops every 80 pixels, whatever the font.
#pragma once

#include <QStyledItemDelegate>

#include "qt/dialog_units.h"

namespace qtfront {

class KeyFieldDelegate : public QStyledItemDelegate {
  public:
    // A list box's default: tab stops every 32 dialog units.
    static constexpr int kDefaultTabStop = 32;

    KeyFieldDelegate(QObject* parent, BaseUnits units);

    void SetTabStop(int dialogUnits) { tabStop = dialogUnits; }
    int TabStop() const { return tabStop; }
    // The distance between two stops, in pixels (at least one).
    int TabStopPixels() const;
    // The x offsets (from the text origin) at which the parts of `text` start when the font
    // measures text with `advance`.
    template <class Advance>
    std::vector<int> PartOffsets(const QStringList& parts, Advance advance) const {
        std::vector<int> offsets;
        int x = 0;
        const int step = TabStopPixels();
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (i > 0) x = (x / step + 1) * step;  // the next stop after the text so far
            offsets.push_back(x);
            x += advance(parts[i]);
        }
        return offsets;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  private:
    BaseUnits units;
    int tabStop = kDefaultTabStop;
};

}  // namespace qtfront
