#include "app/CommandGlyphs.h"

#include <QApplication>
#include <QConicalGradient>
#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

namespace {

// One 1-pixel line at x.5 lands on whole pixels at 100 % and at 200 %.
const QColor Ink(45, 45, 50);
const QColor Paper(255, 255, 255);
const QColor PaperEdge(95, 95, 100);
const QColor Sky(28, 36, 78);
const QColor SkyEdge(15, 18, 40);
const QColor Blue(40, 100, 205);
const QColor LightBlue(170, 205, 245);
const QColor Green(30, 145, 55);
const QColor Red(210, 35, 35);
const QColor Gold(250, 205, 40);
const QColor GoldEdge(175, 120, 0);
const QColor Folder(245, 200, 85);
const QColor FolderEdge(165, 115, 25);
const QColor Orange(225, 120, 20);

QPen Pen(const QColor& C, qreal W = 1.0) {
  QPen p(C, W);
  p.setJoinStyle(Qt::MiterJoin);
  p.setCapStyle(Qt::FlatCap);
  return p;
}

void Box(QPainter& P, const QRectF& R, const QColor& Fill, const QColor& Edge) {
  P.setPen(Pen(Edge));
  P.setBrush(Fill);
  P.drawRect(R);
}

// A page with its top-right corner folded.
void Page(QPainter& P, qreal L, qreal T, qreal R, qreal B, bool Lines = true) {
  const qreal f = 3;
  QPainterPath page;
  page.moveTo(L, T);
  page.lineTo(R - f, T);
  page.lineTo(R, T + f);
  page.lineTo(R, B);
  page.lineTo(L, B);
  page.closeSubpath();
  P.setPen(Pen(PaperEdge));
  P.setBrush(Paper);
  P.drawPath(page);
  QPainterPath fold;
  fold.moveTo(R - f, T);
  fold.lineTo(R - f, T + f);
  fold.lineTo(R, T + f);
  P.setBrush(QColor(215, 215, 220));
  P.drawPath(fold);
  if (!Lines) return;
  P.setPen(Pen(QColor(150, 165, 190)));
  for (qreal y = T + f + 2; y < B - 1; y += 2) P.drawLine(QPointF(L + 2, y), QPointF(R - 2, y));
}

// A small picture of the sky: a dark frame with a bright star.
void Picture(QPainter& P, const QRectF& R, bool Star = true) {
  Box(P, R, Sky, SkyEdge);
  if (!Star) return;
  P.setPen(Qt::NoPen);
  P.setBrush(QColor(255, 240, 170));
  const QPointF c = R.center() + QPointF(0.5, -0.5);
  P.drawEllipse(c, 1.3, 1.3);
  P.setBrush(Paper);
  P.drawEllipse(R.topLeft() + QPointF(2.2, R.height() - 2.2), 0.6, 0.6);
}

// A five-pointed star.
void Star(QPainter& P, QPointF C, qreal Outer, const QColor& Fill = Gold, const QColor& Edge = GoldEdge) {
  QPainterPath s;
  for (int i = 0; i < 10; ++i) {
    const qreal r = i % 2 ? Outer * 0.45 : Outer;
    const qreal a = -M_PI / 2 + i * M_PI / 5;
    const QPointF q = C + QPointF(r * std::cos(a), r * std::sin(a));
    if (i == 0) s.moveTo(q);
    else s.lineTo(q);
  }
  s.closeSubpath();
  P.setPen(Pen(Edge, 0.8));
  P.setBrush(Fill);
  P.drawPath(s);
}

// Corner badges: add (green plus), delete (red cross), edit (pencil).
void PlusBadge(QPainter& P) {
  QPainterPath plus;
  plus.addRect(QRectF(11.5, 9.5, 3, 6.5));
  plus.addRect(QRectF(9.5, 11.5, 6.5, 3));
  plus.setFillRule(Qt::WindingFill);
  P.setPen(Pen(Paper, 2.0));
  P.setBrush(Paper);
  P.drawPath(plus.simplified());
  P.setPen(Qt::NoPen);
  P.setBrush(Green);
  P.drawPath(plus.simplified());
}

void CrossBadge(QPainter& P) {
  QPen white = Pen(Paper, 3.6);
  white.setCapStyle(Qt::SquareCap);
  P.setPen(white);
  P.drawLine(QPointF(10.5, 10.5), QPointF(14.5, 14.5));
  P.drawLine(QPointF(14.5, 10.5), QPointF(10.5, 14.5));
  QPen red = Pen(Red, 1.8);
  red.setCapStyle(Qt::SquareCap);
  P.setPen(red);
  P.drawLine(QPointF(10.5, 10.5), QPointF(14.5, 14.5));
  P.drawLine(QPointF(14.5, 10.5), QPointF(10.5, 14.5));
}

void Pencil(QPainter& P, QPointF Tip = QPointF(8, 15)) {
  // Drawn along the diagonal, its tip at the bottom left.
  P.save();
  P.translate(Tip);
  P.rotate(-45);
  QPainterPath body;
  body.addRect(QRectF(3, -1.6, 7, 3.2));
  P.setPen(Pen(QColor(120, 70, 0), 0.8));
  P.setBrush(QColor(245, 175, 40));
  P.drawPath(body);
  P.setBrush(QColor(240, 140, 150));
  P.drawRect(QRectF(10, -1.6, 1.8, 3.2));
  QPainterPath tip;
  tip.moveTo(0, 0);
  tip.lineTo(3, -1.6);
  tip.lineTo(3, 1.6);
  tip.closeSubpath();
  P.setBrush(QColor(240, 215, 170));
  P.drawPath(tip);
  P.setPen(Qt::NoPen);
  P.setBrush(Ink);
  P.drawEllipse(QPointF(0.6, 0), 0.7, 0.7);
  P.restore();
}

// A letter drawn from the program's font as a filled path.
void Text(QPainter& P, const QString& S, const QRectF& R, qreal Size, const QColor& C, bool Bold = true,
          Qt::Alignment Align = Qt::AlignCenter) {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(int(Size));
  f.setBold(Bold);
  f.setHintingPreference(QFont::PreferNoHinting);
  QPainterPath path;
  path.addText(0, 0, f, S);
  const QRectF b = path.boundingRect();
  qreal x = R.left() - b.left();
  if (Align & Qt::AlignHCenter) x = R.center().x() - b.center().x();
  else if (Align & Qt::AlignRight) x = R.right() - b.right();
  qreal y = R.center().y() - b.center().y();
  if (Align & Qt::AlignBottom) y = R.bottom() - b.bottom();
  else if (Align & Qt::AlignTop) y = R.top() - b.top();
  P.setPen(Qt::NoPen);
  P.setBrush(C);
  P.drawPath(path.translated(x, y));
}

// The capital A of the annotation commands.
void LetterA(QPainter& P) {
  QPen pen = Pen(Blue, 2.0);
  pen.setJoinStyle(Qt::MiterJoin);
  P.setPen(pen);
  P.setBrush(Qt::NoBrush);
  QPainterPath a;
  a.moveTo(1.5, 13);
  a.lineTo(5.5, 2);
  a.lineTo(9.5, 13);
  P.drawPath(a);
  P.setPen(Pen(Blue, 1.6));
  P.drawLine(QPointF(3.2, 9), QPointF(7.8, 9));
}

// The registration marker as the image windows draw it: a cross and its number.
void Marker(QPainter& P) {
  P.setPen(Pen(Red, 1.6));
  P.drawLine(QPointF(1, 6), QPointF(11, 6));
  P.drawLine(QPointF(6, 1), QPointF(6, 11));
  P.setPen(Pen(Red, 1.0));
  P.setBrush(Qt::NoBrush);
  P.drawEllipse(QPointF(6, 6), 3, 3);
}

// A dashed selection rectangle, the region of interest.
void Marquee(QPainter& P, const QRectF& R) {
  P.setBrush(Paper);
  P.setPen(Pen(Paper));
  P.drawRect(R);
  QPen dash = Pen(Ink);
  dash.setDashPattern({2, 2});
  P.setPen(dash);
  P.setBrush(Qt::NoBrush);
  P.drawRect(R);
}

void Sigma(QPainter& P, const QRectF& R, const QColor& C) {
  QPainterPath s;
  s.moveTo(R.right(), R.top() + 1.5);
  s.lineTo(R.right(), R.top());
  s.lineTo(R.left(), R.top());
  s.lineTo(R.center().x() + 0.5, R.center().y());
  s.lineTo(R.left(), R.bottom());
  s.lineTo(R.right(), R.bottom());
  s.lineTo(R.right(), R.bottom() - 1.5);
  QPen pen = Pen(C, 1.6);
  P.setPen(pen);
  P.setBrush(Qt::NoBrush);
  P.drawPath(s);
}

void Bars(QPainter& P, const QRectF& Base, const QColor& C) {
  const qreal heights[] = {0.25, 0.55, 1.0, 0.7, 0.35};
  const qreal w = Base.width() / 5;
  P.setPen(Qt::NoPen);
  P.setBrush(C);
  for (int i = 0; i < 5; ++i) {
    const qreal h = Base.height() * heights[i];
    P.drawRect(QRectF(Base.left() + i * w, Base.bottom() - h, w - 0.5, h));
  }
}

// Axes of a small chart, origin at the bottom left.
void Axes(QPainter& P) {
  P.setPen(Pen(Ink));
  P.drawLine(QPointF(1.5, 1), QPointF(1.5, 14.5));
  P.drawLine(QPointF(1.5, 14.5), QPointF(15, 14.5));
}

void Curve(QPainter& P, const QPainterPath& Path, const QColor& C, qreal W = 1.6) {
  QPen pen = Pen(C, W);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  P.setPen(pen);
  P.setBrush(Qt::NoBrush);
  P.drawPath(Path);
}

// The power spectrum of an image: dark, a bright centre and its cross.
void Spectrum(QPainter& P) {
  Box(P, QRectF(0.5, 0.5, 14, 14), QColor(10, 10, 20), SkyEdge);
  P.setPen(Pen(QColor(90, 110, 160)));
  P.drawLine(QPointF(1, 7.5), QPointF(14, 7.5));
  P.drawLine(QPointF(7.5, 1), QPointF(7.5, 14));
  QRadialGradient g(QPointF(7.5, 7.5), 3.5);
  g.setColorAt(0, QColor(255, 255, 255));
  g.setColorAt(0.5, QColor(240, 230, 140));
  g.setColorAt(1, QColor(240, 230, 140, 0));
  P.setPen(Qt::NoPen);
  P.setBrush(g);
  P.drawEllipse(QPointF(7.5, 7.5), 3.5, 3.5);
}

// A blurred star, an arrow and the sharp star: the restorations, told apart
// by the initials of their method underneath.
void Restoration(QPainter& P, const QString& Method) {
  QRadialGradient g(QPointF(3.5, 4), 3.5);
  g.setColorAt(0, QColor(90, 110, 200));
  g.setColorAt(1, QColor(90, 110, 200, 0));
  P.setPen(Qt::NoPen);
  P.setBrush(g);
  P.drawEllipse(QPointF(3.5, 4), 3.5, 3.5);
  P.setPen(Pen(Ink));
  P.drawLine(QPointF(7, 4.5), QPointF(9.5, 4.5));
  QPainterPath head;
  head.moveTo(9, 2.5);
  head.lineTo(11, 4.5);
  head.lineTo(9, 6.5);
  P.setBrush(Ink);
  P.setPen(Qt::NoPen);
  P.drawPath(head);
  P.setPen(Pen(Blue, 1.0));
  P.drawLine(QPointF(13.5, 1), QPointF(13.5, 8));
  P.drawLine(QPointF(10, 4.5), QPointF(16, 4.5));
  P.setPen(Qt::NoPen);
  P.setBrush(Blue);
  P.drawEllipse(QPointF(13.5, 4.5), 1.5, 1.5);
  Text(P, Method, QRectF(0, 9, 16, 7), 8, Ink, true, Qt::AlignHCenter | Qt::AlignBottom);
}

// An aperture: the star in its circle and the dashed sky annulus.
void Aperture(QPainter& P, QPointF C, qreal R) {
  P.setBrush(Qt::NoBrush);
  QPen dash = Pen(Green, 1.0);
  dash.setDashPattern({1.5, 1.5});
  P.setPen(dash);
  P.drawEllipse(C, R, R);
  P.setPen(Pen(Green, 1.2));
  P.drawEllipse(C, R * 0.55, R * 0.55);
  P.setPen(Qt::NoPen);
  P.setBrush(Ink);
  P.drawEllipse(C, R * 0.22, R * 0.22);
}

// Frames one behind the other, each parted from the next by a light gap
// (so the disabled silhouette still shows them apart).
void Stack(QPainter& P, int Count, bool Light = false) {
  for (int i = 0; i < Count; ++i) {
    const qreal o = 1.5 + 2.5 * i;
    const QRectF r(o - 1, o - 1, 9, 8);
    if (i > 0) {
      P.setPen(Pen(Paper, 1.0));
      P.setBrush(Qt::NoBrush);
      P.drawRect(r.adjusted(-1, -1, 1, 1));
    }
    if (Light) Box(P, r, Paper, PaperEdge);
    else Picture(P, r, i == Count - 1);
  }
}

using TDraw = std::function<void(QPainter&)>;

const std::map<QString, TDraw>& Drawings() {
  static const std::map<QString, TDraw> table = {
      // ---- Standard ----
      {"FileOpen",
       [](QPainter& P) {
         QPainterPath back;
         back.moveTo(1.5, 13.5);
         back.lineTo(1.5, 2.5);
         back.lineTo(5.5, 2.5);
         back.lineTo(7, 4.5);
         back.lineTo(12.5, 4.5);
         back.lineTo(12.5, 7);
         P.setPen(Pen(FolderEdge));
         P.setBrush(Folder.darker(115));
         P.drawPath(back);
         QPainterPath front;
         front.moveTo(1.5, 13.5);
         front.lineTo(4, 7.5);
         front.lineTo(15.5, 7.5);
         front.lineTo(12.5, 13.5);
         front.closeSubpath();
         P.setBrush(Folder);
         P.drawPath(front);
       }},
      {"FileSaveAs",
       [](QPainter& P) {
         QPainterPath disk;
         disk.moveTo(1.5, 1.5);
         disk.lineTo(12.5, 1.5);
         disk.lineTo(14.5, 3.5);
         disk.lineTo(14.5, 14.5);
         disk.lineTo(1.5, 14.5);
         disk.closeSubpath();
         P.setPen(Pen(QColor(20, 50, 120)));
         P.setBrush(Blue);
         P.drawPath(disk);
         Box(P, QRectF(4.5, 1.5, 7, 4), QColor(215, 220, 230), QColor(20, 50, 120));
         P.fillRect(QRectF(9, 2.5, 1.5, 2), QColor(20, 50, 120));
         Box(P, QRectF(3.5, 8.5, 9, 6), Paper, QColor(20, 50, 120));
         P.setPen(Pen(QColor(150, 165, 190)));
         P.drawLine(QPointF(5, 10.5), QPointF(11, 10.5));
         P.drawLine(QPointF(5, 12.5), QPointF(11, 12.5));
       }},
      {"FilePrint",
       [](QPainter& P) {
         Box(P, QRectF(4.5, 1.5, 7, 5), Paper, PaperEdge);
         QPainterPath body;
         body.addRoundedRect(QRectF(1.5, 5.5, 13, 6), 1.5, 1.5);
         P.setPen(Pen(QColor(60, 60, 65)));
         P.setBrush(QColor(175, 178, 185));
         P.drawPath(body);
         Box(P, QRectF(4.5, 9.5, 7, 5), Paper, PaperEdge);
         P.setPen(Pen(QColor(150, 165, 190)));
         P.drawLine(QPointF(6, 11.5), QPointF(10, 11.5));
         P.drawLine(QPointF(6, 13), QPointF(10, 13));
         P.setPen(Qt::NoPen);
         P.setBrush(Green);
         P.drawRect(QRectF(12, 7, 1.5, 1.5));
       }},
      {"EditPaste",
       [](QPainter& P) {
         Box(P, QRectF(1.5, 2.5, 10, 12), QColor(190, 140, 80), QColor(110, 70, 25));
         Box(P, QRectF(4.5, 1.5, 4, 3), QColor(200, 200, 205), QColor(80, 80, 85));
         Page(P, 6.5, 6.5, 14.5, 15.5);
       }},
      {"EditCopy",
       [](QPainter& P) {
         Page(P, 1.5, 0.5, 9.5, 10.5);
         Page(P, 6.5, 5.5, 14.5, 15.5);
       }},
      {"ViewZoom",
       [](QPainter& P) {
         QPen handle = Pen(QColor(70, 50, 30), 3.0);
         handle.setCapStyle(Qt::RoundCap);
         P.setPen(handle);
         P.drawLine(QPointF(10.5, 10.5), QPointF(14, 14));
         P.setPen(Pen(Ink, 1.6));
         P.setBrush(LightBlue);
         P.drawEllipse(QPointF(6.5, 6.5), 4.8, 4.8);
         P.setPen(Pen(Paper, 1.2));
         P.drawArc(QRectF(3.5, 3.5, 6, 6), 100 * 16, 70 * 16);
       }},
      {"EditDeleteAnnotation",
       [](QPainter& P) {
         LetterA(P);
         CrossBadge(P);
       }},
      {"EditAddAnnotation",
       [](QPainter& P) {
         LetterA(P);
         PlusBadge(P);
       }},
      {"EditEditAnnotation",
       [](QPainter& P) {
         LetterA(P);
         Pencil(P, QPointF(7.5, 15.5));
       }},
      {"EditDeleteMarker",
       [](QPainter& P) {
         Marker(P);
         CrossBadge(P);
       }},
      {"EditAddMarker",
       [](QPainter& P) {
         Marker(P);
         PlusBadge(P);
       }},
      {"HelpContents",
       [](QPainter& P) {
         P.setPen(Pen(QColor(20, 60, 140)));
         P.setBrush(Blue);
         P.drawEllipse(QPointF(8, 8), 7, 7);
         Text(P, QStringLiteral("?"), QRectF(1, 1, 14, 14), 12, Paper);
       }},
      {"FileNew",
       [](QPainter& P) {
         Page(P, 2.5, 1.5, 12.5, 15.5, false);
         Star(P, QPointF(12, 4), 3.6);
       }},
      // ---- Processing ----
      {"ProcessRotate",
       [](QPainter& P) {
         P.save();
         P.translate(8, 8);
         P.rotate(-20);
         Picture(P, QRectF(-3.5, -3.5, 7, 7));
         P.restore();
         QPen arc = Pen(Green, 1.6);
         P.setPen(arc);
         P.setBrush(Qt::NoBrush);
         P.drawArc(QRectF(1.5, 1.5, 13, 13), 110 * 16, 250 * 16);
         QPainterPath head;
         head.moveTo(3.3, -0.4);
         head.lineTo(7.7, 1.2);
         head.lineTo(3.6, 4.3);
         head.closeSubpath();
         P.setPen(Qt::NoPen);
         P.setBrush(Green);
         P.drawPath(head.translated(-0.5, 1));
       }},
      {"ProcessResample",
       [](QPainter& P) {
         QPen dash = Pen(PaperEdge);
         dash.setDashPattern({1, 1});
         P.setPen(dash);
         P.setBrush(Qt::NoBrush);
         P.drawRect(QRectF(0.5, 0.5, 15, 15));
         Picture(P, QRectF(0.5, 9.5, 6, 6), false);
         P.setPen(Pen(Blue, 1.6));
         P.drawLine(QPointF(6, 10), QPointF(12.5, 3.5));
         QPainterPath head;
         head.moveTo(14, 2);
         head.lineTo(14, 7.5);
         head.lineTo(8.5, 2);
         head.closeSubpath();
         P.setPen(Qt::NoPen);
         P.setBrush(Blue);
         P.drawPath(head);
       }},
      {"ProcessFFTCorrelation",
       [](QPainter& P) {
         Box(P, QRectF(0.5, 0.5, 10, 10), QColor(200, 215, 245), Blue);
         Box(P, QRectF(5.5, 5.5, 10, 10), QColor(245, 205, 205, 200), Red);
         QPainterPath wave;
         wave.moveTo(1, 8);
         for (qreal x = 1; x <= 15; x += 0.25) wave.lineTo(x, 8 - 3 * std::sin((x - 1) * M_PI / 3.5));
         Curve(P, wave, Ink, 1.4);
       }},
      {"ProcessRegisterImages",
       [](QPainter& P) {
         Box(P, QRectF(0.5, 0.5, 10, 10), QColor(200, 215, 245), Blue);
         Box(P, QRectF(5.5, 5.5, 10, 10), QColor(245, 205, 205, 200), Red);
         P.setPen(Pen(Ink, 1.4));
         P.drawLine(QPointF(1.5, 4), QPointF(6.5, 4));
         P.drawLine(QPointF(4, 1.5), QPointF(4, 6.5));
         P.drawLine(QPointF(9.5, 12), QPointF(14.5, 12));
         P.drawLine(QPointF(12, 9.5), QPointF(12, 14.5));
       }},
      {"ScaleColourBalance",
       [](QPainter& P) {
         const QColor colours[] = {Red, Green, Blue};
         const qreal knobs[] = {5, 10, 7};
         for (int i = 0; i < 3; ++i) {
           const qreal x = 3 + 5 * i;
           P.setPen(Pen(colours[i], 2.0));
           P.drawLine(QPointF(x, 1), QPointF(x, 15));
           P.setPen(Pen(Ink));
           P.setBrush(QColor(235, 235, 235));
           P.drawRect(QRectF(x - 2.5, knobs[i] - 1.5, 5, 3));
         }
       }},
      {"ProcessRGBCombine",
       [](QPainter& P) {
         P.setPen(Qt::NoPen);
         P.setCompositionMode(QPainter::CompositionMode_Plus);
         P.setBrush(QColor(255, 0, 0));
         P.drawEllipse(QPointF(8, 5.3), 4.6, 4.6);
         P.setBrush(QColor(0, 255, 0));
         P.drawEllipse(QPointF(5.3, 10.4), 4.6, 4.6);
         P.setBrush(QColor(0, 0, 255));
         P.drawEllipse(QPointF(10.7, 10.4), 4.6, 4.6);
         P.setCompositionMode(QPainter::CompositionMode_SourceOver);
         P.setPen(Pen(Paper, 0.8));
         P.setBrush(Qt::NoBrush);
         P.drawEllipse(QPointF(8, 5.3), 4.6, 4.6);
         P.drawEllipse(QPointF(5.3, 10.4), 4.6, 4.6);
         P.drawEllipse(QPointF(10.7, 10.4), 4.6, 4.6);
       }},
      {"ScaleHSI",
       [](QPainter& P) {
         QConicalGradient hue(QPointF(8, 8), 90);
         for (int i = 0; i <= 6; ++i) hue.setColorAt(i / 6.0, QColor::fromHsv((i * 60) % 360, 255, 255));
         P.setPen(Pen(QColor(60, 60, 60)));
         P.setBrush(hue);
         P.drawEllipse(QPointF(8, 8), 7, 7);
         QRadialGradient white(QPointF(8, 8), 5);
         white.setColorAt(0, QColor(255, 255, 255));
         white.setColorAt(0.5, QColor(255, 255, 255));
         white.setColorAt(1, QColor(255, 255, 255, 0));
         P.setPen(Qt::NoPen);
         P.setBrush(white);
         P.drawEllipse(QPointF(8, 8), 5, 5);
       }},
      {"ScalePseudoColour",
       [](QPainter& P) {
         QLinearGradient grey(0, 0, 16, 0);
         grey.setColorAt(0, Qt::black);
         grey.setColorAt(1, Qt::white);
         Box(P, QRectF(0.5, 1.5, 15, 5), Qt::black, Ink);
         P.fillRect(QRectF(1, 2, 14, 4), grey);
         QLinearGradient rainbow(0, 0, 16, 0);
         rainbow.setColorAt(0, QColor(40, 0, 160));
         rainbow.setColorAt(0.25, QColor(0, 120, 255));
         rainbow.setColorAt(0.5, QColor(0, 200, 60));
         rainbow.setColorAt(0.75, QColor(255, 220, 0));
         rainbow.setColorAt(1, QColor(230, 20, 20));
         Box(P, QRectF(0.5, 9.5, 15, 5), Qt::black, Ink);
         P.fillRect(QRectF(1, 10, 14, 4), rainbow);
         P.setPen(Pen(Ink));
         P.drawLine(QPointF(8, 6.5), QPointF(8, 9));
       }},
      {"ProcessImageMath",
       [](QPainter& P) {
         QPen pen = Pen(Ink, 1.6);
         P.setPen(pen);
         P.drawLine(QPointF(1, 4), QPointF(7, 4));  // plus
         P.drawLine(QPointF(4, 1), QPointF(4, 7));
         P.drawLine(QPointF(9, 4), QPointF(15, 4));  // minus
         P.drawLine(QPointF(1.8, 9.8), QPointF(6.2, 14.2));  // times
         P.drawLine(QPointF(6.2, 9.8), QPointF(1.8, 14.2));
         P.drawLine(QPointF(9, 12), QPointF(15, 12));  // divide
         P.setPen(Qt::NoPen);
         P.setBrush(Ink);
         P.drawEllipse(QPointF(12, 9.7), 1, 1);
         P.drawEllipse(QPointF(12, 14.3), 1, 1);
       }},
      {"ScaleGamma",
       [](QPainter& P) {
         Axes(P);
         QPainterPath c;
         c.moveTo(1.5, 14.5);
         c.cubicTo(2.5, 6, 7, 2.5, 15, 1.5);
         Curve(P, c, Orange);
         // A gamma with its loop, unlike a Y.
         QPainterPath g;
         g.moveTo(8, 7.5);
         g.cubicTo(10.5, 6.5, 11.5, 11, 12, 15);
         g.moveTo(15.5, 6.5);
         g.cubicTo(14, 9, 12, 12, 11.5, 15);
         Curve(P, g, Ink, 1.3);
         P.setPen(Pen(Ink, 1.0));
         P.setBrush(Qt::NoBrush);
         P.drawEllipse(QPointF(11.8, 14.6), 1.0, 1.0);
       }},
      {"ScaleBriCon",
       [](QPainter& P) {
         P.setPen(Pen(Orange, 1.4));
         for (int i = 0; i < 8; ++i) {
           const qreal a = i * M_PI / 4;
           P.drawLine(QPointF(8 + 5.2 * std::cos(a), 8 + 5.2 * std::sin(a)),
                      QPointF(8 + 7.5 * std::cos(a), 8 + 7.5 * std::sin(a)));
         }
         P.setPen(Pen(Ink));
         P.setBrush(Paper);
         P.drawEllipse(QPointF(8, 8), 4, 4);
         QPainterPath half;
         half.moveTo(8, 4);
         half.arcTo(QRectF(4, 4, 8, 8), 90, -180);
         half.closeSubpath();
         P.setPen(Qt::NoPen);
         P.setBrush(Ink);
         P.drawPath(half);
       }},
      {"ScaleDDP",
       [](QPainter& P) {
         // A film strip: development of a picture.
         Box(P, QRectF(0.5, 2.5, 15, 11), QColor(40, 30, 25), QColor(20, 15, 10));
         P.setPen(Qt::NoPen);
         P.setBrush(QColor(235, 225, 200));
         for (int i = 0; i < 5; ++i) {
           P.drawRect(QRectF(1.5 + 3 * i, 3.5, 1.5, 1.5));
           P.drawRect(QRectF(1.5 + 3 * i, 11, 1.5, 1.5));
         }
         P.setBrush(QColor(120, 150, 210));
         P.drawRect(QRectF(3, 6, 10, 4));
         P.setBrush(Paper);
         P.drawEllipse(QPointF(8, 8), 1.3, 1.3);
       }},
      {"ScaleLog",
       [](QPainter& P) {
         Axes(P);
         QPainterPath c;
         c.moveTo(1.5, 14.5);
         for (qreal x = 0; x <= 1.0001; x += 0.05)
           c.lineTo(1.5 + 13.5 * x, 14.5 - 13 * std::log(1 + 40 * x) / std::log(41.0));
         Curve(P, c, Green);
         Text(P, QStringLiteral("log"), QRectF(5, 8, 11, 6), 7, Ink);
       }},
      {"ScaleLinear",
       [](QPainter& P) {
         Axes(P);
         QPainterPath c;
         c.moveTo(1.5, 14);
         c.lineTo(4.5, 14);
         c.lineTo(11.5, 2.5);
         c.lineTo(15, 2.5);
         Curve(P, c, Blue);
       }},
      {"RestorationMaxEntropy", [](QPainter& P) { Restoration(P, QStringLiteral("ME")); }},
      {"RestorationLucyRichardson", [](QPainter& P) { Restoration(P, QStringLiteral("LR")); }},
      {"ProcessCrop",
       [](QPainter& P) {
         QPen pen = Pen(Ink, 2.0);
         P.setPen(pen);
         P.setBrush(Qt::NoBrush);
         QPainterPath a;
         a.moveTo(4, 0.5);
         a.lineTo(4, 12);
         a.lineTo(15.5, 12);
         P.drawPath(a);
         QPainterPath b;
         b.moveTo(0.5, 4);
         b.lineTo(12, 4);
         b.lineTo(12, 15.5);
         P.drawPath(b);
       }},
      {"RestorationVanCittert", [](QPainter& P) { Restoration(P, QStringLiteral("VC")); }},
      {"ProcessCalibrate",
       [](QPainter& P) {
         // A gauge: its needle on the mark.
         QPainterPath dial;
         dial.moveTo(1, 12.5);
         dial.arcTo(QRectF(1, 5.5, 14, 14), 180, -180);
         dial.closeSubpath();
         P.setPen(Pen(Ink));
         P.setBrush(QColor(235, 240, 245));
         P.drawPath(dial);
         P.setPen(Pen(Ink, 1.0));
         for (int i = 0; i <= 4; ++i) {
           const qreal a = M_PI - i * M_PI / 4;
           P.drawLine(QPointF(8 + 5.5 * std::cos(a), 12.5 - 5.5 * std::sin(a)),
                      QPointF(8 + 7 * std::cos(a), 12.5 - 7 * std::sin(a)));
         }
         P.setPen(Pen(Red, 1.6));
         P.drawLine(QPointF(8, 12.5), QPointF(11.5, 7.5));
         P.setPen(Qt::NoPen);
         P.setBrush(Ink);
         P.drawEllipse(QPointF(8, 12.5), 1.5, 1.5);
       }},
      {"ProcessCombine", [](QPainter& P) { Stack(P, 3); }},
      {"FilterFFT",
       [](QPainter& P) {
         Spectrum(P);
         P.setPen(Pen(QColor(150, 245, 170), 1.4));
         P.setBrush(Qt::NoBrush);
         P.drawEllipse(QPointF(7.5, 7.5), 4.6, 4.6);
       }},
      {"FilterEditFFT",
       [](QPainter& P) {
         Spectrum(P);
         Pencil(P, QPointF(6.5, 15.5));
       }},
      // ---- Statistics ----
      {"StatisticsAreaStats",
       [](QPainter& P) {
         Marquee(P, QRectF(0.5, 0.5, 15, 15));
         Sigma(P, QRectF(4.5, 3.5, 7, 9), Ink);
       }},
      {"StatisticsImageHisto",
       [](QPainter& P) {
         Picture(P, QRectF(0.5, 0.5, 15, 15), false);
         Bars(P, QRectF(2.5, 3, 11, 10.5), QColor(250, 220, 120));
       }},
      {"StatisticsAreaHisto",
       [](QPainter& P) {
         Marquee(P, QRectF(0.5, 0.5, 15, 15));
         Bars(P, QRectF(2.5, 3, 11, 10.5), Blue);
       }},
      {"StatisticsImageStats",
       [](QPainter& P) {
         Picture(P, QRectF(0.5, 0.5, 15, 15), false);
         Sigma(P, QRectF(4.5, 3.5, 7, 9), QColor(250, 220, 120));
       }},
      {"StatisticsLinePlot",
       [](QPainter& P) {
         Axes(P);
         QPainterPath c;
         const qreal ys[] = {11, 9, 10, 6, 8, 3, 7, 5, 9, 8};
         c.moveTo(2.5, 12);
         for (int i = 0; i < 10; ++i) c.lineTo(3.5 + 1.25 * i, ys[i]);
         Curve(P, c, Blue, 1.3);
       }},
      {"StatisticsRadialPplot",
       [](QPainter& P) {
         Axes(P);
         QPainterPath c;
         for (qreal x = 2; x <= 15.01; x += 0.25) {
           const qreal y = 14 - 12 * std::exp(-(x - 8.5) * (x - 8.5) / 6);
           if (x == 2) c.moveTo(x, y);
           else c.lineTo(x, y);
         }
         Curve(P, c, Blue, 1.4);
         // The full width at half maximum.
         P.setPen(Pen(Red, 1.0));
         P.drawLine(QPointF(5.8, 8), QPointF(11.2, 8));
         QPainterPath heads;
         heads.moveTo(5, 8);
         heads.lineTo(7, 6.5);
         heads.lineTo(7, 9.5);
         heads.closeSubpath();
         heads.moveTo(12, 8);
         heads.lineTo(10, 6.5);
         heads.lineTo(10, 9.5);
         heads.closeSubpath();
         P.setPen(Qt::NoPen);
         P.setBrush(Red);
         P.drawPath(heads);
       }},
      {"Statistics3DVisu",
       [](QPainter& P) {
         // A surface seen from above at an angle, with a peak in its middle.
         auto at = [](qreal i, qreal j) {
           const qreal h = 6.5 * std::exp(-((i - 1.5) * (i - 1.5) + (j - 1.5) * (j - 1.5)) / 1.1);
           return QPointF(8 + (i - j) * 2.4, 11.5 + (i + j - 3) * 1.45 - h);
         };
         for (int k = 0; k <= 3; ++k) {
           QPainterPath a, b;
           a.moveTo(at(k, 0));
           b.moveTo(at(0, k));
           for (qreal t = 0.25; t <= 3.001; t += 0.25) {
             a.lineTo(at(k, t));
             b.lineTo(at(t, k));
           }
           Curve(P, a, Green, 1.1);
           Curve(P, b, Blue, 1.1);
         }
       }},
      {"PhotometryCalcMag",
       [](QPainter& P) {
         Star(P, QPointF(4.5, 4.5), 4.2);
         Text(P, QString(QChar(0x0394)) + QLatin1Char('m'), QRectF(3, 8, 13, 8), 8, Ink, true,
              Qt::AlignRight | Qt::AlignBottom);
       }},
      {"PhotometryMultiImage",
       [](QPainter& P) {
         Stack(P, 2, true);
         P.setPen(Qt::NoPen);
         P.setBrush(Paper);
         P.drawEllipse(QPointF(10.5, 10.5), 5.2, 5.2);
         Aperture(P, QPointF(10.5, 10.5), 4.8);
       }},
      {"PhotometryAddApature",
       [](QPainter& P) {
         Aperture(P, QPointF(6.5, 6.5), 6);
         PlusBadge(P);
       }},
      {"PhotometryCalcAbsMag",
       [](QPainter& P) {
         Star(P, QPointF(4.5, 4.5), 4.2);
         Text(P, QStringLiteral("m"), QRectF(3, 8, 12, 8), 9, Ink, true, Qt::AlignRight | Qt::AlignBottom);
       }},
      {"PhotometrySetRef",
       [](QPainter& P) {
         // The comparison star: marked with a flag.
         Star(P, QPointF(6, 9.5), 5.5);
         P.setPen(Pen(Ink, 1.0));
         P.drawLine(QPointF(11.5, 1), QPointF(11.5, 12));
         QPainterPath flag;
         flag.moveTo(12, 1);
         flag.lineTo(16, 3);
         flag.lineTo(12, 5);
         flag.closeSubpath();
         P.setPen(Qt::NoPen);
         P.setBrush(Red);
         P.drawPath(flag);
       }},
      {"StatisticsContour",
       [](QPainter& P) {
         P.setBrush(Qt::NoBrush);
         const QColor shades[] = {QColor(60, 130, 60), QColor(150, 120, 40), QColor(170, 60, 30)};
         const QRectF rings[] = {QRectF(0.5, 1.5, 15, 13), QRectF(3, 3.5, 9.5, 8.5), QRectF(5.5, 5, 4.5, 4)};
         for (int i = 0; i < 3; ++i) {
           P.setPen(Pen(shades[i], 1.2));
           P.drawEllipse(rings[i]);
         }
       }},
  };
  return table;
}

const std::map<QString, QString>& ThemeNames() {
  static const std::map<QString, QString> names = {
      {"FileOpen", "document-open"},   {"FileSaveAs", "document-save-as"}, {"FilePrint", "document-print"},
      {"EditCopy", "edit-copy"},       {"EditPaste", "edit-paste"},        {"ViewZoom", "zoom-in"},
      {"HelpContents", "help-contents"}, {"FileNew", "document-new"},
  };
  return names;
}

}  // namespace

QStringList CommandGlyphNames() {
  QStringList out;
  for (const auto& [name, draw] : Drawings()) out << name;
  return out;
}

bool HasCommandGlyph(const QString& ActionName) { return Drawings().count(ActionName) != 0; }

QString CommandThemeIconName(const QString& ActionName) {
  const auto it = ThemeNames().find(ActionName);
  return it == ThemeNames().end() ? QString() : it->second;
}

void PaintCommandGlyph(QPainter& Painter, const QString& ActionName) {
  const auto it = Drawings().find(ActionName);
  if (it == Drawings().end()) return;
  Painter.save();
  Painter.setRenderHint(QPainter::Antialiasing);
  it->second(Painter);
  Painter.restore();
}

QPixmap DrawnCommandGlyph(const QString& ActionName, qreal DevicePixelRatio) {
  const int side = int(std::ceil(16 * DevicePixelRatio));
  QPixmap pm(side, side);
  pm.setDevicePixelRatio(DevicePixelRatio);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  PaintCommandGlyph(p, ActionName);
  return pm;
}

QPixmap CommandGlyph(const QString& ActionName, qreal DevicePixelRatio) {
  const QString theme = CommandThemeIconName(ActionName);
  if (!theme.isEmpty() && QIcon::hasThemeIcon(theme)) {
    QPixmap pm = QIcon::fromTheme(theme).pixmap(QSize(16, 16), DevicePixelRatio);
    if (!pm.isNull()) {
      // Themes without the size scale another; the button wants 16 x 16.
      const int side = int(std::ceil(16 * DevicePixelRatio));
      if (pm.size() != QSize(side, side)) {
        pm = pm.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        pm.setDevicePixelRatio(DevicePixelRatio);
      }
      return pm;
    }
  }
  return DrawnCommandGlyph(ActionName, DevicePixelRatio);
}

namespace {
// Draws the pictogram when a menu asks for it, at the size asked: nothing is
// drawn at start-up, and no size is scaled from another. Large antialiased
// drawings would also wait on the toolkit's thread pool, which may have no
// thread to give (a user at the limit of processes).
class TGlyphIconEngine : public QIconEngine {
 public:
  explicit TGlyphIconEngine(const QString& ActionName) : FName(ActionName) {}
  QIconEngine* clone() const override { return new TGlyphIconEngine(FName); }
  QString key() const override { return QStringLiteral("CorvelleGlyph"); }
  QSize actualSize(const QSize& Size, QIcon::Mode, QIcon::State) override {
    const int side = std::min(Size.width(), Size.height());
    return QSize(side, side);
  }
  void paint(QPainter* Painter, const QRect& Rect, QIcon::Mode Mode, QIcon::State State) override {
    const qreal ratio = Painter->device() ? Painter->device()->devicePixelRatioF() : 1.0;
    const QSize side = actualSize(Rect.size(), Mode, State);
    QPixmap pm = pixmap(side * ratio, Mode, State);
    pm.setDevicePixelRatio(ratio);
    const QRect target(Rect.x() + (Rect.width() - side.width()) / 2, Rect.y() + (Rect.height() - side.height()) / 2,
                       side.width(), side.height());
    Painter->drawPixmap(target, pm);
  }
  QPixmap pixmap(const QSize& Size, QIcon::Mode Mode, QIcon::State State) override {
    const QSize side = actualSize(Size, Mode, State);
    if (side.isEmpty()) return QPixmap();
    QPixmap pm = DrawnCommandGlyph(FName, side.width() / 16.0);
    pm.setDevicePixelRatio(1);
    if (Mode == QIcon::Disabled || Mode == QIcon::Selected) {
      QStyleOption option;
      option.palette = QApplication::palette();
      const QPixmap generated = QApplication::style()->generatedIconPixmap(Mode, pm, &option);
      if (!generated.isNull()) pm = generated;
    }
    return pm;
  }

 private:
  QString FName;
};
}  // namespace

QIcon CommandIcon(const QString& ActionName) {
  if (!HasCommandGlyph(ActionName)) return QIcon();
  const QIcon drawn(new TGlyphIconEngine(ActionName));
  const QString theme = CommandThemeIconName(ActionName);
  return theme.isEmpty() ? drawn : QIcon::fromTheme(theme, drawn);
}
