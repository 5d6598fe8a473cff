#include "app/ToolWindows.h"

#include <QApplication>
#include <QEvent>
#include <QMdiArea>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

#include "app/Child.h"
#include "app/Main.h"
#include "app/StoredValues.h"

namespace ToolWindows {
namespace {
// Between a tool window and the edges of the document area or the windows
// it keeps clear of.
constexpr int Gap = 6;

qint64 Overlap(const QRect& A, const QRect& B) {
  const QRect common = A.intersected(B);
  return common.isEmpty() ? 0 : qint64(common.width()) * common.height();
}

QMargins FrameOf(const QWidget* W) {
  const QRect f = W->frameGeometry(), g = W->geometry();
  return {g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom()};
}

TMainForm* MainOf(const QWidget* Tool) {
  if (QWidget* parent = Tool->parentWidget())
    if (auto* main = qobject_cast<TMainForm*>(parent->window())) return main;
  return MainForm;
}

// The tool windows shown, the dock library's floating tool bars among them.
QList<QWidget*> ShownTools(const QWidget* Except) {
  QList<QWidget*> shown;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != Except && w->isVisible() && !w->isMinimized() && w->windowType() == Qt::Tool) shown << w;
  return shown;
}

// The frame a window will have: Known once the window manager has framed
// it, before that the frame of another tool window, or of the main window.
QSize FramedSize(const QWidget* Tool, const QWidget* Main, QMargins Known = {}) {
  QMargins m = Known;
  for (const QWidget* w : ShownTools(Tool))
    if (m.isNull()) m = FrameOf(w);
  if (m.isNull() && Main) m = FrameOf(Main);
  return Tool->size().grownBy(m);
}

// The document area on the screen, and the active image window's frame in it.
QRect WorkArea(const QWidget* Tool, const TMainForm* Main, QRect& Image) {
  Image = QRect();
  const QScreen* screen = Main && Main->isVisible() ? Main->screen() : Tool->screen();
  const QRect available = screen ? screen->availableGeometry() : QRect();
  if (!Main || !Main->isVisible() || Main->isMinimized() || !Main->MDIArea()) return available;
  const QWidget* view = Main->MDIArea()->viewport();
  QRect work(view->mapToGlobal(QPoint(0, 0)), view->size());
  if (available.isValid()) work &= available;
  if (work.isEmpty()) return available;
  if (const TChildForm* child = Main->ActiveMDIChild(); child && child->isVisible() && !child->isMinimized())
    Image = QRect(view->mapToGlobal(child->geometry().topLeft()), child->size()) & work;
  return work;
}

QPoint FirstPlaceOf(const QWidget* Tool) {
  const TMainForm* main = MainOf(Tool);
  QRect image;
  const QRect work = WorkArea(Tool, main, image);
  QList<QRect> others;
  for (const QWidget* w : ShownTools(Tool)) others << w->frameGeometry();
  return FirstPlace(FramedSize(Tool, main), work, image, others);
}

// Places a tool window at its first showing, unless the program placed it
// (the stored settings, the start-up), and at every later one where it was
// left, on the screen. Placed before the window maps, so that no window
// manager places it instead, and by its frame: a window shown again would
// otherwise land where its client area was, a title bar lower each time, and
// one not framed yet a title bar higher, over the menus. The frame is read
// while the window is shown: once it is hidden the toolkit may no longer
// know it.
class TPlacement : public QObject {
 public:
  explicit TPlacement(QWidget* Tool) : QObject(Tool) { Tool->installEventFilter(this); }

  bool Placed() const { return FPlaced || Tool()->testAttribute(Qt::WA_Moved); }
  QPoint Place() {
    QWidget* tool = Tool();
    if (!Placed()) tool->move(FirstPlaceOf(tool));
    FPlaced = true;
    if (!tool->isVisible()) return Left();
    Note();
    return FMargins.isNull() ? tool->pos() : FFrame;
  }

  bool eventFilter(QObject* Watched, QEvent* Event) override {
    QWidget* tool = Tool();
    if (Watched == FHandle) {
      if (Event->type() == QEvent::Show && FFramePending) {
        FFramePending = false;
        FHandle->setFramePosition(FPlace);
      }
      return false;
    }
    if (Watched != tool) return false;
    switch (Event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
        if (tool->isVisible()) Note();
        break;
      case QEvent::Hide:
        if (!Event->spontaneous()) FHiddenAt = tool->pos();
        break;
      case QEvent::Show:
        if (!Event->spontaneous()) Show();
        break;
      default:
        break;
    }
    return false;
  }

 private:
  QWidget* Tool() const { return static_cast<QWidget*>(parent()); }

  // Where the frame stands, from the client area, which the toolkit always
  // knows, and the frame's margins, which it learns late and may lose.
  void Note() {
    if (const QMargins m = FrameOf(Tool()); !m.isNull()) FMargins = m;
    FFrame = Tool()->geometry().topLeft() - QPoint(FMargins.left(), FMargins.top());
  }

  // Where a hidden window was left, unless the program has moved it since.
  QPoint Left() const { return !FMargins.isNull() && Tool()->pos() == FHiddenAt ? FFrame : Tool()->pos(); }

  void Show() {
    QWidget* tool = Tool();
    QPoint place;
    if (!Placed()) {
      place = FirstPlaceOf(tool);
    } else {
      const QPoint left = Left();
      const QSize size = FramedSize(tool, MainOf(tool), FMargins);
      place = StoredValues::OnScreens(left.x(), left.y(), size.width(), size.height()).topLeft();
    }
    FPlaced = true;
    tool->move(place);
    // Until the window manager has framed the window, the window's own frame
    // is placed as it maps.
    FFramePending = tool->frameGeometry() == tool->geometry();
    FPlace = place;
    if (QWindow* handle = tool->windowHandle(); handle && handle != FHandle) {
      FHandle = handle;
      handle->installEventFilter(this);
    }
  }

  bool FPlaced = false;
  QPoint FFrame, FHiddenAt;
  QMargins FMargins;
  bool FFramePending = false;
  QPoint FPlace;
  QPointer<QWindow> FHandle;
};

// A modal window, from whichever window it is opened, joins the stay-on-top
// windows while it is shown, and as the newest of them lies above them all.
// Set as it is about to map, on the window itself, so that the window
// manager stacks it so from the start.
class TModalAbove : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() != QEvent::Show || Event->spontaneous() || !Watched->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(Watched);
    QWindow* handle = w->isWindow() ? w->windowHandle() : nullptr;
    if (!handle) return false;
    const bool above = w->isModal() || w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    if (handle->flags().testFlag(Qt::WindowStaysOnTopHint) != above) handle->setFlag(Qt::WindowStaysOnTopHint, above);
    return false;
  }
};

TPlacement* PlacementOf(QWidget* Tool) {
  for (QObject* child : Tool->children())
    if (auto* p = dynamic_cast<TPlacement*>(child)) return p;
  return nullptr;
}
}  // namespace

void Install(QWidget* Tool) {
  static QPointer<TModalAbove> modal;
  if (!modal && qApp) {
    modal = new TModalAbove(qApp);
    qApp->installEventFilter(modal);
  }
  if (!PlacementOf(Tool)) new TPlacement(Tool);
}

QPoint FirstPlace(const QSize& Size, const QRect& Work, const QRect& Image, const QList<QRect>& Others) {
  const QRect area = Work.adjusted(Gap, Gap, -Gap, -Gap);
  // Within the area; a window larger than it keeps its top-left corner in it,
  // so that its title bar stays clear of the menus and tool bars.
  const auto within = [&](QPoint P) {
    return QRect(QPoint(std::clamp(P.x(), area.left(), std::max(area.left(), area.right() + 1 - Size.width())),
                        std::clamp(P.y(), area.top(), std::max(area.top(), area.bottom() + 1 - Size.height()))),
                 Size);
  };
  QList<QPoint> tries = {{area.right() + 1 - Size.width(), area.top()}};
  QList<QRect> obstacles = Others;
  if (!Image.isEmpty()) obstacles.prepend(Image);
  for (const QRect& o : obstacles) {
    tries << QPoint(o.right() + 1 + Gap, o.top())                              // right of it
          << QPoint(area.right() + 1 - Size.width(), o.bottom() + 1 + Gap)     // below it, at the right edge
          << QPoint(o.left(), o.bottom() + 1 + Gap)                            // below it
          << QPoint(o.left() - Gap - Size.width(), o.top())                    // left of it
          << QPoint(o.left(), o.top() - Gap - Size.height());                  // above it
  }
  tries << QPoint(area.right() + 1 - Size.width(), area.bottom() + 1 - Size.height()) << area.topLeft()
        << QPoint(area.left(), area.bottom() + 1 - Size.height());
  // The image window counts far more than the tool windows: the user works
  // on it. Of the places that cover least, the one nearest the top-right
  // corner, where the tool windows gather.
  const auto fromCorner = [&](const QRect& R) {
    const qint64 dx = area.right() - R.right(), dy = R.top() - area.top();
    return dx * dx + dy * dy;
  };
  QRect best;
  qint64 bestCost = -1;
  for (const QPoint& p : tries) {
    const QRect r = within(p);
    qint64 cost = Overlap(r, Image) * 1000;
    for (const QRect& o : Others) cost += Overlap(r, o);
    if (bestCost < 0 || cost < bestCost || (cost == bestCost && fromCorner(r) < fromCorner(best))) {
      best = r;
      bestCost = cost;
    }
  }
  return best.topLeft();
}

QPoint Place(QWidget* Tool) {
  TPlacement* p = PlacementOf(Tool);
  return p ? p->Place() : Tool->pos();
}
}  // namespace ToolWindows
