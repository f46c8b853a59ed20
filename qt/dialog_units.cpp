#include "qt/dialog_units.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QString>

namespace qtfront {
namespace {

// a * b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

QFont DialogFont(const res::DialogTemplate& source) {
    const QString face =
        QString::fromUtf8(source.fontName.data(), static_cast<qsizetype>(source.fontName.size()));
    QFont font(face, source.fontPoints);
    if (QFontInfo(font).family().compare(face, Qt::CaseInsensitive) == 0) return font;
    QFont fallback(QStringLiteral("Sans Serif"), source.fontPoints);
    fallback.setStyleHint(QFont::SansSerif);
    return fallback;
}

BaseUnits DialogBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

int HorizontalPixels(int dialogUnits, BaseUnits units) {
    return MulDiv(dialogUnits, units.x, 4);
}

int VerticalPixels(int dialogUnits, BaseUnits units) {
    return MulDiv(dialogUnits, units.y, 8);
}

QRect ToPixels(const res::Place& place, BaseUnits units) {
    return {HorizontalPixels(place.x, units), VerticalPixels(place.y, units),
            HorizontalPixels(place.width, units), VerticalPixels(place.height, units)};
}

}  // namespace qtfront
