#pragma once
// The flat toolbar button with hot tracking, groups, auto-repeat, drop-down
// menus and an action link, and its glyphs: one image per state kept in
// image lists shared by size, with generated disabled images.
#include <QAction>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "toolbars/DockHooks.h"
#include "toolbars/DockLayout.h"

class QTimer;

using DockLayout::blGlyphBottom;
using DockLayout::blGlyphLeft;
using DockLayout::blGlyphRight;
using DockLayout::blGlyphTop;
using DockLayout::TButtonLayout;

enum TButtonState { bsUp = 0, bsDisabled = 1, bsDown = 2, bsExclusive = 3, bsHot = 4 };
enum TButtonDisplayMode { dmBoth, dmGlyphOnly, dmTextOnly };

// A plain list of images of one size (the program's image lists).
struct TImageList {
  QSize Size;
  std::vector<QPixmap> Images;
};

// Images of one size shared by every button; indices are reused.
class TGlyphList {
 public:
  explicit TGlyphList(QSize Size) : FSize(Size) {}
  int Add(const QPixmap& Image);
  void Delete(int Index);
  const QPixmap& Image(int Index) const { return FImages[std::size_t(Index)]; }
  int Count() const { return FCount; }
  QSize Size() const { return FSize; }

 private:
  QSize FSize;
  std::vector<QPixmap> FImages;
  std::vector<bool> FUsed;
  int FCount = 0;
};

class TGlyphCache {
 public:
  TGlyphList* GetList(QSize Size);
  // Frees the list once it holds nothing.
  void ReturnList(TGlyphList* List);
  int ListCount() const { return int(FLists.size()); }

 private:
  std::map<std::pair<int, int>, std::unique_ptr<TGlyphList>> FLists;
};
// The shared cache; nullptr while no button holds an image.
TGlyphCache* GlyphCache();

class TButtonGlyph {
 public:
  TButtonGlyph() = default;
  ~TButtonGlyph();
  TButtonGlyph(const TButtonGlyph&) = delete;
  TButtonGlyph& operator=(const TButtonGlyph&) = delete;

  const QPixmap& Glyph() const { return FGlyph; }
  void SetGlyph(const QPixmap& Value);
  void SetGlyphMask(const QPixmap& Value);
  void SetImages(const TImageList* Value);
  void SetImageIndex(int Value);
  int NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(int Value);
  void SetOldDisabledStyle(bool Value);
  QSize GlyphSize() const;
  // The image for a state, built once; null when there is none.
  QPixmap MakeStateGlyph(TButtonState State);
  // Gives every built image back to its list.
  void Invalidate();
  const TGlyphList* StateList(TButtonState State) const { return FStates[State].List; }

 private:
  QPixmap Cell(int Index) const;
  QPixmap FGlyph, FGlyphMask;
  QRgb FTransparentColor = 0;
  const TImageList* FImages = nullptr;
  int FImageIndex = -1;
  int FNumGlyphs = 1;
  bool FOldDisabledStyle = false;
  struct TBuilt {
    TGlyphList* List = nullptr;
    int Index = -1;
  } FStates[5];
};

// A greyed, embossed silhouette one pixel larger than Image.
QPixmap MakeDisabledGlyph(const QImage& Image, bool OldStyle, const QPalette& Palette);

class TToolbarButton : public QWidget {
  Q_OBJECT
 public:
  explicit TToolbarButton(QWidget* Parent = nullptr);
  ~TToolbarButton() override;

  // Properties.
  QAction* Action() const { return FAction; }
  void SetAction(QAction* Value);
  bool AllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool Value);
  QString Caption() const { return FCaption; }
  void SetCaption(const QString& Value);
  TButtonDisplayMode DisplayMode = dmBoth;
  bool Down() const { return FDown; }
  void SetDown(bool Value);
  bool DropdownAlways() const { return FDropdownAlways; }
  void SetDropdownAlways(bool Value);
  bool DropdownArrow = true;
  int DropdownArrowWidth() const { return FDropdownArrowWidth; }
  void SetDropdownArrowWidth(int Value);
  bool DropdownCombo() const { return FDropdownCombo; }
  void SetDropdownCombo(bool Value);
  QMenu* DropdownMenu() const { return FDropdownMenu; }
  void SetDropdownMenu(QMenu* Value);
  bool Flat = true;
  void SetGlyph(const QPixmap& Value) { FGlyph.SetGlyph(Value), update(); }
  void SetGlyphMask(const QPixmap& Value) { FGlyph.SetGlyphMask(Value), update(); }
  void SetImages(const TImageList* Value) { FGlyph.SetImages(Value), update(); }
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int Value);
  int NumGlyphs() const { return FGlyph.NumGlyphs(); }
  void SetNumGlyphs(int Value) { FGlyph.SetNumGlyphs(Value), update(); }
  void SetOldDisabledStyle(bool Value) { FGlyph.SetOldDisabledStyle(Value), update(); }
  TButtonGlyph& GlyphObject() { return FGlyph; }
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int Value);
  int HelpContext = 0;
  // "Short|Long": the short part is the tool tip, the long part goes to the
  // form's status bar while the mouse is on the button.
  QString Hint() const { return FHint; }
  void SetHint(const QString& Value);
  bool HighlightWhenDown = true;
  TButtonLayout Layout = blGlyphLeft;
  int Margin = -1;
  int ModalResult = 0;
  bool NoBorder = false;
  bool Opaque = true;
  bool Repeating = false;
  int RepeatDelay = 400;
  int RepeatInterval = 100;
  bool ShowBorderWhenInactive = false;
  int Spacing = 4;
  bool WordWrap = false;
  Qt::Alignment Alignment = Qt::AlignHCenter;

  std::function<void(TToolbarButton*)> OnClick, OnDblClick, OnMouseEnter, OnMouseExit;
  std::function<void(TToolbarButton*, bool& ShowMenu, bool& RemoveClicks)> OnDropdown;

  TButtonState State() const { return FState; }
  bool MouseInControl() const { return FMouseInControl; }
  // True just after a menu closed, until the click that closed it is gone.
  bool SwallowingPress() const { return FSwallowPress; }
  bool UsesDropdown() const { return FDropdownMenu || FDropdownAlways; }
  bool PointInButton(int X, int Y) const;
  void Click();
  void MouseEntered();
  void MouseLeft();
  // The hot button of the program, if any.
  static TToolbarButton* HotButton();
  // Where the last drop-down menu opened (screen point) and whether it was
  // right-aligned.
  QPoint LastMenuPoint() const { return FLastMenuPoint; }
  bool LastMenuRightAligned() const { return FLastMenuRight; }
  // Shows the drop-down menu; tests replace it to record the call.
  std::function<void(QMenu*, const QPoint&)> PopupMenu;

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  void enterEvent(QEnterEvent* Event) override;
  void leaveEvent(QEvent* Event) override;

 private:
  static void ButtonHook(DockHooks::THookProcKind Code, QObject* Wnd, QEvent* Event);
  static void HotTimerTick();
  void ActionChanged();
  void SetState(TButtonState Value);
  // Tells assistive tools when the pressed or checked state changed.
  void ReportState();
  void RepeatTick();
  void ShowHint(bool Show);
  void DoClick();
  void UpdateGroup();

  QPointer<QAction> FAction;
  bool FAllowAllUp = false;
  QString FCaption;
  QString FHint;
  bool FDown = false;
  bool FDropdownAlways = false;
  int FDropdownArrowWidth = 9;
  bool FDropdownCombo = false;
  QPointer<QMenu> FDropdownMenu;
  TButtonGlyph FGlyph;
  int FImageIndex = -1;
  int FGroupIndex = 0;
  TButtonState FState = bsUp;
  bool FMouseInControl = false, FMouseHeld = false, FInClick = false, FArrowClicked = false;
  bool FSwallowPress = false;
  QTimer* FRepeatTimer = nullptr;
  QPoint FLastMenuPoint;
  bool FLastMenuRight = false;
  bool FDestroying = false;
  bool FReportedPressed = false, FReportedChecked = false;
};
