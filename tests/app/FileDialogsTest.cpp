#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "AppTestUtil.h"
#include "app/FileManager.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "formats/FITS.h"
#include "dialogs/FITSHeaderForm.h"
#include "dialogs/FITSOptionsForm.h"
#include "dialogs/FileOptionsForm.h"
#include "dialogs/ImportForm.h"
#include "dialogs/JPEGOptionsForm.h"
#include "platform/FileDialog.h"

namespace {
class FileDialogsTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    frmFITSOptions = new TfrmFITSOptions(Form.get());
    frmFITSHeader = new TfrmFITSHeader(Form.get());
    frmFileOptions = new TfrmFileOptions(Form.get());
    frmImport = new TfrmImport(Form.get());
    FITSNewHeaderBITPIX = [] { return frmFileOptions->NewHeaderBITPIX(); };
  }
  void TearDown() override {
    FITSNewHeaderBITPIX = nullptr;
    FITSOptionsDialog = nullptr;
    for (TChildForm* c : Form->MDIChildren()) {
      c->setAttribute(Qt::WA_DeleteOnClose, false);
      delete c;
    }
    delete frmFITSOptions;
    delete frmFITSHeader;
    delete frmFileOptions;
    delete frmImport;
    frmFITSOptions = nullptr;
    frmFITSHeader = nullptr;
    frmFileOptions = nullptr;
    frmImport = nullptr;
    AppTest::TearDown();
  }
  static QStringList Lines(const QListWidget* List) {
    QStringList r;
    for (int i = 0; i < List->count(); ++i) r << List->item(i)->text();
    return r;
  }
  QTemporaryDir Dir;
};
}  // namespace

TEST_F(FileDialogsTest, NewHeaderAsksOnlyOverAHeader) {
  TChildForm* w = GreyWindow(30, 20, 3, [](int x, int y) { return float(x + y); });
  frmFITSOptions->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frmFITSOptions));
  EXPECT_EQ(frmFITSOptions->ListBox->count(), 0);
  EXPECT_TRUE(frmFITSOptions->rdoData32->isChecked());
  ClickOption(frmFITSOptions->rdoData16);
  EXPECT_TRUE(frmFITSOptions->rdoData16->isChecked());
  QTest::mouseClick(frmFITSOptions->btnNewHeader, Qt::LeftButton);
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(frmFITSOptions->ListBox->count(), 10);
  const QStringList cards = Lines(frmFITSOptions->ListBox);
  EXPECT_TRUE(cards.filter(QRegularExpression("^BITPIX  = +16 ")).size() == 1) << cards.join('\n').toStdString();
  EXPECT_EQ(cards.filter("3.276800E+0004").size(), 1);
  EXPECT_EQ(cards.filter("1.000000E+0000").size(), 1);
  EXPECT_EQ(int(w->FITSHeader.size()), 10);
  // Over a header it asks; No keeps the old one.
  ClickOption(frmFITSOptions->rdoData32);
  EXPECT_TRUE(frmFITSOptions->rdoData32->isChecked());
  Answers = {mrNo};
  QTest::mouseClick(frmFITSOptions->btnNewHeader, Qt::LeftButton);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, QStringLiteral("The current image already has a FITS header.  Do you want to overwrite the "
                                          "current header?"));
  EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtWarning);
  EXPECT_EQ(Boxes[0].Buttons, unsigned(mbYesNo));
  EXPECT_EQ(Lines(frmFITSOptions->ListBox), cards);
  // The 16-bit header decides the next save.
  FITSOptionsDialog = [](TChildForm*) { return int(mrOk); };
  const QString file = Dir.filePath("a.fts");
  ASSERT_TRUE(SaveImageFile(file, w));
  EXPECT_EQ(FileBITPIX(file), 16);
  Answers = {mrYes};
  QTest::mouseClick(frmFITSOptions->btnNewHeader, Qt::LeftButton);
  EXPECT_EQ(Lines(frmFITSOptions->ListBox).filter("-32").size(), 1);
}

TEST_F(FileDialogsTest, HeaderViewer) {
  ColourWindow(4, 4, [](int, int) { return TRGBPixel{1, 2, 3}; });
  frmFITSHeader->Execute(false);
  EXPECT_EQ(frmFITSHeader->ListBox->count(), 0);
  EXPECT_EQ(frmFITSHeader->Edit1->text(), QString());
  EXPECT_TRUE(frmFITSHeader->Edit1->isReadOnly());
  TChildForm* g = GreyWindow(5, 5, 1, [](int x, int) { return float(x); });
  g->FITSHeader = MakeFITSHeader(16, 5, 5, 32768, 1);
  frmFITSHeader->Execute(false);
  ASSERT_EQ(frmFITSHeader->ListBox->count(), int(g->FITSHeader.size()));
  frmFITSHeader->ListBox->setCurrentRow(1);
  EXPECT_EQ(frmFITSHeader->Edit1->text().toStdString(), g->FITSHeader[1]);
}

TEST_F(FileDialogsTest, FileOptionsDataTypeAndTabs) {
  EXPECT_EQ(frmFileOptions->NewHeaderBITPIX(), -32);
  TChildForm* g = GreyWindow(6, 4, 3, [](int x, int) { return float(x); });
  frmFileOptions->Execute(false);
  frmFileOptions->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frmFileOptions));
  EXPECT_EQ(frmFileOptions->PageControl1->tabText(frmFileOptions->PageControl1->currentIndex()), QStringLiteral("FITS"));
  ClickOption(frmFileOptions->grpDataType->button(0));
  EXPECT_TRUE(frmFileOptions->grpDataType->button(0)->isChecked());
  EXPECT_EQ(frmFileOptions->NewHeaderBITPIX(), 16);
  // A window without header is saved in the chosen type.
  const QString file = Dir.filePath("b.fts");
  ASSERT_TRUE(SaveImageFile(file, g));
  EXPECT_EQ(FileBITPIX(file), 16);
  QTest::mouseClick(frmFileOptions->btnNewHeader, Qt::LeftButton);
  EXPECT_EQ(frmFileOptions->ListBox->count(), 10);
  ColourWindow(4, 4, [](int, int) { return TRGBPixel{1, 2, 3}; });
  frmFileOptions->Execute(false);
  EXPECT_EQ(frmFileOptions->PageControl1->currentIndex(), 0);
  EXPECT_EQ(frmFileOptions->ListBox->count(), 0);
}

TEST_F(FileDialogsTest, JPEGPreviewMatchesDjpeg) {
  ColourWindow(300, 200, [](int x, int y) {
    return TRGBPixel{std::uint8_t(x), std::uint8_t(y), std::uint8_t((x * y) & 255)};
  });
  EXPECT_EQ(frmFileOptions->iedQuality->text(), QStringLiteral("0"));
  frmFileOptions->show();
  ASSERT_FALSE(frmFileOptions->JPEGBytes().empty());
  EXPECT_EQ(frmFileOptions->SourcePicture().size(), QSize(300, 200));
  auto djpeg = [&](const QStringList& Options) {
    const QString in = Dir.filePath("p.jpg"), out = Dir.filePath("p.pnm");
    QFile f(in);
    f.open(QIODevice::WriteOnly);
    f.write(reinterpret_cast<const char*>(frmFileOptions->JPEGBytes().data()), qint64(frmFileOptions->JPEGBytes().size()));
    f.close();
    QProcess p;
    p.start("djpeg", Options + QStringList{"-pnm", "-outfile", out, in});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) ADD_FAILURE() << "djpeg failed or is missing";
    return QImage(out);
  };
  auto same = [](const QImage& A, const QImage& B) {
    if (A.size() != B.size()) return false;
    const QImage a = A.convertToFormat(QImage::Format_RGB32), b = B.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x)
        if (a.pixel(x, y) != b.pixel(x, y)) return false;
    return true;
  };
  const std::size_t quality0 = frmFileOptions->JPEGBytes().size();
  EXPECT_TRUE(same(frmFileOptions->ResultPicture(), djpeg({})));
  frmFileOptions->trkJPEGCompression->setValue(95);
  EXPECT_EQ(frmFileOptions->iedQuality->text(), QStringLiteral("95"));
  EXPECT_GT(frmFileOptions->JPEGBytes().size(), quality0);
  EXPECT_TRUE(same(frmFileOptions->ResultPicture(), djpeg({})));
  frmFileOptions->cmbFileType->setCurrentIndex(1);
  frmFileOptions->cmbFileTypeChange();
  EXPECT_TRUE(frmFileOptions->ResultPicture().isGrayscale());
  EXPECT_TRUE(same(frmFileOptions->ResultPicture(), djpeg({"-grayscale"})));
  // Panning stays inside the picture.
  frmFileOptions->Pan(500, -20);
  EXPECT_EQ(frmFileOptions->PanOffset(), QPoint(300 - 151, 0));
  frmFileOptions->Pan(-10, 50);
  EXPECT_EQ(frmFileOptions->PanOffset(), QPoint(300 - 161, 50));
  frmFileOptions->hide();
}

TEST_F(FileDialogsTest, JPEGOptionsKeepTheirValues) {
  TfrmJPEGOptions dlg(Form.get());
  EXPECT_EQ(dlg.trkJPEGCompression->value(), 75);
  EXPECT_TRUE(dlg.chkProgressive->isChecked());
  TJPEGSaveOptions options;
  QTimer::singleShot(0, &dlg, [&] {
    dlg.trkJPEGCompression->setValue(0);
    dlg.chkProgressive->setChecked(false);
    dlg.SetModalResult(mrOk);
  });
  EXPECT_EQ(dlg.Execute(options), int(mrOk));
  EXPECT_EQ(dlg.iedQuality->text(), QStringLiteral("0"));
  EXPECT_EQ(options.Quality, 0);
  EXPECT_FALSE(options.Progressive);
  QTimer::singleShot(0, &dlg, [&] { dlg.reject(); });
  options.Quality = 50;
  EXPECT_EQ(dlg.Execute(options), int(mrCancel));
  EXPECT_EQ(options.Quality, 50);
  EXPECT_EQ(dlg.trkJPEGCompression->value(), 0);
}

namespace {
// The first luminance quantisation table of a JPEG file (64 values), empty
// when there is none.
std::vector<int> FirstQuantTable(const QString& File) {
  QFile f(File);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray b = f.readAll();
  for (int i = 0; i + 4 < b.size(); ++i) {
    if (uchar(b[i]) != 0xFF || uchar(b[i + 1]) != 0xDB) continue;
    const int at = i + 4;  // after the marker and its length
    if ((uchar(b[at]) >> 4) != 0 || at + 65 > b.size()) return {};
    std::vector<int> q;
    for (int k = 1; k <= 64; ++k) q.push_back(uchar(b[at + k]));
    return q;
  }
  return {};
}
}  // namespace

TEST_F(FileDialogsTest, TypedJPEGQualityIsBroughtIntoRangeAndWritten) {
  TfrmJPEGOptions dlg(Form.get());
  auto* ok = dlg.findChild<QPushButton*>(QStringLiteral("btnOK"));
  ASSERT_NE(ok, nullptr);
  TChildForm* window = ColourWindow(16, 16, [](int x, int y) {
    return TRGBPixel{std::uint8_t(x * 16), std::uint8_t(y * 16), 128};
  });
  JPEGOptionsDialog = [&](TJPEGSaveOptions& Options) { return dlg.Execute(Options); };
  struct Case {
    const char* Typed;
    const char* Shown;
    int Quality;
  } cases[] = {{"500", "100", 100}, {"-5", "0", 0}, {"50", "50", 50}};
  for (const Case& c : cases) {
    QTimer::singleShot(0, &dlg, [&] {
      dlg.iedQuality->setFocus();
      dlg.iedQuality->selectAll();
      QTest::keyClicks(dlg.iedQuality, QString::fromLatin1(c.Typed));
      QTest::mouseClick(ok, Qt::LeftButton);
    });
    const QString file = Dir.filePath(QStringLiteral("q%1.jpg").arg(c.Quality));
    Form->MDIArea()->setActiveSubWindow(window);
    ASSERT_TRUE(SaveImageFile(file, window)) << c.Typed;
    EXPECT_EQ(dlg.iedQuality->text(), QString::fromLatin1(c.Shown)) << c.Typed;
    EXPECT_EQ(dlg.trkJPEGCompression->value(), c.Quality) << c.Typed;
    // libjpeg's scaled luminance table: its first entry is 16 at quality 50,
    // 1 at quality 100 and 255 (clamped) at quality 0.
    const std::vector<int> q = FirstQuantTable(file);
    ASSERT_EQ(q.size(), 64u) << c.Typed;
    const int scale = c.Quality <= 0 ? 5000 : c.Quality < 50 ? 5000 / c.Quality : 200 - 2 * c.Quality;
    EXPECT_EQ(q[0], std::clamp((16 * scale + 50) / 100, 1, 255)) << c.Typed;
  }
  JPEGOptionsDialog = nullptr;
}

TEST_F(FileDialogsTest, RawImportOfEachLayout) {
  auto file = [&](const char* Name, const QByteArray& Bytes) {
    const QString path = Dir.filePath(QString::fromLatin1(Name));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(Bytes);
    return path;
  };
  auto import = [&](const QString& Path, int W, int H, int Format, const char* Offset, bool Unsigned, int Skip = 0) {
    frmImport->OpenDialog()->FileName = Path;
    frmImport->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(frmImport));
    // As typed, the width last, then Enter: the boxes' ranges apply only when
    // the dialog reads them. An offset with an exponent cannot be typed (the
    // box takes digits, sign and separator only); it arrives pasted.
    if (frmImport->chkUnsigned->isChecked() != Unsigned) ClickOption(frmImport->chkUnsigned);
    ClickOption(frmImport->grpDataFormat->button(Format));
    EXPECT_TRUE(frmImport->grpDataFormat->button(Format)->isChecked());
    if (QByteArray(Offset).contains('E'))
      frmImport->fedOffset->setText(QString::fromLatin1(Offset));
    else
      TypeInto(frmImport->fedOffset, QString::fromLatin1(Offset));
    TypeInto(frmImport->iedHeight, QString::number(H));
    TypeInto(frmImport->iedSkip, QString::number(Skip));
    TypeInto(frmImport->iedWidth, QString::number(W));
    frmImport->LastWindow = nullptr;
    QTest::keyClick(frmImport->iedWidth, Qt::Key_Return);
    // A refusal keeps the dialog open; an import closes it.
    EXPECT_EQ(frmImport->isVisible(), frmImport->LastWindow == nullptr);
    frmImport->hide();
    return frmImport->LastWindow;
  };
  EXPECT_EQ(frmImport->iedWidth->text(), QStringLiteral("1"));
  EXPECT_TRUE(frmImport->chkUnsigned->isChecked());
  EXPECT_TRUE(frmImport->grpDataFormat->button(0)->isChecked());
  TChildForm* w = import(file("a.raw", QByteArray("\xFA\x00", 2)), 2, 1, 0, "10", true);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->DataImage->GetPixel(0, 0), 4.0f);  // (250 + 10) mod 256
  EXPECT_EQ(w->DataImage->GetPixel(1, 0), 10.0f);
  EXPECT_EQ(w->Caption(), QStringLiteral("Imported a.raw"));
  EXPECT_EQ(w->DataImage->DataType, 3);
  w = import(file("b.raw", QByteArray("\x34\x12\x56", 3)), 2, 1, 1, "0", true);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->DataImage->GetPixel(0, 0), 564.0f);
  EXPECT_EQ(w->DataImage->GetPixel(1, 0), 342.0f);
  const QString c = file("c.raw", QByteArray("\x01\x02", 2));
  w = import(c, 1, 1, 2, "0", false);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->DataImage->GetPixel(0, 0), 258.0f);
  w = import(c, 1, 1, 3, "0", false);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->DataImage->GetPixel(0, 0), 513.0f);
  w = import(file("d.raw", QByteArray("\xC0\xA0\x00\x00", 4)), 1, 1, 4, "2", true);  // -5.0
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->DataImage->GetPixel(0, 0), 0.0f);
  QByteArray skipped(100, '\x7F');
  skipped.append(QByteArray("\x01\x02\x03\x04\x05\x06", 6));
  w = import(file("e.raw", skipped), 3, 2, 0, "0", true, 100);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->DataImage->GetPixel(2, 1), 6.0f);
  // The window shows the whole range of the bytes 1 to 6.
  EXPECT_EQ(w->DataImage->BlackPoint, 1.0f);
  EXPECT_EQ(w->DataImage->WhitePoint, 6.0f);
  // A typed offset outside the box's range (0 up to 2E32) is brought into it
  // before the import: -10 reads as 0, 3E32 as 2E32.
  w = import(file("f.raw", QByteArray("\x05", 1)), 1, 1, 0, "-10", true);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->DataImage->GetPixel(0, 0), 5.0f);
  w = import(file("g.raw", QByteArray("\x00\x00\x00\x00", 4)), 1, 1, 4, "3E32", true);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->DataImage->GetPixel(0, 0), 2e32f);
  EXPECT_TRUE(Boxes.empty());
  // Refusals keep the dialog open and open nothing.
  const int windows = WindowCount();
  EXPECT_EQ(import(c, 0, 1, 0, "0", true), nullptr);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, QStringLiteral("The width and the height of the image must be greater than zero."));
  EXPECT_EQ(import(c, 4, 4, 2, "0", true), nullptr);
  EXPECT_EQ(Boxes.back().Text, QStringLiteral("An error occured importing this file."));
  EXPECT_EQ(import(c, 1, 1, 0, "0", true, -5), nullptr);
  EXPECT_EQ(WindowCount(), windows);
  // A size typed beyond the limit is brought to 65536, then refused as too long.
  const std::size_t boxes = Boxes.size();
  EXPECT_EQ(import(c, 100000, 1, 0, "0", true), nullptr);
  ASSERT_EQ(Boxes.size(), boxes + 1);
  EXPECT_EQ(Boxes.back().Text, QStringLiteral("An error occured importing this file."));
  // A file that is gone, or a link to nothing, is named with the reason, as
  // File > Open names it.
  const QString gone = Dir.filePath(QStringLiteral("gone.raw"));
  const QString dangling = Dir.filePath(QStringLiteral("dangling.raw"));
  ASSERT_TRUE(QFile::link(gone, dangling));
  for (const QString& name : {gone, dangling, Dir.filePath(QStringLiteral("gone.tif"))}) {
    Boxes.clear();
    if (name.endsWith(QLatin1String(".raw")))
      EXPECT_EQ(import(name, 1, 1, 0, "0", true), nullptr);
    else
      OpenImageFile(name);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(name));
  }
  EXPECT_EQ(WindowCount(), windows);
}
