// A named pipe offered to every command that reads files: refused at once,
// naming the file, and never waited on (opening a pipe waits for a writer).
#include <QCheckBox>
#include <QLineEdit>

#include "dialogs/RestorationTestUtil.h"
#include "formats/FITS.h"
#include "support/PipeWatchdog.h"

using FileReadingCommands = RestorationTest;

TEST_F(FileReadingCommands, ANamedPipeIsRefusedByNameWithoutWaiting) {
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
      {"Calibrate", "pipe.fts", calibrate, frameRefused},
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
