// A named pipe offered to every command that reads files: refused at once,
// naming the file, and never waited on (opening a pipe waits for a writer).
#include <QCheckBox>
#include <QLineEdit>

#include "dialogs/RestorationTestUtil.h"
#include "dialogs/ImportForm.h"
#include "formats/FITS.h"
#include "tests/formats/SaveFaults.h"
#include "support/PipeWatchdog.h"

using FileReadingCommands = RestorationTest;

namespace {
// The import dialog, which the shell makes at start-up, for one test.
struct TImportDialog {
  explicit TImportDialog(QWidget* Owner) { frmImport = new TfrmImport(Owner); }
  ~TImportDialog() {
    delete frmImport;
    frmImport = nullptr;
  }
};
}  // namespace

TEST_F(FileReadingCommands, ANamedPipeIsRefusedByNameWithoutWaiting) {
  TImportDialog importDialog(Form.get());
  TDataImage frame;
  ASSERT_TRUE(frame.Allocate(8, 6, 3, false));
  TFITSHeader header;
  const QString good = File(QStringLiteral("good.fits"));
  ASSERT_TRUE(WriteFITSFloat(good.toStdString(), header, frame).empty());
  GreyWindow(8, 6, 3, [](int x, int y) { return float(x + y); }, QStringLiteral("m42.fts"));

  auto open = [this](const QString& Pipe) {
    FileAnswers = {{Pipe}};
    Form->Action(QStringLiteral("FileOpen"))->trigger();
  };
  auto combine = [this, good](const QString& Pipe) {
    FileAnswers = {{good, Pipe}};
    RunCommand("ProcessCombine", [](QWidget* d) {
      Click(d, "btnFiles");
      Click(d, "btnOK");
    });
  };
  auto calibrate = [this](const QString& Pipe) {
    RunCommand("ProcessCalibrate", [Pipe](QWidget* d) {
      for (const char* step : {"Bias", "Dark", "Flat"}) {
        auto* box = Find<QCheckBox>(d, QStringLiteral("chk") + QLatin1String(step));
        if (box->isChecked() != (step[0] == 'D')) Tick(box);
      }
      Find<QLineEdit>(d, QStringLiteral("edtDark"))->setText(Pipe);
      Click(d, "btnOK");
    });
  };
  auto import = [this](const QString& Pipe) {
    FileAnswers = {{Pipe}};
    RunCommand("FileImport", [](QWidget* d) { Click(d, "btnOK"); });
  };
  const QString notAFile = QStringLiteral("Cannot open file \"%1\". Not a regular file");
  const QString frameRefused = QStringLiteral("Could not open file %1.  Not a regular file.");
  const struct {
    const char* Command;
    const char* Name;
    std::function<void(const QString&)> Run;
    QString Box;  // %1: the pipe's full name
  } cases[] = {
      {"File > Open", "pipe.fts", open, notAFile},   {"File > Open", "pipe.FITS", open, notAFile},
      {"File > Open", "pipe.bmp", open, notAFile},   {"File > Open", "pipe.jpg", open, notAFile},
      {"File > Open", "pipe.tiff", open, notAFile},  {"File > Open", "pipe.pcd", open, notAFile},
      {"File > Open", "pipe.kvx", open, notAFile},   {"File > Open", "pipe.st7", open, notAFile},
      {"File > Open", "pipe.ST4", open, notAFile},   {"Combine", "pipe.fits", combine, frameRefused},
      {"Calibrate", "pipe.fts", calibrate, frameRefused},   {"File > Import", "pipe.raw", import, notAFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Command) + " " + c.Name);
    const QString pipe = File(QString::fromLatin1(c.Name));
    TPipeWatchdog watch(pipe.toStdString(), 30);
    ASSERT_TRUE(watch.Made());
    Boxes.clear();
    c.Run(pipe);
    EXPECT_FALSE(watch.Done()) << "the command waited on the pipe";
    EXPECT_EQ(BoxTexts(), std::vector<QString>{c.Box.arg(pipe)});
    EXPECT_EQ(WindowCount(), 1);
  }
}

// File > Import offered a folder, a socket or a device names it and says why,
// as File > Open does.
TEST_F(FileReadingCommands, ImportNamesWhatIsNotAFile) {
  TImportDialog importDialog(Form.get());
  const QString folder = File(QStringLiteral("frames.raw"));
  ASSERT_TRUE(QDir().mkdir(folder));
  const QString socket = File(QStringLiteral("socket.raw")), device = File(QStringLiteral("device.raw"));
  ASSERT_TRUE(savefaults::MakeNode(socket.toStdString(), savefaults::TNode::Socket));
  // A private device where the test may make one (as root with the right to).
  const bool withDevice = savefaults::MakeNode(device.toStdString(), savefaults::TNode::CharDevice);
  const struct {
    QString Name;
    const char* Reason;
  } cases[] = {
      {folder, "Is a directory"},
      {socket, "Not a regular file"},
      {device, "Not a regular file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name.toStdString());
    if (c.Name == device && !withDevice) continue;
    FileAnswers = {{c.Name}};
    Boxes.clear();
    EXPECT_TRUE(RunCommand("FileImport", [](QWidget* d) { Click(d, "btnOK"); }));
    EXPECT_EQ(BoxTexts(),
              std::vector<QString>{QStringLiteral("Cannot open file \"%1\". %2").arg(c.Name, QLatin1String(c.Reason))});
    EXPECT_EQ(WindowCount(), 0);
  }
}
