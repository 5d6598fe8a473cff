// When memory runs out while opening, in an operation or in a render, the user
// reads the program's message and every other window keeps its picture; no
// window is left without one.
#include <QAction>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <new>
#include <stdexcept>

#include "AppTestUtil.h"
#include "app/FileManager.h"
#include "formats/Bitmap.h"
#include "platform/Application.h"
#include "platform/PageMemory.h"

namespace {

class OutOfMemory : public AppTest {
 protected:
  void TearDown() override {
    PageMemory::SetLimit(0);
    AppTest::TearDown();
  }
  std::string Path(const char* Name) const { return Dir.filePath(QString::fromLatin1(Name)).toStdString(); }
  // Every window and the picture it shows.
  std::vector<std::pair<TChildForm*, QImage>> Shown() const {
    std::vector<std::pair<TChildForm*, QImage>> s;
    for (TChildForm* c : Form->MDIChildren()) s.emplace_back(c, c->ImageDisplay->Source());
    return s;
  }
  QTemporaryDir Dir;
};

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// Triggers an action from the event loop, as a click on its menu item does, so
// that whatever escapes its handler meets the application's handler.
void TriggerFromLoop(QAction* Action) {
  QTimer::singleShot(0, Action, &QAction::trigger);
  QCoreApplication::processEvents();
}

}  // namespace

TEST_F(OutOfMemory, AHugeHeaderOpensNoWindow) {
  TChildForm* other = GreyWindow(20, 10, 1, [](int x, int y) { return float(x * y); });
  // 715827883 x 1 pixels declared by a file of a few kilobytes.
  const std::vector<std::uint8_t> bytes = [] {
    std::string h;
    for (const std::string& c : {MakeLogicalCard("SIMPLE", 'T'), MakeIntegerCard("BITPIX", -32),
                                 MakeIntegerCard("NAXIS", 2), MakeIntegerCard("NAXIS1", 715827883),
                                 MakeIntegerCard("NAXIS2", 1), MakeKeywordCard("END")})
      h += c;
    h.resize(2880, ' ');
    h.append(10, '\0');
    return std::vector<std::uint8_t>(h.begin(), h.end());
  }();
  ASSERT_EQ(bytes.size(), 2890u);
  QFile f(QString::fromStdString(Path("huge.fits")));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
  f.close();
  const auto before = Shown();

  OpenImageFile(f.fileName());
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtError);
  EXPECT_EQ(Boxes[0].Text, QString::fromLatin1(msgFITSTooLarge));
  EXPECT_EQ(Shown(), before);
  EXPECT_EQ(Form->ActiveMDIChild(), other);
}

TEST_F(OutOfMemory, OpensAndOperationsBeyondTheMemoryLeaveEveryOtherWindowWhole) {
  // Files and windows of 300 x 300; beyond the limit every new one of that size.
  TDataImage grey;
  ASSERT_TRUE(grey.Allocate(300, 300, 3, false));
  for (int i = 0; i < 300 * 300; ++i) grey.Pixels[i] = float(i % 977);
  TFITSHeader header;
  ASSERT_TRUE(WriteFITSFloat(Path("big.fits"), header, grey).empty());
  TFastBMP picture;
  picture.SetSize(300, 300);
  std::string error;
  ASSERT_TRUE(WriteBMPFile(Path("big.bmp"), picture, error)) << error;
  TChildForm* greyWindow = GreyWindow(300, 300, 3, [](int x, int y) { return float(x + y); });
  TChildForm* colourWindow =
      ColourWindow(300, 300, [](int x, int y) { return TRGBPixel{std::uint8_t(x), std::uint8_t(y), 7}; });

  const QString memory = QStringLiteral("Out of memory");
  struct TCase {
    const char* Name;
    TChildForm* Active;
    std::function<void()> Run;
    QString Text;
  };
  const std::vector<TCase> cases = {
      // Sides a picture can have: it is memory that is short, not the file too large.
      {"open FITS", greyWindow, [&] { OpenImageFile(Dir.filePath(QStringLiteral("big.fits"))); },
       QString::fromLatin1(msgFITSNoMemory)},
      {"open bitmap", greyWindow, [&] { OpenImageFile(Dir.filePath(QStringLiteral("big.bmp"))); },
       QString::fromLatin1(PictureTooLargeText)},
      {"fixed filter", greyWindow, [&] { TriggerFromLoop(Form->Action(QStringLiteral("FilterBlurLittle"))); }, memory},
      {"duplicate", colourWindow, [&] { TriggerFromLoop(Form->Action(QStringLiteral("EditDuplicate"))); }, memory},
      {"greyscale", colourWindow, [&] { TriggerFromLoop(Form->Action(QStringLiteral("ProcessColourToGrey"))); },
       memory},
      {"split", colourWindow, [&] { TriggerFromLoop(Form->Action(QStringLiteral("ProcessColourSplit"))); }, memory},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Form->MDIArea()->setActiveSubWindow(c.Active);
    const auto before = Shown();
    Boxes.clear();
    Errors.clear();
    PageMemory::SetLimit(500000);  // the windows open now fit; no second one does
    c.Run();
    PageMemory::SetLimit(0);
    FlushDeletes();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(Boxes[0].Text, c.Text);
    EXPECT_EQ(std::count_if(Errors.begin(), Errors.end(), [](int e) { return e > 0; }), 0);
    EXPECT_EQ(Shown(), before);
  }
  // With memory to spare the same commands make their windows.
  Form->MDIArea()->setActiveSubWindow(greyWindow);
  Form->Action(QStringLiteral("FilterBlurLittle"))->trigger();
  EXPECT_EQ(Form->MDIChildren().size(), 3);
  EXPECT_FALSE(Form->ActiveMDIChild()->ImageDisplay->Source().isNull());
}

TEST_F(OutOfMemory, AWindowWhosePictureCannotBeMadeGoesAndOneThatHadItKeepsIt) {
  TChildForm* kept = GreyWindow(40, 30, 1, [](int x, int) { return float(x); });
  const QImage keptPicture = kept->ImageDisplay->Source();

  // A new window whose first render runs out of memory.
  QPointer<TChildForm> fresh = new TChildForm;
  ASSERT_TRUE(fresh->DataImage->Allocate(2000, 2000, 3, false));
  fresh->Modified = true;
  PageMemory::SetLimit(1 << 20);
  EXPECT_FALSE(fresh->UpdateImage());
  PageMemory::SetLimit(0);
  ASSERT_EQ(Boxes.size(), 1u);  // no question about saving: it held nothing
  EXPECT_EQ(Boxes[0].Text, QStringLiteral("Out of memory"));
  EXPECT_EQ(Form->MDIChildren(), QList<TChildForm*>{kept});
  FlushDeletes();
  EXPECT_TRUE(fresh.isNull());

  // A window that has its picture keeps it when a new render cannot be had.
  Boxes.clear();
  ASSERT_TRUE(kept->DataImage->Allocate(2000, 2000, 3, false));
  PageMemory::SetLimit(1 << 20);
  EXPECT_FALSE(kept->UpdateImage());
  PageMemory::SetLimit(0);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, QStringLiteral("Out of memory"));
  EXPECT_EQ(Form->MDIChildren(), QList<TChildForm*>{kept});
  EXPECT_EQ(kept->ImageDisplay->Source(), keptPicture);
  // Once memory is there again, the render goes through.
  EXPECT_TRUE(kept->UpdateImage());
  EXPECT_EQ(kept->ImageDisplay->Source().size(), QSize(2000, 2000));
}

TEST_F(OutOfMemory, TheApplicationNamesExhaustedMemory) {
  struct TCase {
    std::function<void()> Throw;
    QString Text;
  };
  const TCase cases[] = {
      {[] { throw std::bad_alloc(); }, QStringLiteral("Out of memory")},
      {[] { throw std::bad_array_new_length(); }, QStringLiteral("Out of memory")},
      {[] { throw std::length_error("cannot create std::vector larger than max_size()"); },
       QStringLiteral("Out of memory")},
      {[] { throw std::runtime_error("The TIFF file is invalid."); }, QStringLiteral("The TIFF file is invalid.")},
  };
  for (const TCase& c : cases) {
    Boxes.clear();
    QTimer::singleShot(0, Form.get(), c.Throw);
    QCoreApplication::processEvents();
    ASSERT_EQ(Boxes.size(), 1u) << c.Text.toStdString();
    EXPECT_EQ(Boxes[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(Boxes[0].Text, c.Text);
  }
}

// A command whose new window would fit in what the system leaves, but only by
// eating into the room kept for the interface, says "Out of memory" and
// leaves every window as it was; with the reserve kept as well it goes through.
TEST_F(OutOfMemory, CommandsLeaveTheInterfaceItsReserve) {
  TChildForm* grey = GreyWindow(301, 203, 1, [](int x, int y) { return float(x * 3 + y); });
  TChildForm* colour =
      ColourWindow(301, 203, [](int x, int y) { return TRGBPixel{std::uint8_t(x), std::uint8_t(y), 9}; });
  // A new window of 301 x 203: its planes and three pictures (rows of 904).
  constexpr std::uint64_t Grey = 301 * 203 * 4, Colour = 301 * 203 * 3, Pictures = 3 * 904 * 203;
  constexpr std::uint64_t R = PageMemory::InterfaceReserve;
  struct TCase {
    const char* Action;
    TChildForm* Active;
    std::uint64_t Needs;
  };
  const TCase cases[] = {
      {"FilterBlurLittle", grey, Grey + Pictures},
      {"EditDuplicate", colour, Grey + Colour + Pictures},
      {"ProcessColourToGrey", colour, Grey + Pictures},
  };
  for (const TCase& c : cases) {
    for (const std::uint64_t room : {c.Needs + R / 2, c.Needs + R - 1, c.Needs + R}) {
      SCOPED_TRACE(testing::Message() << c.Action << " with " << room << " bytes left");
      Form->MDIArea()->setActiveSubWindow(c.Active);
      const auto before = Shown();
      Boxes.clear();
      Errors.clear();
      PageMemory::SetFigures(PageMemory::TMemoryFigures{0, room, 0, 0, 0});
      TriggerFromLoop(Form->Action(QString::fromLatin1(c.Action)));
      PageMemory::ClearFigures();
      FlushDeletes();
      if (room < c.Needs + R) {
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Text, QStringLiteral("Out of memory"));
        EXPECT_EQ(Shown(), before);
        continue;
      }
      EXPECT_TRUE(Boxes.empty());
      ASSERT_EQ(Form->MDIChildren().size(), before.size() + 1);
      TChildForm* made = Form->ActiveMDIChild();
      EXPECT_EQ(made->ImageDisplay->Source().size(), QSize(301, 203));
      made->setAttribute(Qt::WA_DeleteOnClose, false);
      delete made;
    }
  }
}
