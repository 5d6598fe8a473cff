#pragma once
// The pictograms of the toolbar commands: each drawn in code on a 16 x 16
// grid, so it stays sharp at any device pixel ratio. The common commands take
// the desktop's icon theme where it has them.
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

class QPainter;

// The actions that have a pictogram (those of the three toolbars).
QStringList CommandGlyphNames();
bool HasCommandGlyph(const QString& ActionName);
// The freedesktop icon name a theme may provide for the action, or empty.
QString CommandThemeIconName(const QString& ActionName);
// Our own drawing on the 16 x 16 grid of the painter's coordinates.
void PaintCommandGlyph(QPainter& Painter, const QString& ActionName);
// Our own drawing as a 16 x 16 pixmap at the device pixel ratio.
QPixmap DrawnCommandGlyph(const QString& ActionName, qreal DevicePixelRatio);
// The toolbar glyph: the theme's icon where one is installed, else ours;
// 16 x 16 device-independent pixels at the device pixel ratio.
QPixmap CommandGlyph(const QString& ActionName, qreal DevicePixelRatio);
// The menu icon: the theme's, else ours at the sizes menus ask for.
QIcon CommandIcon(const QString& ActionName);
