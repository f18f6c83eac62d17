#include "app/shell/framelessgeometry.h"

namespace frameless {

QRect dragArea(const QRect &titleGeometry)
{
    return QRect(titleGeometry.x() + kBorder, titleGeometry.y() + kBorder,
                 titleGeometry.width() - 2 * kBorder, titleGeometry.height() - kBorder);
}

HandleRects handleRects(const QSize &windowSize)
{
    const int w = windowSize.width();
    const int h = windowSize.height();
    const int b = kBorder;
    return HandleRects{
        QRect(0, 0, b, b),                 // 1 top-left
        QRect(b, 0, w - 2 * b, b),         // 2 top
        QRect(w - b, 0, b, b),             // 3 top-right
        QRect(w - b, b, b, h - 2 * b),     // 4 right
        QRect(w - b, h - b, b, b),         // 5 bottom-right
        QRect(b, h - b, w - 2 * b, b),     // 6 bottom
        QRect(0, h - b, b, b),             // 7 bottom-left
        QRect(0, b, b, h - 2 * b),         // 8 left
    };
}

int handleAt(const HandleRects &rects, const QPoint &pos)
{
    for (int i = 0; i < kHandleCount; ++i) {
        if (rects[static_cast<size_t>(i)].contains(pos))
            return i + 1;
    }
    return NoHandle;
}

Qt::CursorShape cursorForHandle(int handle)
{
    switch (handle) {
    case TopLeft:
    case BottomRight:
        return Qt::SizeFDiagCursor;
    case Top:
    case Bottom:
        return Qt::SizeVerCursor;
    case TopRight:
    case BottomLeft:
        return Qt::SizeBDiagCursor;
    case Right:
    case Left:
        return Qt::SizeHorCursor;
    default:
        return Qt::ArrowCursor;
    }
}

std::optional<QRect> resizedGeometry(int handle, const QRect &start, const QPoint &delta,
                                     const QSize &minimum, const QSize &maximum)
{
    if (handle < TopLeft || handle > Left)
        return std::nullopt;
    const bool left = handle == TopLeft || handle == BottomLeft || handle == Left;
    const bool right = handle == TopRight || handle == Right || handle == BottomRight;
    const bool top = handle == TopLeft || handle == Top || handle == TopRight;
    const bool bottom = handle == BottomRight || handle == Bottom || handle == BottomLeft;

    // Work on the edges as numbers so the fixed edge stays exactly where it was.
    int x1 = start.x();
    int y1 = start.y();
    int x2 = start.x() + start.width();  // one past the right edge
    int y2 = start.y() + start.height(); // one past the bottom edge
    if (left)
        x1 += delta.x();
    if (right)
        x2 += delta.x();
    if (top)
        y1 += delta.y();
    if (bottom)
        y2 += delta.y();

    const int w = x2 - x1;
    const int h = y2 - y1;
    if (w < minimum.width() || w > maximum.width() || h < minimum.height() || h > maximum.height())
        return std::nullopt;
    return QRect(x1, y1, w, h);
}

QPoint restoredTopLeft(const QPoint &globalPointer, const QPoint &pressInWindow,
                       int maximisedWidth, int restoredWidth)
{
    int x = pressInWindow.x();
    if (maximisedWidth > 0 && restoredWidth > 0 && maximisedWidth != restoredWidth)
        x = static_cast<int>(static_cast<qint64>(pressInWindow.x()) * restoredWidth / maximisedWidth);
    return QPoint(globalPointer.x() - x, globalPointer.y() - pressInWindow.y());
}

} // namespace frameless
