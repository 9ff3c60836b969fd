#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

namespace b6409 {

// The dialogs are laid out in dialog units, which scale with the dialog's font: a horizontal
// unit is a quarter of the font's average character width, a vertical unit an eighth of its
// height. Laying out in these units keeps the proportions of the design at any font and screen
// resolution.

// The base units of `font`: average character width and height in pixels.
QSize DialogBaseUnits(const QFont& font);

// A size of x by y dialog units in pixels.
QSize DialogUnitsToPixels(const QFont& font, int x, int y);

// A rectangle at (x, y) of w by h dialog units in pixels. Its edges are converted one by one,
// not its size, so rectangles that touch in dialog units also touch in pixels.
QRect DialogRect(const QFont& font, int x, int y, int w, int h);

// DialogRect for a line of static text, made taller where the text's ink reaches below the box:
// some fonts draw glyphs (the Ming font's underscore) a pixel under the descent they declare,
// and a box of one font height would cut them off. Meant for top-aligned text.
QRect DialogTextRect(const QFont& font, int x, int y, int w, int h, const QString& text);

}  // namespace b6409
