#pragma once
// The tool window that docks on a TDock or floats in a host window of its
// own: its properties, docking and floating, size arrangement and the
// visibility of floating windows. Its frames and the mouse loops are in
// DockDragging.
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

#include "toolbars/Dock.h"
#include "toolbars/DockDragging.h"

enum TToolWindowDockMode { dmCanFloat, dmCannotFloat, dmCannotFloatOrChangeDocks };
enum TDragHandleStyle { dhDouble, dhNone, dhSingle };
enum TToolWindowFloatingMode { fmOnTopOfParentForm, fmOnTopOfAllForms };
enum TBorderStyle { bsNone, bsSingle };
using TDockableTo = unsigned;  // bit (1 << TDockPosition)
inline constexpr TDockableTo AllDockPositions = 0xF;

// The borderless top-level window a floating tool window lives in.
class TFloatingWindowParent : public QWidget {
  Q_OBJECT
 public:
  explicit TFloatingWindowParent(QWidget* ParentForm);
  ~TFloatingWindowParent() override;
  QWidget* ParentForm() const { return FParentForm; }
  bool ShouldBeVisible = false;
  // Shown only while it should be and the hosted window wants to be shown.
  void UpdateShowing();

 protected:
  void keyPressEvent(class QKeyEvent* Event) override;
  void closeEvent(class QCloseEvent* Event) override;
  void moveEvent(class QMoveEvent* Event) override;
  void changeEvent(QEvent* Event) override;

 private:
  QPointer<QWidget> FParentForm;
};

class TCustomToolWindow : public QWidget {
  Q_OBJECT
 public:
  // Owner: the form the window belongs to (its positions are stored with it).
  explicit TCustomToolWindow(QWidget* Owner);
  ~TCustomToolWindow() override;

  using TNotify = std::function<void(TCustomToolWindow* Sender)>;
  using TDockChangingEx = std::function<void(TCustomToolWindow* Sender, TDock* DockingTo)>;
  TNotify OnClose, OnDockChanged, OnDockChanging, OnMove, OnRecreated, OnRecreating, OnResize, OnVisibleChanged;
  TDockChangingEx OnDockChangingEx, OnDockChangingHidden;
  std::function<void(TCustomToolWindow* Sender, bool& CanClose)> OnCloseQuery;

  // Properties.
  bool ActivateParent = true;
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  QString Caption() const { return windowTitle(); }
  void SetCaption(const QString& Value);
  bool CloseButton() const { return FCloseButton; }
  void SetCloseButton(bool Value);
  bool CloseButtonWhenDocked() const { return FCloseButtonWhenDocked; }
  void SetCloseButtonWhenDocked(bool Value);
  TDock* DefaultDock() const { return FDefaultDock; }
  void SetDefaultDock(TDock* Value) { FDefaultDock = Value; }
  TDockableTo DockableTo = AllDockPositions;
  TDock* DockedTo() const { return FDockedTo; }
  void SetDockedTo(TDock* Value);
  TToolWindowDockMode DockMode = dmCanFloat;
  int DockPos() const { return FBar.DockPos; }
  void SetDockPos(int Value);
  int DockRow() const { return FBar.DockRow; }
  void SetDockRow(int Value);
  // Row and position without laying the dock out (the loader locks the docks).
  void SetStoredPlace(int Row, int Pos) {
    FBar.DockRow = Row;
    FBar.DockPos = DockLayout::ClampCoordinate(Pos);
  }
  TDragHandleStyle DragHandleStyle() const { return FDragHandleStyle; }
  void SetDragHandleStyle(TDragHandleStyle Value);
  TToolWindowFloatingMode FloatingMode = fmOnTopOfParentForm;
  bool FullSize() const { return FBar.FullSize; }
  void SetFullSize(bool Value);
  bool HideWhenInactive() const { return FHideWhenInactive; }
  void SetHideWhenInactive(bool Value);
  TDock* LastDock() const { return FLastDock; }
  void SetLastDock(TDock* Value);
  bool ShowCaption() const { return FShowCaption; }
  void SetShowCaption(bool Value);
  bool UseLastDock() const { return FUseLastDock; }
  void SetUseLastDock(bool Value);
  bool Resizable() const { return FResizable; }
  void SetResizable(bool Value);
  QPoint FloatingPosition() const { return FFloatingPosition; }
  void SetFloatingPosition(const QPoint& Value);
  QColor Color() const;
  QString Version() const { return QString::fromLatin1(ToolbarVersion); }
  // The window's own visibility (a floating one may still be hidden with its
  // host while the application is inactive).
  bool Visible() const { return FVisible; }
  void setVisible(bool Visible) override;

  bool Docked() const { return FDocked; }
  bool Floating() const { return FFloatParent && parentWidget() == FFloatParent; }
  TFloatingWindowParent* FloatParent() const { return FFloatParent; }
  QWidget* OwnerForm() const { return FOwnerForm; }
  // Docks (a TDock), floats (a form) or detaches (nullptr) the window.
  void SetParent(QWidget* NewParent);
  // Bounds on the dock, or on the screen while floating.
  QRect Bounds() const;
  void SetBounds(const QRect& R);

  void Arrange(int Orientation, TDock* Dock, bool Resize);
  void ResizeForCurrentDock();
  void DisableArrange() { ++FDisableArrange; }
  void EnableArrange();
  int GetCurrentBaseSize();
  void KeepOnWorkArea(bool OnlyIfFullyOff);
  bool ShouldBeVisible() const;
  void UpdateVisibility();
  // The "Loaded" steps of a window built in code.
  void Loaded();

  // Non-client sizes: sum of both sides, and each side.
  QMargins NonClientMargins() const { return FNC; }
  QMargins NonClientMarginsFor(int Orientation, TDock* Dock) const;
  int NonClientWidth() const { return FNC.left() + FNC.right(); }
  int NonClientHeight() const { return FNC.top() + FNC.bottom(); }
  void RecalcNCArea();
  // Rectangles of the frame parts in window coordinates.
  QRect CaptionRect() const;
  QRect CloseButtonRect() const;
  TResizeEdgeHit HitTest(const QPoint& P) const;
  int FloatingBorder() const { return FResizable ? 4 : 3; }
  static int SmallCaptionHeight() { return 16; }

  // Overridden by the toolbar.
  // The size across: the row size it needs on a dock of that orientation.
  virtual int GetBaseSize(int Orientation) = 0;
  virtual void GetMinimumSize(int& Width, int& Height) = 0;
  virtual QSize LayoutControls(bool CanMoveControls, int Orientation, TDock* Dock) = 0;
  virtual void SizeChanging(int, int) {}
  virtual bool ChildIsTransparentToDrag(QWidget*) const { return false; }
  virtual void UpdateControlOrder() {}
  virtual void StartResize(DockLayout::TResizeEdge) {}
  virtual void TrackResize(DockLayout::TResizeEdge, QRect&, const QRect&) {}
  virtual void FinishResize(bool) {}
  using TReadInt = std::function<int(const QString& Section, const QString& Name, int Default)>;
  using TWriteInt = std::function<void(const QString& Section, const QString& Name, int Value)>;
  virtual void LoadExtraPositionValues(const TReadInt&) {}
  virtual void SaveExtraPositionValues(const TWriteInt&) {}

  // Dragging, resizing and the close button, as the mouse drives them.
  bool Dragging() const { return FDrag.Active; }
  bool Resizing() const { return FResize.Active; }
  bool ClosePressed() const { return FClosePressed; }
  // What a click released on the close button does: asks OnCloseQuery, then
  // hides the window and fires OnClose.
  void ClickCloseButton();
  // Floating without HideWhenInactive while another program is active.
  bool InactiveCaption() const { return FInactiveCaption; }
  QRect DragOutline() const { return FDrag.Outline; }
  TDock* DragTarget() const { return FDrag.Target; }

  // Every tool window that exists, in creation order, and the floating ones.
  static const std::vector<TCustomToolWindow*>& AllToolWindows();
  static std::vector<TCustomToolWindow*> FloatingToolWindows();

 protected:
  void paintEvent(class QPaintEvent* Event) override;
  void mousePressEvent(class QMouseEvent* Event) override;
  void mouseMoveEvent(class QMouseEvent* Event) override;
  void mouseReleaseEvent(class QMouseEvent* Event) override;
  void mouseDoubleClickEvent(class QMouseEvent* Event) override;
  void keyPressEvent(class QKeyEvent* Event) override;
  void keyReleaseEvent(class QKeyEvent* Event) override;
  void resizeEvent(class QResizeEvent* Event) override;
  void moveEvent(class QMoveEvent* Event) override;
  void PaintNonClient(class QPainter& P);
  int FUpdatingBounds = 0;
  bool FLoading = false;

 private:
  friend class TDock;
  friend class TFloatingWindowParent;
  static void ToolWindowHook(DockHooks::THookProcKind Code, QObject* Wnd, QEvent* Event);
  static class QAccessibleInterface* AccessibleFactory(const QString& ClassName, QObject* Object);
  void HostMoved();
  bool IsOnChild(const QPoint& P) const;
  void DoubleClick();
  // Drag loop.
  void BeginDrag(const QPoint& ClientPos, const QPoint& Global);
  void DragStep(const QPoint& Global);
  void EndDrag(bool Accept);
  void CollectDocks(QWidget* Control, std::vector<TDock*>& Out) const;
  // Resize loop.
  void BeginResize(TResizeEdgeHit Edge, const QPoint& Global);
  void ResizeStep(const QPoint& Global);
  void EndResize(bool Accept);
  // Close button.
  void EndCloseTracking(bool Accept);
  void ReportClosePressed();
  void SetOverrideNoCursor(bool No);

  QWidget* FOwnerForm = nullptr;
  DockLayout::TBar FBar;
  bool FDocked = false;
  QPointer<TDock> FDockedTo, FLastDock, FDefaultDock;
  QPointer<TFloatingWindowParent> FFloatParent;
  TBorderStyle FBorderStyle = bsSingle;
  bool FCloseButton = true, FCloseButtonWhenDocked = false;
  TDragHandleStyle FDragHandleStyle = dhDouble;
  bool FHideWhenInactive = true, FShowCaption = true, FUseLastDock = true, FResizable = true;
  QPoint FFloatingPosition;
  QPoint FHostPos;  // the host position last applied or reported
  bool FVisible = true;
  QMargins FNC;
  int FDisableArrange = 0, FMoveLock = 0, FHideLock = 0;
  bool FArrangePending = false;
  int FLastOrientation = 0;
  bool FLastOrientationKnown = false;
  bool FInactiveCaption = false;
  bool FClosePressed = false, FCloseTracking = false;
  bool FDestroying = false;
  bool FReparenting = false;

  TToolWindowDragState FDrag;
  TToolWindowResizeState FResize;
  TDragOutline* FOutline = nullptr;
};
