// The results grid: rows as added, saving as comma-separated values and text
// through its menu, clearing, printing.
#include <QAction>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPrinter>
#include <QTemporaryDir>

#include "PhotometryTestSupport.h"
#include "engine/photometry.h"
#include "platform/FileDialog.h"
#include "platform/NumFormat.h"

namespace {
QString Fmt(long double V) { return QString::fromStdString(NumFormat::FormatFloat("0.000", V)); }

struct TResult {
  QString Image;
  int No;
  double Mag;
  float X, Y;
  double Ref, Star, Sky;
};

// 70 results: more than the grid's first 63 rows; one failed, one without a caption.
std::vector<TResult> Results() {
  std::vector<TResult> r;
  for (int i = 0; i < 70; ++i)
    r.push_back({QStringLiteral("frame%1.fts").arg(i / 10), i % 10, 10.0 + i * 0.0125, 12.25f + i, 30.5f + i / 3.0f,
                 11.0, 1234.5678 * (i + 1), 99.9995 + i});
  r[3].Mag = FailedMeasure;
  r[5].Image.clear();
  return r;
}

// The eight cells a result shows.
QStringList Cells(const TResult& R) {
  const bool failed = R.Mag == FailedMeasure;
  return {QString::number(R.No), failed ? QStringLiteral("#Error#") : Fmt(R.Mag),
          failed ? QStringLiteral("#Error#") : Fmt((long double)R.Mag - R.Ref),
          Fmt(R.Star), Fmt(R.Sky), Fmt(R.X), Fmt(R.Y), R.Image};
}

QByteArray ReadFile(const QString& Name) {
  QFile f(Name);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int PdfPages(const QByteArray& Pdf) { return int(Pdf.count("/Type /Page\n") + Pdf.count("/Type /Page ")) ; }
}  // namespace

TEST_F(PhotometryTest, GridSavesCommaSeparatedValuesAndTextByExtension) {
  frmPhotometryGrid->show();
  const auto results = Results();
  for (const TResult& r : results) frmPhotometryGrid->AddResult(r.Image, r.No, r.Mag, r.X, r.Y, r.Ref, r.Star, r.Sky);
  // Every result has its row, the 64th and later ones too.
  const auto rows = GridRows();
  ASSERT_EQ(rows.size(), results.size());
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i], Cells(results[i])) << i;

  QTemporaryDir dir;
  enum TKind { CSV, TXT, None };
  struct TCase {
    const char* Name;
    TKind Kind;
    const char* Warning;  // start of the warning, or nullptr
  } cases[] = {
      {"r.csv", CSV, nullptr},        {"r2.Csv", CSV, nullptr},
      {"r.TXT", TXT, nullptr},        {"results", None, "The photometry results were not saved."},
      {"no/such/dir/r.csv", None, "The photometry results could not be saved"},
  };
  QString chosen;
  auto previous = TFileDialog::SetHook([&](TFileDialog& d) {
    EXPECT_TRUE(d.OverwritePrompt);
    d.FileName = chosen;
    return true;
  });
  const QString titles = QStringLiteral("Aperture #,Magnitude,Mag. Difference,Star ADU,Sky ADU,Centroid X,Centroid "
                                        "Y,Image");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Boxes.clear();
    chosen = dir.filePath(QString::fromLatin1(c.Name));
    frmPhotometryGrid->SaveAs1->trigger();
    if (c.Warning) {
      ASSERT_EQ(Boxes.size(), 1u);
      EXPECT_TRUE(Boxes[0].startsWith(QString::fromLatin1(c.Warning))) << Boxes[0].toStdString();
    } else {
      EXPECT_TRUE(Boxes.empty());
    }
    const QByteArray data = ReadFile(chosen);
    if (c.Kind == None) {
      EXPECT_FALSE(QFileInfo::exists(chosen));
    } else if (c.Kind == CSV) {
      // Lines end with a bare carriage return; the title row comes first.
      EXPECT_FALSE(data.contains('\n'));
      const QStringList lines = QString::fromLocal8Bit(data).split(QLatin1Char('\r'));
      ASSERT_EQ(lines.size(), int(results.size()) + 2);
      EXPECT_EQ(lines[0], titles);
      for (std::size_t i = 0; i < results.size(); ++i) EXPECT_EQ(lines[int(i) + 1].split(','), Cells(results[i])) << i;
      EXPECT_EQ(lines.last(), QString());
    } else {
      QByteArray expected = "\r\nCorvelle Image Photometry Results - " +
                            QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat).toLocal8Bit() +
                            "\r\n\r\n\r\n";
      QByteArray header;
      for (const char* h : {"Aperture", "Magnitude", "Mag. Diff.", "Star ADU", "Sky ADU", "Centroid X", "Centroid Y",
                            "Image"})
        header += QByteArray(h).leftJustified(15, ' ');
      EXPECT_EQ(header.size(), 120);
      expected += header + "\r\n" + QByteArray(113, '-') + "\r\n";
      for (const TResult& r : results) {
        QByteArray line;
        for (const QString& cell : Cells(r)) line += cell.toLocal8Bit().leftJustified(15, ' ');
        expected += line + "\r\n";
      }
      EXPECT_EQ(data, expected);
    }
  }
  TFileDialog::SetHook(previous);
}

TEST_F(PhotometryTest, GridClearsOnlyWhenConfirmedAndPrintsEveryCopyInOneJob) {
  for (int i = 0; i < 3; ++i) frmPhotometryGrid->AddResult(QStringLiteral("a"), i, 12.0, 1, 2, 11.0, 100, 10);
  QTemporaryDir dir;
  int copies = 1;
  QString pdf;
  auto previous = TfrmPhotometryGrid::SetPrintDialogHook([&](QPrinter& p) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(pdf);
    p.setCopyCount(copies);
    return true;
  });
  std::vector<int> pages;
  for (int n : {1, 40}) {
    copies = n;
    pdf = dir.filePath(QStringLiteral("p%1.pdf").arg(n));
    frmPhotometryGrid->Print1->trigger();
    pages.push_back(PdfPages(ReadFile(pdf)));
  }
  TfrmPhotometryGrid::SetPrintDialogHook(previous);
  EXPECT_EQ(pages[0], 1);
  EXPECT_GT(pages[1], 1);  // forty copies of nine lines run over several pages of one file

  Answers = {mrNo};
  frmPhotometryGrid->Clearresults1->trigger();
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0], QStringLiteral("Are you sure you want to clear the photometry results?"));
  EXPECT_EQ(GridRows().size(), 3u);
  Answers = {mrYes};
  frmPhotometryGrid->Clearresults1->trigger();
  EXPECT_TRUE(GridRows().empty());
  EXPECT_EQ(frmPhotometryGrid->Cell(1, 7), QString());
  frmPhotometryGrid->AddResult(QStringLiteral("b"), 4, 13.0, 1, 2, 11.0, 100, 10);
  EXPECT_EQ(frmPhotometryGrid->Cell(1, 0), QStringLiteral("4"));
  EXPECT_EQ(frmPhotometryGrid->Cell(1, 2), QStringLiteral("2.000"));
  EXPECT_EQ(frmPhotometryGrid->Cell(0, 2), QStringLiteral("Mag. Difference"));
}

TEST_F(PhotometryTest, GridBoundsAreKeptWithTheMainWindowsSettings) {
  { TRegistry().CreateKey(QString::fromLatin1(ApplicationKey)); }
  frmPhotometryGrid->show();
  frmPhotometryGrid->setGeometry(110, 130, 640, 300);
  const QRect bounds = frmPhotometryGrid->geometry();
  Form->close();
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QString::fromLatin1(ApplicationKey), false));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("PRVisible")), 1);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("PRWidth")), bounds.width());
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("PRHeight")), bounds.height());
  }
  // Loading the settings again puts the window back where it was.
  frmPhotometryGrid->hide();
  frmPhotometryGrid->setGeometry(10, 10, 200, 100);
  Form->LoadSettings();
  EXPECT_TRUE(frmPhotometryGrid->isVisible());
  EXPECT_EQ(frmPhotometryGrid->size(), bounds.size());
}
