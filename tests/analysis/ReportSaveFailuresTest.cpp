// The report and picture files, saved as the user saves them, when the disk
// stops the save halfway or fails its sync, the folder is not there, the old
// file is write-protected or the name is a pipe, a socket or a device: the
// same tables as the image writers' (tests/formats/PictureSaveTest.cpp,
// SaveFailuresTest.cpp). The old file stays byte for byte, what is not a file
// stays what it is, no temporary is left, and the message gives the reason on
// its second line.
#include <QDir>

#include "AnalysisTestUtil.h"
#include "analysis/ChartTools.h"
#include "analysis/HistogramForm.h"
#include "analysis/PhotometryGridForm.h"
#include "analysis/StatisticsFormEx.h"
#include "platform/FileDialog.h"
#include "tests/formats/SaveFaults.h"

namespace {

class ReportSaveFailures : public AnalysisTest {
 protected:
  void SetUp() override {
    AnalysisTest::SetUp();
    CreatePhotometryForms(Form.get());
  }
  void TearDown() override {
    FreePhotometryForms();
    AnalysisTest::TearDown();
  }
  // Picks File in the next save dialog.
  static void Choose(const QString& File) {
    TFileDialog::SetHook([File](TFileDialog& D) { return D.FileName = File, true; });
  }
};

QByteArray ReadAll(const QString& Name) {
  QFile f(Name);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

}  // namespace

TEST_F(ReportSaveFailures, EveryWriterKeepsTheOldFileAndSaysWhy) {
  QTemporaryDir dir;
  // Something to save in every window.
  GreyWindow(40, 30, 3, [](int x, int y) { return float(x * y % 17); });
  Command("StatisticsImageStats");
  Command("StatisticsImageHisto");
  frmPhotometryGrid->AddResult(QStringLiteral("m42.fts"), 1, 12.5, 10.25f, 20.5f, -99.0, 1234.5, 100.25);

  const struct {
    const char* File;
    TMsgDlgType Type;
    QString FirstLine;  // %1: the file's full name
    std::function<void()> Save;
  } writers[] = {
      {"report.txt", TMsgDlgType::mtError, QStringLiteral("Cannot create file \"%1\"."),
       [] { frmStatisticsResults->SaveAs1->trigger(); }},
      {"grid.csv", TMsgDlgType::mtWarning, QStringLiteral("The photometry results could not be saved to \"%1\"."),
       [] { frmPhotometryGrid->SaveAs1->trigger(); }},
      {"grid.txt", TMsgDlgType::mtWarning, QStringLiteral("The photometry results could not be saved to \"%1\"."),
       [] { frmPhotometryGrid->SaveAs1->trigger(); }},
      {"histogram.bmp", TMsgDlgType::mtError, QStringLiteral("Cannot create file \"%1\"."),
       [] { frmHistogram->Tools->btnSaveClick(); }},
  };
  using savefaults::TNode;
  const struct {
    const char* Folder;  // where the file is saved, or what takes its name
    bool Capped;
    int SyncErrno;                  // the new file's sync fails so
    std::optional<TNode> Node;      // the name is this, not a file
    bool WriteProtected;            // the old file's mode is 0444
    const char* Reason;             // %1: the file's full name
    int FolderSyncErrno = 0;        // the folder's sync after the rename fails so
  } faults[] = {
      {"", true, 0, {}, false, "File too large"},
      {"missing/", false, 0, {}, false, "No such file or directory"},
      {"", false, EIO, {}, false, "Input/output error"},
      {"", false, 0, {}, true, "The file \"%1\" is write-protected"},
      {"fifo-", false, 0, TNode::Fifo, false, "Not a regular file"},
      {"socket-", false, 0, TNode::Socket, false, "Not a regular file"},
      {"device-", false, 0, TNode::CharDevice, false, "Not a regular file"},
      // The new file is in place: said so, rather than that the save failed.
      {"", false, 0, {}, false, "Input/output error", EIO},
  };
  const QByteArray old("\x01\x02\x03", 3);
  int tried = 0, refused = 0, inPlace = 0;
  for (const auto& w : writers) {
    SCOPED_TRACE(w.File);
    const QString file = dir.filePath(QString::fromLatin1(w.File));
    {
      QFile f(file);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(old) == 3);
    }
    for (const auto& fault : faults) {
      SCOPED_TRACE(fault.Reason);
      const QString target = dir.filePath(QString::fromLatin1(fault.Folder) + QString::fromLatin1(w.File));
      // Devices are made only where the test may (as root with the right to).
      if (fault.Node && !savefaults::MakeNode(target.toStdString(), *fault.Node)) {
        ASSERT_EQ(*fault.Node, TNode::CharDevice);
        continue;
      }
      if (fault.WriteProtected) QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
      Boxes.clear();
      Choose(target);
      {
        // Every one of these files is larger than 64 bytes.
        std::optional<savefaults::FileSizeCap> cap;
        if (fault.Capped) {
          ASSERT_TRUE(cap.emplace(64).Ok);
        }
        std::optional<savefaults::SyncWatch> sync;
        if (fault.SyncErrno || fault.FolderSyncErrno) sync.emplace(fault.SyncErrno, fault.FolderSyncErrno);
        w.Save();
      }
      ++tried;
      refused += Boxes.size() == 1;
      ASSERT_EQ(Boxes.size(), 1u);
      EXPECT_EQ(Boxes[0].Type, w.Type);
      QString reason = QString::fromLatin1(fault.Reason);
      if (fault.WriteProtected) reason = reason.arg(target);
      if (fault.FolderSyncErrno) {
        EXPECT_EQ(Boxes[0].Text, QString::fromLatin1(msgFolderNotSynced) + QLatin1Char('\n') + reason);
        EXPECT_GT(ReadAll(file).size(), 64);
        --refused;
        ++inPlace;
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(old) == 3);
        continue;
      }
      EXPECT_EQ(Boxes[0].Text, w.FirstLine.arg(target) + QLatin1Char('\n') + reason);
      EXPECT_EQ(ReadAll(file), old);
      if (fault.Node) {
        EXPECT_TRUE(savefaults::IsNode(target.toStdString(), *fault.Node));
        QFile::remove(target);
      }
      if (fault.WriteProtected) {
        EXPECT_EQ(QFile::permissions(file) & QFileDevice::Permissions(0x7077),
                  QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
      }
    }
    // Without the fault the same save replaces the file.
    Boxes.clear();
    Choose(file);
    w.Save();
    EXPECT_TRUE(Boxes.empty());
    EXPECT_GT(ReadAll(file).size(), 64);
  }
  TFileDialog::SetHook(nullptr);
  std::printf("[ figures  ] %d report and chart saves onto a failing disk or what must not be replaced: %d refused, "
              "%d in place with the folder not synced\n",
              tried, refused, inPlace);
  // The saved files alone: no temporary survives a failed save.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
            qsizetype(std::size(writers)));

  // The 3-D view's bitmap goes the same way; its window needs OpenGL, so the
  // writer it calls is tried here.
  const QString surface = dir.filePath(QStringLiteral("surface.bmp"));
  QImage picture(90, 60, QImage::Format_RGB888);
  picture.fill(Qt::darkCyan);
  {
    savefaults::FileSizeCap cap(64);
    ASSERT_TRUE(cap.Ok);
    try {
      SavePictureBitmap(picture, surface);
      ADD_FAILURE() << "a capped save went through";
    } catch (const EReportError& e) {
      EXPECT_EQ(e.what(), "Cannot create file \"" + surface.toStdString() + "\".\nFile too large");
      EXPECT_EQ(e.Reason, "File too large");
    }
  }
  EXPECT_FALSE(QFile::exists(surface));
  SavePictureBitmap(picture, surface);
  EXPECT_EQ(QImage(surface).convertToFormat(QImage::Format_RGB888), picture);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
            qsizetype(std::size(writers)) + 1);
}
