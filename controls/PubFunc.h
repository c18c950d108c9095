#pragma once
// Shared drawing helpers of the control package.

#include "controls/Imaging.h"

class QPainter;

namespace velmora {

enum THorzStretchType { hstNone, hstAll, hstLeft, hstMiddle, hstRight };
enum TVertStretchType { vstNone, vstAll, vstTop, vstCenter, vstBottom };

// Draws the graphic with its top-left corner at (0, 0) of the painter,
// filling width × height: the horizontal rule first widens the picture (by
// stretching it whole, or by repeating its left, middle or right column), then
// the vertical rule does the same with rows. Areas no rule covers stay clear.
void DrawStretchedPicture(const TGraphic& graphic, QPainter& canvas, int width, int height,
                          TVertStretchType vert, THorzStretchType horz);

} // namespace velmora
