#pragma once
// The interactive side of a tool window: its frames (a drag handle docked, a
// caption and close button floating), hit testing, and the drag, resize and
// close-button loops the mouse drives. The methods belong to
// TCustomToolWindow (DockToolWindow.h); this holds what their loops keep.
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <vector>

#include "toolbars/Dock.h"

enum TResizeEdgeHit { htNone, htClient, htCaption, htClose, htTop, htBottom, htLeft, htRight };

// A drag between docks and the screen, while it lasts.
struct TToolWindowDragState {
  bool Active = false;
  DockLayout::TGrab Grab;
  bool Ctrl = false, CanFloat = false;
  std::vector<TDock*> Docks;
  QSize FloatSize;
  std::vector<QSize> DockSizes;
  QRect Outline;
  QPointer<TDock> Target;
  QPoint LastGlobal;
  bool NoCursor = false;
};

// A floating resize by an edge, while it lasts.
struct TToolWindowResizeState {
  bool Active = false;
  TResizeEdgeHit Edge = htNone;
  int MinW = 0, MinH = 0;
  QRect Start, Outline;
  QPoint StartCursor;
};
