// The frame of the main window, which has no system frame of its own: the border strip
// that resizes it (which edges a point near the border grabs, and the cursor shown there),
// and where a remembered window geometry may go on the screens there are now.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>

namespace filever {

// Width in pixels of the border strip that resizes the window.
inline constexpr int kFrameBorder = 5;
// How far along an edge from a corner a point still grabs the corner (corners are easier
// to hit than a strip of kFrameBorder pixels).
inline constexpr int kFrameCornerReach = 16;

// The edges a point (in window coordinates) grabs in a window of `size`: the edge whose
// border strip holds it, two edges near a corner; none inside the window or outside it.
Qt::Edges FrameEdgesAt(const QSize& size, const QPoint& pos);

// The resize cursor for `edges`; the arrow for none.
Qt::CursorShape FrameCursor(Qt::Edges edges);

// Where a window remembered at `saved` opens, given the available areas of the screens
// there are now (the primary first): on the screen that holds most of it, shrunk and moved
// so that all of it is on that screen. When it overlaps no screen (that screen is gone) or
// nothing was remembered (`saved` is not valid), `fallback` on the primary screen, shrunk
// and moved the same way. With no screens at all the rectangle is left as it is.
QRect PlaceOnScreens(const QRect& saved, const QList<QRect>& screens, const QRect& fallback);

}  // namespace filever
