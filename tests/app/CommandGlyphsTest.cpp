// The toolbar pictograms: one of its own for each toolbar command, sharp at
// 100 % and 200 %, the icon theme's where it has one, and the same pictures
// beside the commands in the menus.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QTemporaryDir>
#include <memory>

#include "app/CommandGlyphs.h"
#include "app/Main.h"
#include "toolbars/DockButtons.h"
#include "toolbars/DockToolbar.h"

namespace {

int Opaque(const QImage& Image) {
  int n = 0;
  for (int y = 0; y < Image.height(); ++y)
    for (int x = 0; x < Image.width(); ++x) n += qAlpha(Image.pixel(x, y)) > 128;
  return n;
}

// An icon theme of our own with one red icon, installed for the test's
// lifetime in place of the desktop's.
struct TFakeTheme {
  QTemporaryDir Dir;
  QStringList OldPaths = QIcon::themeSearchPaths();
  QString OldName = QIcon::themeName();
  explicit TFakeTheme(const QString& Icon) {
    QDir root(Dir.path());
    root.mkpath(QStringLiteral("Fake/16x16/actions"));
    QFile index(root.filePath(QStringLiteral("Fake/index.theme")));
    index.open(QIODevice::WriteOnly);
    index.write("[Icon Theme]\nName=Fake\nDirectories=16x16/actions\n\n[16x16/actions]\nSize=16\nType=Fixed\n");
    index.close();
    QImage red(16, 16, QImage::Format_ARGB32);
    red.fill(QColor(255, 0, 0));
    red.save(root.filePath(QStringLiteral("Fake/16x16/actions/") + Icon + QStringLiteral(".png")));
    QIcon::setThemeSearchPaths({Dir.path()});
    QIcon::setThemeName(QStringLiteral("Fake"));
  }
  ~TFakeTheme() {
    QIcon::setThemeSearchPaths(OldPaths);
    QIcon::setThemeName(OldName);
  }
};

}  // namespace

TEST(CommandGlyphsTest, EachToolbarCommandHasItsOwnSharpPictogram) {
  auto form = std::make_unique<TMainForm>();
  MainForm = form.get();
  QStringList commands;
  for (TToolbar* bar : {form->tbrMain, form->tbrProcessing, form->tbrStatistics})
    for (QWidget* w : bar->OrderList())
      if (auto* b = qobject_cast<TToolbarButton*>(w)) commands << b->Action()->objectName();
  ASSERT_EQ(commands.size(), 48);
  QStringList sorted = commands;
  sorted.sort();
  QStringList drawn = CommandGlyphNames();
  drawn.sort();
  EXPECT_EQ(drawn, sorted);

  std::vector<QImage> seen;
  for (const QString& name : commands) {
    SCOPED_TRACE(name.toStdString());
    const QPixmap one = DrawnCommandGlyph(name, 1);
    const QPixmap two = DrawnCommandGlyph(name, 2);
    EXPECT_EQ(one.size(), QSize(16, 16));
    EXPECT_EQ(two.size(), QSize(32, 32));
    EXPECT_EQ(two.deviceIndependentSize(), QSizeF(16, 16));
    const QImage a = one.toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage b = two.toImage().convertToFormat(QImage::Format_ARGB32);
    // A picture, not an empty square nor a plain tile.
    EXPECT_GT(Opaque(a), 30);
    QSet<QRgb> colours;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) colours.insert(a.pixel(x, y));
    EXPECT_GT(colours.size(), 2);
    // Drawn at 200 %, not the 100 % picture with its pixels doubled.
    QImage doubled = a.scaled(32, 32, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    doubled.setDevicePixelRatio(2);
    EXPECT_NE(b, doubled);
    // Both sizes show the same picture: the 200 % one halved is close to it.
    const QImage halved = b.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    int far = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) far += std::abs(qAlpha(halved.pixel(x, y)) - qAlpha(a.pixel(x, y))) > 128;
    EXPECT_LT(far, 16);
    for (const QImage& other : seen) EXPECT_NE(a, other);
    seen.push_back(a);
  }
  EXPECT_FALSE(HasCommandGlyph(QStringLiteral("FileExit")));

  // The buttons carry them at the program's device pixel ratio; the menus
  // show them beside the same commands and nothing beside the others.
  for (TToolbar* bar : {form->tbrMain, form->tbrProcessing, form->tbrStatistics})
    for (QWidget* w : bar->OrderList())
      if (auto* b = qobject_cast<TToolbarButton*>(w)) {
        EXPECT_EQ(b->GlyphObject().GlyphSize(), QSize(16, 16));
        EXPECT_FALSE(b->Action()->icon().isNull());
      }
  EXPECT_TRUE(form->Action(QStringLiteral("FileExit"))->icon().isNull());
  form.reset();
  MainForm = nullptr;
}

TEST(CommandGlyphsTest, TheIconThemeProvidesTheCommonCommandsWhereItHasThem) {
  const struct {
    const char* Action;
    const char* Theme;
  } common[] = {{"FileOpen", "document-open"}, {"FileSaveAs", "document-save-as"}, {"FilePrint", "document-print"},
                {"EditCopy", "edit-copy"},     {"EditPaste", "edit-paste"},        {"ViewZoom", "zoom-in"},
                {"HelpContents", "help-contents"}, {"FileNew", "document-new"}};
  for (const auto& c : common) {
    SCOPED_TRACE(c.Action);
    EXPECT_EQ(CommandThemeIconName(QString::fromLatin1(c.Action)), QString::fromLatin1(c.Theme));
    TFakeTheme theme(QString::fromLatin1(c.Theme));
    const QImage themed = CommandGlyph(QString::fromLatin1(c.Action), 2).toImage();
    EXPECT_EQ(themed.size(), QSize(32, 32));
    EXPECT_EQ(themed.pixelColor(16, 16), QColor(255, 0, 0));
    // A command the theme lacks keeps our drawing.
    const QString other = QString::fromLatin1(c.Action) == QLatin1String("FileOpen") ? QStringLiteral("FileNew")
                                                                                     : QStringLiteral("FileOpen");
    EXPECT_EQ(CommandGlyph(other, 1).toImage(), DrawnCommandGlyph(other, 1).toImage());
  }
  // Commands of our own never come from a theme.
  TFakeTheme theme(QStringLiteral("object-rotate-left"));
  EXPECT_TRUE(CommandThemeIconName(QStringLiteral("ProcessRotate")).isEmpty());
  EXPECT_EQ(CommandGlyph(QStringLiteral("ProcessRotate"), 1).toImage(),
            DrawnCommandGlyph(QStringLiteral("ProcessRotate"), 1).toImage());
}
