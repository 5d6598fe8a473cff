#pragma once
// Docks along a form's edges that hold tool windows in rows: the row layout,
// the dock's thickness, its bound lines and its tiled background. The tool
// windows themselves are in DockToolWindow, their dragging and frames in
// DockDragging, their stored positions in DockPositions.
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <vector>

#include "toolbars/DockConst.h"
#include "toolbars/DockHooks.h"
#include "toolbars/DockLayout.h"

class TCustomToolWindow;

using DockLayout::dpBottom;
using DockLayout::dpLeft;
using DockLayout::dpRight;
using DockLayout::dpTop;
using DockLayout::TDockPosition;

inline constexpr const char* ToolbarVersion = "Dockbar version 1.76a";

enum TDockBoundLinesValues : unsigned { blTop = 1, blBottom = 2, blLeft = 4, blRight = 8 };
using TDockBoundLines = unsigned;

class TDock : public QWidget {
  Q_OBJECT
 public:
  TDock(QWidget* Parent, TDockPosition Position = dpTop);
  ~TDock() override;

  TDockPosition Position() const { return FPosition; }
  void SetPosition(TDockPosition Value);
  bool AllowDrag() const { return FAllowDrag; }
  void SetAllowDrag(bool Value);
  TDockBoundLines BoundLines() const { return FBoundLines; }
  void SetBoundLines(TDockBoundLines Value);
  const QPixmap& Background() const { return FBackground; }
  void SetBackground(const QPixmap& Value);
  bool BackgroundOnToolbars() const { return FBackgroundOnToolbars; }
  void SetBackgroundOnToolbars(bool Value);
  bool BackgroundTransparent() const { return FBackgroundTransparent; }
  void SetBackgroundTransparent(bool Value);
  QColor Color() const;
  void SetColor(const QColor& Value);
  bool FixAlign() const { return FFixAlign; }
  void SetFixAlign(bool Value);
  bool LimitToOneRow() const { return FModel.LimitToOneRow; }
  void SetLimitToOneRow(bool Value);
  QString Version() const { return QString::fromLatin1(ToolbarVersion); }
  bool Vertical() const { return DockLayout::IsVertical(FPosition); }
  // Moves the dock into another parent; never into a tool window or a dock.
  void SetParent(QWidget* Parent);

  std::function<void(TDock* Sender, bool Inserting, TCustomToolWindow* Bar)> OnInsertRemoveBar;
  std::function<void(TDock* Sender, TCustomToolWindow* Bar, bool& Accept)> OnRequestDock;
  std::function<void(TDock* Sender)> OnResize;

  void LockLayout() { ++FLockCount; }
  void UnlockLayout();
  void LayoutToolWindows(bool ClipPositions = false);
  void ComputeRowSizes();
  int GetRowSize(int Row, TCustomToolWindow* ToolWindow);
  int LastRowIndex() const { return FModel.LastRowIndex(); }
  void FindInsertRow(int Pos, int& Row, bool& NewRow);
  int RowAtOffset(int Pos);
  int CountInRow(int Row, TCustomToolWindow* Except) const;
  void ShiftRowsFrom(int Row) { FModel.ShiftRowsFrom(Row); }
  void ChangeDockList(bool Insert, TCustomToolWindow* ToolWindow);
  void ChangeVisibleList(TCustomToolWindow* ToolWindow, bool Removing);
  // The registered and the shown tool windows, in sorted order.
  std::vector<TCustomToolWindow*> DockList() const;
  std::vector<TCustomToolWindow*> VisibleList() const;
  bool ToolWindowShown(const TCustomToolWindow* W) const;

  bool UsingBackground() const { return !FBackground.isNull() && FBackground.width() && FBackground.height(); }
  // Tiles the background over Rect of Target so that it lines up with every
  // other dock of the form (the tile origin is the form's client origin).
  void DrawBackground(class QPainter& Painter, QWidget* Target, const QRect& Rect);
  void InvalidateBackgrounds();
  int NonClientWidth() const { return FNonClientWidth; }
  int NonClientHeight() const { return FNonClientHeight; }
  int LayoutCount() const { return FLayoutCount; }

  // Every dock that exists, in creation order.
  static const std::vector<TDock*>& AllDocks();

 protected:
  void paintEvent(class QPaintEvent* Event) override;
  void resizeEvent(class QResizeEvent* Event) override;
  void moveEvent(class QMoveEvent* Event) override;
  void changeEvent(QEvent* Event) override;

 private:
  friend class TCustomToolWindow;
  void SetThickness(int Thickness);
  void RefreshBars();
  const QPixmap& BackgroundToDraw();

  TDockPosition FPosition = dpTop;
  bool FAllowDrag = true;
  TDockBoundLines FBoundLines = 0;
  QPixmap FBackground, FCachedBackground;
  bool FBackgroundOnToolbars = true;
  bool FBackgroundTransparent = false;
  bool FFixAlign = false;
  DockLayout::TRowModel FModel;
  std::vector<TCustomToolWindow*> FVisible;
  int FLockCount = 0;
  bool FLayoutPending = false, FClipPending = false;
  int FNonClientWidth = 0, FNonClientHeight = 0;
  int FLayoutCount = 0;
  bool FInLayout = false;
};
