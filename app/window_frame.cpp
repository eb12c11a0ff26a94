#include "app/window_frame.h"

#include <algorithm>

namespace filever {
namespace {

// `r` shrunk to fit `area` and moved the least needed to lie inside it.
QRect FitInto(QRect r, const QRect& area) {
    r.setSize(r.size().boundedTo(area.size()));
    if (r.right() > area.right()) r.moveRight(area.right());
    if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
    if (r.left() < area.left()) r.moveLeft(area.left());
    if (r.top() < area.top()) r.moveTop(area.top());
    return r;
}

}  // namespace

Qt::Edges FrameEdgesAt(const QSize& size, const QPoint& pos) {
    const int w = size.width();
    const int h = size.height();
    const int x = pos.x();
    const int y = pos.y();
    if (x < 0 || y < 0 || x >= w || y >= h) return {};
    const bool left = x < kFrameBorder;
    const bool right = x >= w - kFrameBorder;
    const bool top = y < kFrameBorder;
    const bool bottom = y >= h - kFrameBorder;
    if (!left && !right && !top && !bottom) return {};
    // On one edge's strip, a point within the corner reach of a crossing edge takes both.
    Qt::Edges edges;
    const bool nearLeft = left || ((top || bottom) && x < kFrameCornerReach);
    const bool nearRight = right || ((top || bottom) && x >= w - kFrameCornerReach);
    const bool nearTop = top || ((left || right) && y < kFrameCornerReach);
    const bool nearBottom = bottom || ((left || right) && y >= h - kFrameCornerReach);
    // In a window narrower than two strips the left and top edges win.
    if (nearLeft)
        edges |= Qt::LeftEdge;
    else if (nearRight)
        edges |= Qt::RightEdge;
    if (nearTop)
        edges |= Qt::TopEdge;
    else if (nearBottom)
        edges |= Qt::BottomEdge;
    return edges;
}

Qt::CursorShape FrameCursor(Qt::Edges edges) {
    const bool horizontal = edges.testAnyFlags(Qt::LeftEdge | Qt::RightEdge);
    const bool vertical = edges.testAnyFlags(Qt::TopEdge | Qt::BottomEdge);
    if (horizontal && vertical) {
        // Top-left and bottom-right pull along "\", the other two along "/".
        const bool falling = edges.testFlag(Qt::LeftEdge) == edges.testFlag(Qt::TopEdge);
        return falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor;
    }
    if (horizontal) return Qt::SizeHorCursor;
    if (vertical) return Qt::SizeVerCursor;
    return Qt::ArrowCursor;
}

QRect PlaceOnScreens(const QRect& saved, const QList<QRect>& screens, const QRect& fallback) {
    if (screens.isEmpty()) return saved.isValid() ? saved : fallback;
    if (saved.isValid()) {
        const QRect* best = nullptr;
        qint64 bestArea = 0;
        for (const QRect& screen : screens) {
            const QRect common = screen.intersected(saved);
            const qint64 area = qint64(common.width()) * common.height();
            if (area > bestArea) {
                best = &screen;
                bestArea = area;
            }
        }
        if (best) return FitInto(saved, *best);
    }
    return FitInto(fallback, screens.front());
}

}  // namespace filever
