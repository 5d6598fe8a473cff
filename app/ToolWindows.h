#pragma once
// Where the stay-on-top tool windows stand, and what stands above them.
//
// A tool window first opens beside the work: inside the main window's
// document area, clear of its menu bar and tool bars, and off the active
// image window where there is room beside it. From then on it keeps the place
// it was last given (by the user, or by the stored settings), brought onto
// the screen. A modal dialog or message box, whichever window opened it,
// comes above every stay-on-top window while it is open.
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace ToolWindows {
// Called from a tool window's constructor.
void Install(QWidget* Tool);

// The frame's top-left for a window whose frame is Size, in Work (the
// document area on the screen): clear of Image (the active image window's
// frame; empty for none) where it fits beside it, then of Others (the tool
// windows shown), the top-right corner first.
QPoint FirstPlace(const QSize& Size, const QRect& Work, const QRect& Image, const QList<QRect>& Others);

// Where the tool window's frame stands, or stood when it was last shown. A
// window that has no place yet is given the one it would open at, so that
// what the settings store for it is a place it can open at.
QPoint Place(QWidget* Tool);
}  // namespace ToolWindows
