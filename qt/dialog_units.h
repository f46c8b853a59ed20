// Dialog units: a template places its controls in units of the dialog font, so that a window
// keeps its proportions whatever font it is shown in. Horizontally a unit is a quarter of the
// font's average character width (the width of the 52 letters A-Z and a-z, averaged and rounded
// as the classic dialog manager did), vertically an eighth of the font's height.
#pragma once

#include <QFont>
#include <QRect>

#include "res/resources.h"

namespace qtfront {

struct BaseUnits {
    int x = 0;  // pixels of four horizontal dialog units
    int y = 0;  // pixels of eight vertical dialog units
};

// The template's font at its point size; when that face is not installed, the platform's
// sans-serif at the same size.
QFont DialogFont(const res::DialogTemplate& source);

// The base units of `font` on the default screen.
BaseUnits DialogBaseUnits(const QFont& font);

// Dialog units to pixels, rounded to the nearest pixel.
int HorizontalPixels(int dialogUnits, BaseUnits units);
int VerticalPixels(int dialogUnits, BaseUnits units);
QRect ToPixels(const res::Place& place, BaseUnits units);

}  // namespace qtfront
