#pragma once
// Where a secondary window (a dialog, the web or text window) opens: centred over the window
// it belongs to, and whole on that window's screen.

#include <QRect>

class QWidget;

namespace ZEL::Forms::Placement {

// The top left of a frame of AFrameSize centred over AOver, moved as little as needed to lie
// within AScreen (its top left wins when it is larger than AScreen).
QPoint CentredWithin(QSize AFrameSize, const QRect& AOver, const QRect& AScreen);

// The window AOver belongs to: its own window, or for a hidden view whose content is lent to
// a host, the window that shows that content; none without AOver.
QWidget* OwnWindow(QWidget* AOver);

// Moves the top-level AWindow centred over AOver's window, within that window's screen.
// Without a window over which to open, AWindow is centred on the primary screen.
void CentreOver(QWidget* AWindow, QWidget* AOver);

}  // namespace ZEL::Forms::Placement
