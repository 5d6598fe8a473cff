// The picture readers and writers as the window glue uses them: Photo CD and
// TIFF files through the open dispatch (refusals in a box, no window), and
// the picture writers taking the display at 100 % with annotations and markers.
#include <QFile>
#include <QFont>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <vector>

#include "AppTestUtil.h"
#include "app/FileManager.h"
#include "app/Utilities.h"
#include "formats/TIFFex.h"

namespace {

// A Photo CD pack of constant planes.
QByteArray PhotoCD(std::uint8_t Orientation, std::uint8_t Y, std::uint8_t C1, std::uint8_t C2) {
  QByteArray f(196608 + 256 * 2304, '\0');
  std::memcpy(f.data() + 2048, "PCD_IPI", 7);
  f[194635] = char(Orientation);
  for (int g = 0; g < 256; ++g) {
    char* p = f.data() + 196608 + 2304 * g;
    std::memset(p, Y, 1536);
    std::memset(p + 1536, C1, 384);
    std::memset(p + 1920, C2, 384);
  }
  return f;
}

// A little-endian 2 x 1 grey TIFF with the given compression and width.
QByteArray SmallTIFF(std::uint16_t Compression, std::uint16_t Width) {
  std::vector<std::uint8_t> f = {'I', 'I', 42, 0, 10, 0, 0, 0, 7, 9};
  const std::uint16_t entries[][2] = {{256, Width}, {257, 1}, {258, 8}, {259, Compression}, {262, 1}, {273, 8}};
  f.push_back(6);
  f.push_back(0);
  for (const auto& e : entries) {
    const std::uint8_t bytes[12] = {std::uint8_t(e[0]), std::uint8_t(e[0] >> 8), 3, 0, 1, 0, 0, 0,
                                    std::uint8_t(e[1]), std::uint8_t(e[1] >> 8), 0, 0};
    f.insert(f.end(), bytes, bytes + 12);
  }
  f.insert(f.end(), 4, 0);
  return QByteArray(reinterpret_cast<const char*>(f.data()), qsizetype(f.size()));
}

}  // namespace

class PictureFiles : public AppTest {
 protected:
  QString Write(const QString& Name, const QByteArray& Bytes) {
    QFile f(Dir.filePath(Name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(Bytes);
    return f.fileName();
  }
  int Opened(const QString& Name) {
    const int before = WindowCount();
    OpenImageFile(Name);
    return WindowCount() - before;
  }
  QTemporaryDir Dir;
};

TEST_F(PictureFiles, PhotoCDOpensInAColourWindowOrShowsItsMessage) {
  // Y = 188 with neutral chroma is white (1.3584 x 188 = 255.38, clamped); code 1 turns the picture.
  ASSERT_EQ(Opened(Write(QStringLiteral("turned.pcd"), PhotoCD(5, 188, 156, 137))), 1);
  TChildForm* child = Form->ActiveMDIChild();
  EXPECT_EQ(child->Caption(), QStringLiteral("turned.pcd"));
  EXPECT_EQ(child->DataImage->Width, 512);
  EXPECT_EQ(child->DataImage->Height, 768);
  EXPECT_TRUE(child->DataImage->IsColour);
  EXPECT_FALSE(child->Modified);
  EXPECT_EQ(child->DataImage->BlackPoint, 0.0f);
  EXPECT_EQ(child->DataImage->WhitePoint, 255.0f);
  TRGBPixel p;
  child->DataImage->GetRGB(300, 700, p);
  EXPECT_EQ((std::array<int, 3>{p.Red, p.Green, p.Blue}), (std::array<int, 3>{255, 255, 255}));
  EXPECT_TRUE(Boxes.empty());

  QByteArray wrong = PhotoCD(0, 100, 156, 137);
  wrong[2048 + 4] = 'X';
  EXPECT_EQ(Opened(Write(QStringLiteral("wrong.PCD"), wrong)), 0);
  EXPECT_EQ(Opened(Write(QStringLiteral("short.pcd"), PhotoCD(0, 100, 156, 137).left(300000))), 0);
  ASSERT_EQ(Boxes.size(), 2u);
  for (const TBoxRecord& b : Boxes) {
    EXPECT_EQ(b.Type, TMsgDlgType::mtError);
    EXPECT_EQ(b.Text, QStringLiteral("The PCD file is invalid."));
  }
}

TEST_F(PictureFiles, TIFFRefusalsShowTheirTextAndOpenNoWindow) {
  ASSERT_EQ(Opened(Write(QStringLiteral("ok.tif"), SmallTIFF(1, 2))), 1);
  TRGBPixel p;
  Form->ActiveMDIChild()->DataImage->GetRGB(1, 0, p);
  EXPECT_EQ(p.Green, 9);
  const struct {
    const char* Name;
    QByteArray Bytes;
    const char* Text;
  } cases[] = {
      {"lzw.tif", SmallTIFF(5, 2), "Corvelle Image does not support compressed (LZW) TIFF files."},
      {"packbits.TIFF", SmallTIFF(32773, 2), "Corvelle Image does not support compressed (Packbits) TIFF files."},
      {"zero.tif", SmallTIFF(1, 0), "The TIFF file is invalid"},
      {"cut.tif", SmallTIFF(1, 2).left(20), "The TIFF file is invalid."},
  };
  for (const auto& c : cases) {
    Boxes.clear();
    EXPECT_EQ(Opened(Write(QString::fromLatin1(c.Name), c.Bytes)), 0) << c.Name;
    ASSERT_EQ(Boxes.size(), 1u) << c.Name;
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(Boxes[0].Text, QString::fromLatin1(c.Text));
  }
  // A file that cannot be read gives the runtime's text.
  Boxes.clear();
  EXPECT_EQ(Opened(Dir.filePath(QStringLiteral("missing.tif"))), 0);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_TRUE(Boxes[0].Text.startsWith(QStringLiteral("Cannot open file"))) << Boxes[0].Text.toStdString();
}

TEST_F(PictureFiles, WrittenPicturesAreTheDisplayAtFullSizeWithAnnotationsAndMarkers) {
  // A grey 16-bit window with a display range narrower than its data, an
  // annotation and a marker, shown at 50 %.
  TChildForm* grey = GreyWindow(60, 40, 1, [](int x, int y) { return float(x * 1000 + y * 10); });
  grey->DataImage->BlackPoint = 10000.0f;
  grey->DataImage->WhitePoint = 40000.0f;
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(14);
  ASSERT_TRUE(grey->ImageOverlay->AddAnnotation(30, 5, QStringLiteral("M"), font, 0x0000FF));  // red
  ASSERT_TRUE(grey->ImageOverlay->AddMarker(5.0f, 30.0f));
  grey->UpdateImage();
  grey->SetZoom(50.0f);
  grey->UpdateImage();
  Form->MDIArea()->setActiveSubWindow(grey);

  const QString tif = Dir.filePath(QStringLiteral("shown.tif"));
  ASSERT_TRUE(SaveImageFile(tif, grey));
  EXPECT_EQ(grey->ImageDisplay->Zoom, 50.0f);
  TDataImage file;
  ReadTIFFImage(tif.toStdString(), file);
  ASSERT_EQ(file.Width, 60);
  ASSERT_EQ(file.Height, 40);

  // What the window shows at 100 %, taken independently of the writer.
  grey->SetZoom(100.0f);
  grey->UpdateImage();
  const QImage shown = GetRenderedBitmap(grey);
  ASSERT_EQ(shown.size(), QSize(60, 40));
  int differ = 0, red = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 60; ++x) {
      TRGBPixel p;
      file.GetRGB(x, y, p);
      const QColor c = shown.pixelColor(x, y);
      differ += c != QColor(p.Red, p.Green, p.Blue);
      red += p.Red > 200 && p.Green < 60 && p.Blue < 60;
    }
  EXPECT_EQ(differ, 0);
  EXPECT_GT(red, 5);  // the annotation's letter is drawn in
  TRGBPixel p;
  file.GetRGB(2, 0, p);  // 2010, below the black point
  EXPECT_EQ((std::array<int, 3>{p.Red, p.Green, p.Blue}), (std::array<int, 3>{0, 0, 0}));
  file.GetRGB(50, 0, p);  // 50000, above the white point
  EXPECT_EQ((std::array<int, 3>{p.Red, p.Green, p.Blue}), (std::array<int, 3>{255, 255, 255}));
  file.GetRGB(25, 0, p);  // 25000: Round(15000 x 255 / 30000) = 128 (127.5 to even)
  EXPECT_EQ(p.Green, 128);
  EXPECT_EQ(p.Red, p.Blue);
  file.GetRGB(5, 30, p);  // the marker, white, over a pixel the display shows black
  EXPECT_EQ(p.Green, 255);
}

TEST_F(PictureFiles, APictureThatCannotBeRenderedIsNotSaved) {
  // A window without an image has no picture to take.
  auto* empty = new TChildForm;
  empty->SetCaption(QStringLiteral("Empty"));
  Form->MDIArea()->setActiveSubWindow(empty);
  for (const char* n : {"e.tif", "e.bmp", "e.jpg"}) {
    Boxes.clear();
    Errors.clear();
    const QString name = Dir.filePath(QString::fromLatin1(n));
    EXPECT_FALSE(SaveImageFile(name, empty)) << n;
    EXPECT_FALSE(QFile::exists(name)) << n;
    EXPECT_EQ(std::count(Errors.begin(), Errors.end(), errGetRenderedBitmap), 1) << n;
    ASSERT_FALSE(Boxes.empty()) << n;
    EXPECT_EQ(Boxes.back().Type, TMsgDlgType::mtError);
    EXPECT_EQ(Boxes.back().Text, QStringLiteral("An error saving this file.")) << n;
  }
}
