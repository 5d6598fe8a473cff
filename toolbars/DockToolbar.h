#pragma once
// The toolbar: a tool window that lays its buttons and separators out in one
// line when docked and in wrapped lines when floating, with a floating width
// the user changes by dragging an edge.
#include <QPointer>
#include <vector>

#include "toolbars/DockToolWindow.h"

class TCustomToolbar;

class TToolbarSep : public QWidget {
  Q_OBJECT
 public:
  // Parent: nullptr or a toolbar.
  explicit TToolbarSep(QWidget* Parent = nullptr);
  void SetParent(QWidget* Parent);
  bool Blank() const { return FBlank; }
  void SetBlank(bool Value);
  int SizeHorz() const { return FSizeHorz; }
  void SetSizeHorz(int Value);
  int SizeVert() const { return FSizeVert; }
  void SetSizeVert(int Value);

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  static QWidget* CheckParent(QWidget* Parent);
  void Rearrange();
  bool FBlank = false;
  int FSizeHorz = 6, FSizeVert = 6;
};

class TCustomToolbar : public TCustomToolWindow {
  Q_OBJECT
 public:
  explicit TCustomToolbar(QWidget* Owner);

  int FloatRightX() const { return FFloatRightX; }
  void SetFloatRightX(int Value);
  // The controls in layout order.
  std::vector<QWidget*> OrderList() const;
  const std::vector<DockLayout::TWrapLine>& WrapLines() const { return FWrapLines; }

  int GetBaseSize(int Orientation) override;
  void GetMinimumSize(int& Width, int& Height) override;
  QSize LayoutControls(bool CanMoveControls, int Orientation, TDock* Dock) override;
  bool ChildIsTransparentToDrag(QWidget* Child) const override;
  void UpdateControlOrder() override;
  void StartResize(DockLayout::TResizeEdge Edge) override;
  void TrackResize(DockLayout::TResizeEdge Edge, QRect& NewRect, const QRect& StartRect) override;
  void FinishResize(bool Accept) override;
  void LoadExtraPositionValues(const TReadInt& ReadInt) override;
  void SaveExtraPositionValues(const TWriteInt& WriteInt) override;
  const DockLayout::TResizeSnap& Snap() const { return FSnap; }

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void childEvent(QChildEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  std::vector<DockLayout::TToolbarItem> Items(std::vector<QWidget*>* Controls) const;
  int FFloatRightX = 0;
  std::vector<QPointer<QWidget>> FOrder;
  std::vector<DockLayout::TWrapLine> FWrapLines;
  DockLayout::TResizeSnap FSnap;
};

class TToolbar : public TCustomToolbar {
  Q_OBJECT
 public:
  explicit TToolbar(QWidget* Owner) : TCustomToolbar(Owner) {}
};
