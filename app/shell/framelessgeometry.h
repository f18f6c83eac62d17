#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>

#include <array>
#include <optional>

// Geometry of the frameless main window: where it can be dragged, its eight
// resize handles and how a resize step changes the window.
namespace frameless {

constexpr int kBorder = 5;         // thickness of the resize bands, inset of the drag area
constexpr int kHandleCount = 8;

// Handles, numbered clockwise from the top-left corner. 0 means no handle.
enum Handle : int {
    NoHandle = 0,
    TopLeft = 1,
    Top = 2,
    TopRight = 3,
    Right = 4,
    BottomRight = 5,
    Bottom = 6,
    BottomLeft = 7,
    Left = 8,
};

using HandleRects = std::array<QRect, kHandleCount>; // index 0 is handle 1

// The title widget's rectangle (window coordinates) inset on the left, top and right.
QRect dragArea(const QRect &titleGeometry);

// Corners of 5 x 5 and edge bands 5 pixels thick for a window of the given size.
HandleRects handleRects(const QSize &windowSize);

// The first handle (1 to 8) whose rectangle contains the point, or NoHandle.
int handleAt(const HandleRects &rects, const QPoint &pos);

Qt::CursorShape cursorForHandle(int handle);

// The geometry after moving the pointer by `delta` since the press on `handle`,
// starting from `start`. Only the edges that the handle touches move; the
// opposite edges stay. Empty when the new size leaves [minimum, maximum].
std::optional<QRect> resizedGeometry(int handle, const QRect &start, const QPoint &delta,
                                     const QSize &minimum, const QSize &maximum);

// Where a window restored from maximised to `restoredWidth` goes so that the
// point pressed at `pressInWindow` (of a window `maximisedWidth` wide) stays
// under the pointer at `globalPointer`: the press keeps its relative x position.
QPoint restoredTopLeft(const QPoint &globalPointer, const QPoint &pressInWindow,
                       int maximisedWidth, int restoredWidth);

} // namespace frameless
