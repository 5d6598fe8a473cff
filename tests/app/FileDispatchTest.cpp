#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "AppTestUtil.h"
#include "app/FileManager.h"
#include "app/MRUFList.h"
#include "formats/CodecMessage.h"
#include "platform/FileDialog.h"

namespace {
// Runs Debian's python (numpy, astropy, PIL) on a script; the test fails when it cannot.
bool Python(const QString& Script) {
  QProcess p;
  p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), Script});
  const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
  EXPECT_TRUE(ok) << "python3 failed: " << p.readAllStandardError().toStdString();
  return ok;
}

QString Q(const QString& S) { return QStringLiteral("'") + S + QStringLiteral("'"); }
}  // namespace

class FileDispatch : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    ASSERT_TRUE(Dir.isValid());
    PreviousDialog = TFileDialog::SetHook([this](TFileDialog& d) {
      ++DialogRuns;
      if (DialogFiles.isEmpty()) return false;
      d.Files = DialogFiles;
      d.FileName = DialogFiles.first();
      return true;
    });
  }
  void TearDown() override {
    TFileDialog::SetHook(PreviousDialog);
    JPEGOptionsDialog = nullptr;
    FITSOptionsDialog = nullptr;
    AppTest::TearDown();
  }
  QString File(const QString& Name) const { return Dir.filePath(Name); }
  int Opened(const QString& Name) {
    const int before = WindowCount();
    OpenImageFile(Name);
    return WindowCount() - before;
  }

  QTemporaryDir Dir;
  QStringList DialogFiles;
  int DialogRuns = 0;
  TFileDialog::THook PreviousDialog;
};

TEST(FileManager, ExtensionIsFromTheLastDotAfterTheFolder) {
  EXPECT_EQ(ExtractFileExt(QStringLiteral("/a/b/m42.fits")), QStringLiteral(".fits"));
  EXPECT_EQ(ExtractFileExt(QStringLiteral("/a/b/m42.fits.bak")), QStringLiteral(".bak"));
  EXPECT_EQ(ExtractFileExt(QStringLiteral("/a/b/.fits")), QStringLiteral(".fits"));
  EXPECT_EQ(ExtractFileExt(QStringLiteral("/a.dir/m42")), QString());
  EXPECT_EQ(ExtractFileExt(QStringLiteral("m42.")), QStringLiteral("."));
}

TEST(FileManager, DialogFiltersAsTheProgramGivesThem) {
  EXPECT_EQ(OpenDialogFilter(),
            QStringLiteral("All Supported Files|*.fts;*.fit;*.fits;*.st?;*.bmp;*.jpg;*.kvx;*.tif;*.tiff|FITS Files "
                           "(*.fts, *.fit, *.fits)|*.fts;*.fit;*.fits|SBIG Type-3 Files (*.st?)|*.st?|Windows Bitmap "
                           "Files (*.bmp)|*.bmp|JPEG Files (*.jpg)|*.jpg|Corvelle Image Files (*.kvx)|*.kvx|TIFF Files "
                           "(*.tif, *.tiff)|*.tif;*.tiff|Kodak PhotoCD Files (*.pcd)|*.pcd|All Files (*.*)|*.*"));
  EXPECT_EQ(SaveDialogFilter(),
            QStringLiteral("FITS files (*.fts)|*.fts|JPEG files (*.jpg)|*.jpg|TIFF files (*.tif)|*.tif|Bitmap files "
                           "(*.bmp)|*.bmp|Corvelle Image files (*.kvx)|*.kvx|All files (*.*)|*.*"));
  const QStringList qt = TFileDialog::QtFilters(OpenDialogFilter());
  ASSERT_EQ(qt.size(), 9);
  EXPECT_EQ(qt[1], QStringLiteral("FITS Files (*.fts, *.fit, *.fits) (*.fts *.fit *.fits)"));
  EXPECT_EQ(qt[8], QStringLiteral("All Files (*.*) (*)"));

  TFileDialog save(TFileDialog::TKind::Save);
  save.Filter = SaveDialogFilter();
  save.DefaultExt = QStringLiteral("*.fts");
  save.FilterIndex = 2;
  EXPECT_EQ(save.WithDefaultExtension(QStringLiteral("/x/m42")), QStringLiteral("/x/m42.jpg"));
  save.FilterIndex = 6;
  EXPECT_EQ(save.WithDefaultExtension(QStringLiteral("/x/m42")), QStringLiteral("/x/m42.fts"));
  EXPECT_EQ(save.WithDefaultExtension(QStringLiteral("/x.y/m42.tif")), QStringLiteral("/x.y/m42.tif"));
}

TEST(FileDialog, RealDialogShowsTheFilterNamesAndReportsTheChosenOne) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  TFileDialog save(TFileDialog::TKind::Save);
  save.Filter = SaveDialogFilter();
  save.DefaultExt = QStringLiteral("*.fts");
  save.InitialDir = dir.path();
  QStringList shown;
  QTimer::singleShot(0, [&] {
    QFileDialog* d = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* f = qobject_cast<QFileDialog*>(w); f && f->isVisible()) d = f;
    if (!d) {
      ADD_FAILURE() << "no file dialog";
      return;
    }
    if (auto* combo = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
      for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
    d->selectNameFilter(d->nameFilters().at(1));
    d->selectFile(dir.filePath(QStringLiteral("m42")));
    static_cast<QDialog*>(d)->accept();
  });
  // Never left hanging: whatever dialog is still open later is cancelled.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* f = qobject_cast<QFileDialog*>(w); f && f->isVisible()) f->reject();
  });
  guard.start(30000);
  ASSERT_TRUE(save.Execute());
  EXPECT_EQ(shown, (QStringList{QStringLiteral("FITS files (*.fts)"), QStringLiteral("JPEG files (*.jpg)"),
                                QStringLiteral("TIFF files (*.tif)"), QStringLiteral("Bitmap files (*.bmp)"),
                                QStringLiteral("Corvelle Image files (*.kvx)"), QStringLiteral("All files (*.*)")}));
  EXPECT_EQ(save.FilterIndex, 2);
  EXPECT_EQ(save.FileName, dir.filePath(QStringLiteral("m42.jpg")));
  EXPECT_EQ(TFileDialog::FilterPosition(SaveDialogFilter(), QStringLiteral("All files (*.*) (*)")), 6);
  EXPECT_EQ(TFileDialog::FilterPosition(SaveDialogFilter(), QStringLiteral("PNG files")), 0);
}

TEST_F(FileDispatch, OpensAFITSFileWrittenByAstropy) {
  const QString name = File(QStringLiteral("m42.Fits"));
  ASSERT_TRUE(Python(QStringLiteral("import numpy as np; from astropy.io import fits\n"
                                    "d = (np.arange(20, dtype=np.int32).reshape(4, 5) * 3000).astype(np.uint16)\n"
                                    "fits.PrimaryHDU(d).writeto(%1)")
                         .arg(Q(name))));
  ASSERT_EQ(Opened(name), 1);
  TChildForm* child = Form->ActiveMDIChild();
  EXPECT_EQ(child->Caption(), QStringLiteral("m42.Fits"));
  EXPECT_FALSE(child->Modified);
  EXPECT_EQ(Form->PanelText(1), QStringLiteral("5 x 4"));
  EXPECT_EQ(child->DataImage->DataType, 1);
  // Row 0 of the file is row 0 of the image; x fastest.
  EXPECT_EQ(child->DataImage->GetPixel(0, 0), 0.0f);
  EXPECT_EQ(child->DataImage->GetPixel(4, 0), 12000.0f);
  EXPECT_EQ(child->DataImage->GetPixel(0, 1), 15000.0f);
  EXPECT_EQ(child->DataImage->GetPixel(4, 3), 57000.0f);
  EXPECT_EQ(child->DataImage->BlackPoint, 0.0f);
  EXPECT_EQ(child->DataImage->WhitePoint, 57000.0f);
  EXPECT_FALSE(child->FITSHeader.empty());
  EXPECT_TRUE(Boxes.empty());
  // The read-out shows the data value.
  child->ImageOverlayMouseMove(Qt::NoModifier, 4, 3);
  EXPECT_EQ(Form->PanelText(3), QStringLiteral("I:57000.000"));
}

TEST_F(FileDispatch, OpensAKvxFileWithItsAnnotationAndMarkers) {
  const QString name = File(QStringLiteral("vega.kvx"));
  ASSERT_TRUE(Python(QStringLiteral("import sys; sys.path.insert(0, %1); import kvx_oracle; kvx_oracle.write(%2)")
                         .arg(Q(QStringLiteral(CORVELLE_SOURCE_DIR "/tests/oracles")), Q(name))));
  ASSERT_EQ(Opened(name), 1);
  TChildForm* child = Form->ActiveMDIChild();
  EXPECT_EQ(child->Caption(), QStringLiteral("vega.kvx"));
  EXPECT_EQ(Form->PanelText(1), QStringLiteral("3 x 2"));
  EXPECT_FALSE(child->Modified);
  EXPECT_EQ(child->DataImage->GetPixel(2, 0), -2.0f);
  EXPECT_EQ(child->DataImage->GetPixel(0, 1), 65535.0f);
  EXPECT_EQ(child->DataImage->BlackPoint, -2.0f);
  ASSERT_EQ(child->ImageOverlay->Annotations().size(), 1u);
  const TAnnotation& a = child->ImageOverlay->Annotations()[0];
  EXPECT_EQ(a.Text, QStringLiteral("Vega \u00e9"));
  EXPECT_EQ(a.X, -4);
  EXPECT_EQ(a.Y, 17);
  EXPECT_EQ(a.FontColour, 0x00336699u);
  EXPECT_TRUE(a.Font.bold());
  EXPECT_TRUE(a.Font.italic());
  EXPECT_EQ(a.Font.pixelSize(), 16);  // 12 points at 96 dots per inch
  ASSERT_EQ(child->ImageOverlay->Markers().size(), 2u);
  EXPECT_EQ(child->ImageOverlay->Markers()[1].X, -3.0f);
  EXPECT_EQ(child->ImageOverlay->Markers()[1].Y, 100.125f);
}

TEST_F(FileDispatch, OpensTIFFBitmapAndJPEGWrittenByPIL) {
  const QString tif = File(QStringLiteral("pic.tif")), bmp = File(QStringLiteral("pic.BMP")),
                jpg = File(QStringLiteral("pic.jpg"));
  ASSERT_TRUE(Python(QStringLiteral("import numpy as np; from PIL import Image\n"
                                    "a = np.zeros((6, 16, 3), np.uint8)\n"
                                    "for y in range(6):\n"
                                    "  for x in range(16): a[y, x] = (x * 16, y * 40, 255 - x * 8)\n"
                                    "im = Image.fromarray(a, 'RGB')\n"
                                    "im.save(%1); im.save(%2)\n"
                                    "b = np.zeros((16, 16, 3), np.uint8); b[:, :8] = (200, 30, 90); b[:, 8:] = (20, 180, 60)\n"
                                    "Image.fromarray(b, 'RGB').save(%3, quality=100, subsampling=0)")
                         .arg(Q(tif), Q(bmp), Q(jpg))));
  for (const QString& name : {tif, bmp}) {
    ASSERT_EQ(Opened(name), 1) << name.toStdString();
    TChildForm* child = Form->ActiveMDIChild();
    EXPECT_EQ(child->Caption(), QFileInfo(name).fileName());
    EXPECT_EQ(Form->PanelText(1), QStringLiteral("16 x 6"));
    EXPECT_TRUE(child->DataImage->IsColour);
    EXPECT_EQ(child->DataImage->WhitePoint, 255.0f);  // colour readers keep 0..255
    TRGBPixel p;
    child->DataImage->GetRGB(5, 2, p);
    EXPECT_EQ(p.Red, 80);
    EXPECT_EQ(p.Green, 80);
    EXPECT_EQ(p.Blue, 215);
    // What the user sees at 100 % is the file's picture.
    const QImage shown = child->ImageDisplay->Picture();
    EXPECT_EQ(shown.pixelColor(5, 2), QColor(80, 80, 215));
  }
  ASSERT_EQ(Opened(jpg), 1);
  TChildForm* child = Form->ActiveMDIChild();
  EXPECT_EQ(child->Caption(), QStringLiteral("pic.jpg"));
  EXPECT_FALSE(child->Modified);
  EXPECT_EQ(Form->PanelText(1), QStringLiteral("16 x 16"));
  EXPECT_EQ(child->DataImage->BlackPoint, 0.0f);
  EXPECT_EQ(child->DataImage->WhitePoint, 255.0f);
  TRGBPixel p;
  child->DataImage->GetRGB(2, 2, p);
  EXPECT_NEAR(p.Red, 200, 3);
  EXPECT_NEAR(p.Green, 30, 3);
  EXPECT_NEAR(p.Blue, 90, 3);
  child->DataImage->GetRGB(13, 13, p);
  EXPECT_NEAR(p.Red, 20, 3);
  EXPECT_NEAR(p.Green, 180, 3);
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(FileDispatch, BadFilesShowTheirMessageAndOpenNoWindow) {
  const struct {
    const char* Name;
    QByteArray Bytes;
    const char* Text;
  } cases[] = {
      {"bad.bmp", "BMnot a bitmap", "Error opening BMP file.  The file may not be in the correct format, or it may be corrupt."},
      {"bad.jpg", "\xff\xd8junk", "Error opening JPEG file.  The file may not be in the correct format, or it may be corrupt."},
      {"bad.tif", "XX*\0", "The TIFF file is invalid."},
      {"bad.kvx", "\x09", "Unrecognised file format.  This file may be corrupt."},
  };
  for (const auto& c : cases) {
    QFile f(File(QString::fromLatin1(c.Name)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(c.Bytes);
    f.close();
    Boxes.clear();
    EXPECT_EQ(Opened(f.fileName()), 0) << c.Name;
    ASSERT_EQ(Boxes.size(), 1u) << c.Name;
    EXPECT_EQ(Boxes[0].Text, QString::fromLatin1(c.Text));
  }
}

// File > Reopen of a file that is gone says so with its name, as Open does,
// for every reader; a file that is there and cannot be read is still called
// damaged. The entry keeps its place either way.
TEST_F(FileDispatch, ReopenOfAFileGoneSaysWhyAndKeepsTheEntry) {
  enum TKind { Deleted, LinkToNothing, Damaged };
  const QString gone = QStringLiteral("No such file or directory");
  const struct {
    const char* Name;
    TKind Kind;
  } cases[] = {
      {"m42.fts", Deleted},  {"m42.fit", LinkToNothing}, {"m42.FITS", Deleted}, {"frame.kvx", Deleted},
      {"dark.st7", Deleted}, {"track.ST4", LinkToNothing}, {"scan.tif", Deleted}, {"scan.tiff", LinkToNothing},
      {"pic.bmp", Deleted},  {"pic.jpg", LinkToNothing},  {"disc.pcd", Deleted},  {"bad.fts", Damaged},
  };
  const auto junk = [](const QString& Name) {
    QFile f(Name);
    return f.open(QIODevice::WriteOnly) && f.write("SIMPLE  = junk") == 14;
  };
  const QString other = File(QStringLiteral("other.fts"));
  ASSERT_TRUE(junk(other));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const QString name = File(QString::fromLatin1(c.Name));
    ASSERT_TRUE(junk(name));
    // Second in the list, so that a move to the top would show.
    Form->RecentFiles->AddFile(name);
    Form->RecentFiles->AddFile(other);
    const QStringList before = Form->RecentFiles->Files();
    ASSERT_EQ(before.indexOf(name), 1);
    if (c.Kind != Damaged) {
      ASSERT_TRUE(QFile::remove(name));
    }
    if (c.Kind == LinkToNothing) {
      ASSERT_TRUE(QFile::link(File(QStringLiteral("nowhere")), name));
    }
    Boxes.clear();
    Form->RecentFiles->Entries()[1]->trigger();
    EXPECT_EQ(WindowCount(), 0);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(Boxes[0].Text.toStdString(),
              (c.Kind == Damaged ? QString::fromLatin1(msgOpenError)
                                 : QStringLiteral("Cannot open file \"%1\". %2").arg(name, gone))
                  .toStdString());
    EXPECT_EQ(Form->RecentFiles->Files(), before);
    QFile::remove(name);
  }
}

TEST_F(FileDispatch, UnknownExtensionsWarnAndOpenNothing) {
  for (const char* n : {"m42.fits.bak", "notes.txt", "README", "photo.jpeg"}) {
    Boxes.clear();
    EXPECT_EQ(Opened(File(QString::fromLatin1(n))), 0) << n;
    ASSERT_EQ(Boxes.size(), 1u) << n;
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtWarning);
    EXPECT_TRUE(Boxes[0].Text.contains(QString::fromLatin1(n))) << Boxes[0].Text.toStdString();
  }
  EXPECT_TRUE(Boxes.back().Text.contains(QStringLiteral("\".jpeg\"")));
}

TEST_F(FileDispatch, SavesEachWritableFormatAndReopensIt) {
  // A colour window with a marker: the picture writers draw it in.
  TChildForm* colour = ColourWindow(24, 18, [](int x, int y) {
    return TRGBPixel{std::uint8_t(x * 10), std::uint8_t(y * 12), std::uint8_t(100 + x + y)};
  }, QStringLiteral("Colour"));
  colour->ImageOverlay->AddMarker(12.0f, 9.0f);
  colour->SetZoom(200.0f);
  int jpegDialogs = 0;
  JPEGOptionsDialog = [&](TJPEGSaveOptions& o) {
    ++jpegDialogs;
    o.Quality = 100;
    o.Progressive = false;
    return int(mrOk);
  };
  for (const char* n : {"out.bmp", "out.tif", "out.kvx"}) {
    const QString name = File(QString::fromLatin1(n));
    Form->MDIArea()->setActiveSubWindow(colour);
    EXPECT_TRUE(SaveImageFile(name, colour)) << n;
    EXPECT_EQ(colour->ImageDisplay->Zoom, 200.0f);  // the zoom comes back
    EXPECT_TRUE(colour->Modified);                   // saving never clears it
    ASSERT_EQ(Opened(name), 1) << n;
    TChildForm* back = Form->ActiveMDIChild();
    EXPECT_EQ(back->Caption(), QString::fromLatin1(n));
    TRGBPixel p;
    back->DataImage->GetRGB(3, 4, p);
    EXPECT_EQ(p.Blue, 30) << n;
    EXPECT_EQ(p.Green, 48) << n;
    EXPECT_EQ(p.Red, 107) << n;
    back->DataImage->GetRGB(12, 9, p);
    if (QLatin1String(n) == QLatin1String("out.kvx")) {
      EXPECT_EQ(p.Blue, 120);  // data values, the marker stays a marker
      EXPECT_EQ(back->ImageOverlay->Markers().size(), 1u);
    } else {
      EXPECT_EQ(p.Red, 255) << n;  // the white marker is in the picture
      EXPECT_EQ(p.Green, 255) << n;
    }
  }
  for (const char* n : {"out.jpg", "out.JPEG"}) {
    const QString name = File(QString::fromLatin1(n));
    Form->MDIArea()->setActiveSubWindow(colour);
    EXPECT_TRUE(SaveImageFile(name, colour)) << n;
    EXPECT_TRUE(QFile::exists(name));
  }
  EXPECT_EQ(jpegDialogs, 2);
  ASSERT_EQ(Opened(File(QStringLiteral("out.jpg"))), 1);
  TRGBPixel p;
  Form->ActiveMDIChild()->DataImage->GetRGB(3, 4, p);
  EXPECT_NEAR(p.Red, 107, 6);

  // Cancel in the options writes nothing; .tiff and unknown names write nothing.
  JPEGOptionsDialog = [](TJPEGSaveOptions&) { return int(mrCancel); };
  Form->MDIArea()->setActiveSubWindow(colour);
  EXPECT_FALSE(SaveImageFile(File(QStringLiteral("cancel.jpg")), colour));
  EXPECT_FALSE(QFile::exists(File(QStringLiteral("cancel.jpg"))));
  EXPECT_FALSE(SaveImageFile(File(QStringLiteral("out.tiff")), colour));
  EXPECT_FALSE(SaveImageFile(File(QStringLiteral("out.png")), colour));
  EXPECT_FALSE(QFile::exists(File(QStringLiteral("out.tiff"))));
  EXPECT_FALSE(QFile::exists(File(QStringLiteral("out.png"))));

  // A colour image is refused as FITS; a grey one is written and reads back.
  Boxes.clear();
  EXPECT_FALSE(SaveImageFile(File(QStringLiteral("colour.fts")), colour));
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, QStringLiteral("Colour images cannot be saved as FITS files.  The image has not been saved."));
  TChildForm* grey = GreyWindow(7, 5, 3, [](int x, int y) { return float(x) * 0.5f - float(y); }, QStringLiteral("G"));
  int fitsDialogs = 0;
  FITSOptionsDialog = [&](TChildForm* w) {
    EXPECT_EQ(w, grey);
    return ++fitsDialogs == 1 ? int(mrCancel) : int(mrOk);
  };
  EXPECT_FALSE(SaveImageFile(File(QStringLiteral("grey.fit")), grey));
  EXPECT_FALSE(QFile::exists(File(QStringLiteral("grey.fit"))));
  EXPECT_TRUE(SaveImageFile(File(QStringLiteral("grey.fit")), grey));
  EXPECT_EQ(fitsDialogs, 2);
  ASSERT_EQ(Opened(File(QStringLiteral("grey.fit"))), 1);
  TChildForm* back = Form->ActiveMDIChild();
  EXPECT_EQ(back->DataImage->DataType, 3);
  EXPECT_EQ(back->DataImage->GetPixel(5, 3), -0.5f);
  EXPECT_EQ(back->DataImage->BlackPoint, -4.0f);
  EXPECT_EQ(back->DataImage->WhitePoint, 3.0f);
  EXPECT_FALSE(grey->FITSHeader.empty());  // the window keeps its new header
}

TEST_F(FileDispatch, OpenDialogOpensEveryChosenFileInOrder) {
  QStringList names;
  for (const char* n : {"b.kvx", "a.kvx", "c.kvx"}) {
    names << File(QString::fromLatin1(n));
    ASSERT_TRUE(Python(QStringLiteral("import sys; sys.path.insert(0, %1); import kvx_oracle; kvx_oracle.write(%2)")
                           .arg(Q(QStringLiteral(CORVELLE_SOURCE_DIR "/tests/oracles")), Q(names.back()))));
  }
  QStringList recent;
  Form->OnAddRecentFile = [&](const QString& f) { recent << f; };
  int qls = 0;
  Form->OnQuickLinearScaleUpdate = [&] { ++qls; };
  DialogFiles = names;
  Form->Action(QStringLiteral("FileOpen"))->trigger();
  EXPECT_EQ(recent, names);
  EXPECT_EQ(qls, 1);
  const QList<TChildForm*> windows = Form->MDIChildren();
  ASSERT_EQ(windows.size(), 3);
  EXPECT_EQ(windows[2]->Caption(), QStringLiteral("b.kvx"));
  EXPECT_EQ(windows[1]->Caption(), QStringLiteral("a.kvx"));
  EXPECT_EQ(windows[0]->Caption(), QStringLiteral("c.kvx"));
  // Cancel opens nothing but still refreshes the quick scale window.
  DialogFiles.clear();
  Form->Action(QStringLiteral("FileOpen"))->trigger();
  EXPECT_EQ(qls, 2);
  EXPECT_EQ(WindowCount(), 3);

  // Save As passes the active window to the dispatch.
  DialogFiles = {File(QStringLiteral("saved.kvx"))};
  Form->Action(QStringLiteral("FileSaveAs"))->trigger();
  EXPECT_TRUE(QFile::exists(File(QStringLiteral("saved.kvx"))));
}

TEST_F(FileDispatch, OpensSBIGFramesOfBothKinds) {
  // An ST-4 frame: 192 x 165 bytes, no header.
  QByteArray st4(192 * 165, '\0');
  for (int i = 0; i < st4.size(); ++i) st4[i] = char((i % 192) + (i / 192) % 50);
  QFile f4(File(QStringLiteral("guide.st4")));
  ASSERT_TRUE(f4.open(QIODevice::WriteOnly));
  f4.write(st4);
  f4.close();
  ASSERT_EQ(Opened(f4.fileName()), 1);
  TChildForm* child = Form->ActiveMDIChild();
  EXPECT_EQ(Form->PanelText(1), QStringLiteral("192 x 165"));
  EXPECT_EQ(child->DataImage->GetPixel(191, 2), 193.0f);
  EXPECT_EQ(child->DataImage->BlackPoint, 0.0f);
  EXPECT_EQ(child->DataImage->WhitePoint, 240.0f);  // 191 + 49
  EXPECT_FALSE(child->Modified);

  // A headed ST-7 file, raw rows of little-endian words.
  QByteArray st7 = QByteArrayLiteral("ST-7 Image\n\rHeight = 2\n\rWidth = 3\n\rEnd\n\r");
  st7.resize(2048, '\0');
  for (int v : {1, 2, 3, 40000, 5, 6}) st7.append(char(v & 255)).append(char(v >> 8));
  QFile f7(File(QStringLiteral("frame.ST7")));
  ASSERT_TRUE(f7.open(QIODevice::WriteOnly));
  f7.write(st7);
  f7.close();
  ASSERT_EQ(Opened(f7.fileName()), 1);
  child = Form->ActiveMDIChild();
  EXPECT_EQ(child->Caption(), QStringLiteral("frame.ST7"));
  EXPECT_EQ(Form->PanelText(1), QStringLiteral("3 x 2"));
  EXPECT_EQ(child->DataImage->GetPixel(0, 1), 40000.0f);
  EXPECT_EQ(child->DataImage->WhitePoint, 40000.0f);
}
