#include "dialogs/FileOptionsForm.h"

#include <jpeglib.h>

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>
#include <csetjmp>

#include "app/Child.h"
#include "app/FileManager.h"
#include "app/IntEdit.h"
#include "app/Main.h"
#include "formats/JPG.h"
#include "dialogs/BuddyLabel.h"
#include "dialogs/FITSOptionsForm.h"

TfrmFileOptions* frmFileOptions = nullptr;

namespace {
constexpr int PreviewW = 151, PreviewH = 111;

struct TJumpError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};

void JumpOnError(j_common_ptr Info) { std::longjmp(reinterpret_cast<TJumpError*>(Info->err)->Jump, 1); }
}  // namespace

QImage DecodeJPEGPreview(const std::vector<std::uint8_t>& Bytes, bool Greyscale) {
  if (Bytes.empty()) return {};
  jpeg_decompress_struct info{};
  TJumpError error{};
  info.err = jpeg_std_error(&error.Manager);
  error.Manager.error_exit = JumpOnError;
  QImage result;
  if (setjmp(error.Jump)) {
    jpeg_destroy_decompress(&info);
    return {};
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, Bytes.data(), static_cast<unsigned long>(Bytes.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = Greyscale ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_start_decompress(&info);
  result = QImage(int(info.output_width), int(info.output_height),
                  Greyscale ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = result.scanLine(int(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return result;
}

TfrmFileOptions::TfrmFileOptions(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmFileOptions"));
  setWindowTitle(QStringLiteral("File Options"));
  HelpContext = 102;
  PageControl1 = new QTabWidget(this);

  // JPEG page.
  auto* jpeg = new QWidget;
  auto* qualityBox = new QGroupBox(QStringLiteral("&Quality (0..100)"), jpeg);
  auto* qrow = new QHBoxLayout(qualityBox);
  trkJPEGCompression = new QSlider(Qt::Horizontal, qualityBox);
  trkJPEGCompression->setObjectName(QStringLiteral("trkJPEGCompression"));
  trkJPEGCompression->setRange(0, 100);
  trkJPEGCompression->setValue(75);
  trkJPEGCompression->setTickInterval(5);
  trkJPEGCompression->setTickPosition(QSlider::TicksBelow);
  iedQuality = new TIntEdit(qualityBox);
  iedQuality->setObjectName(QStringLiteral("iedQuality"));
  iedQuality->SetMaxValue(100);
  iedQuality->SetValue(0);
  iedQuality->setFixedWidth(50);
  GroupKeyLeadsTo(qualityBox, trkJPEGCompression);
  SpeakAs(trkJPEGCompression, QStringLiteral("Quality"));
  SpeakAs(iedQuality, QStringLiteral("Quality (0..100)"));
  qrow->addWidget(trkJPEGCompression);
  qrow->addWidget(iedQuality);
  auto preview = [jpeg](const char* name) {
    auto* l = new QLabel(jpeg);
    l->setObjectName(QString::fromLatin1(name));
    l->setFixedSize(PreviewW, PreviewH);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setCursor(Qt::OpenHandCursor);
    return l;
  };
  Image1 = preview("Image1");
  Image2 = preview("Image2");
  SpeakAs(Image1, QStringLiteral("Original picture"));
  SpeakAs(Image2, QStringLiteral("Compressed picture"));
  Image1->installEventFilter(this);
  Image2->installEventFilter(this);
  lblUncompressed = new QLabel(QStringLiteral("0 bytes"), jpeg);
  lblCompressed = new QLabel(QStringLiteral("0 bytes"), jpeg);
  SpeakAs(lblUncompressed, QStringLiteral("Uncompressed Size"));
  SpeakAs(lblCompressed, QStringLiteral("Compressed Size"));
  cmbFileType = new QComboBox(jpeg);
  cmbFileType->setObjectName(QStringLiteral("cmbFileType"));
  cmbFileType->addItems({QStringLiteral("Colour"), QStringLiteral("Greyscale")});
  cmbMode = new QComboBox(jpeg);
  cmbMode->setObjectName(QStringLiteral("cmbMode"));
  cmbMode->addItems({QStringLiteral("Progressive"), QStringLiteral("Standard")});
  auto* jgrid = new QGridLayout(jpeg);
  jgrid->addWidget(qualityBox, 0, 0, 1, 2);
  jgrid->addWidget(Image1, 1, 0);
  jgrid->addWidget(Image2, 1, 1);
  jgrid->addWidget(new QLabel(QStringLiteral("Uncompressed Size:"), jpeg), 2, 0);
  jgrid->addWidget(new QLabel(QStringLiteral("Compressed Size:"), jpeg), 2, 1);
  jgrid->addWidget(lblUncompressed, 3, 0);
  jgrid->addWidget(lblCompressed, 3, 1);
  jgrid->addWidget(BuddyLabel(QStringLiteral("&File Type"), cmbFileType, jpeg), 4, 0);
  jgrid->addWidget(BuddyLabel(QStringLiteral("&Mode"), cmbMode, jpeg), 4, 1);
  jgrid->addWidget(cmbFileType, 5, 0);
  jgrid->addWidget(cmbMode, 5, 1);
  PageControl1->addTab(jpeg, QStringLiteral("JPEG"));

  // FITS page.
  auto* fits = new QWidget;
  auto* typeBox = new QGroupBox(QStringLiteral("Data Type"), fits);
  auto* tcol = new QVBoxLayout(typeBox);
  grpDataType = new QButtonGroup(this);
  auto* r16 = new QRadioButton(QStringLiteral("&16 bit integer"), typeBox);
  auto* r32 = new QRadioButton(QStringLiteral("&32 bit float"), typeBox);
  grpDataType->addButton(r16, 0);
  grpDataType->addButton(r32, 1);
  r32->setChecked(true);
  SpeakAs(r16, r16->text());
  SpeakAs(r32, r32->text());
  tcol->addWidget(r16);
  tcol->addWidget(r32);
  btnNewHeader = new QPushButton(QStringLiteral("&New Header"), fits);
  btnNewHeader->setObjectName(QStringLiteral("btnNewHeader"));
  auto* fcol = new QVBoxLayout(fits);
  fcol->addWidget(typeBox);
  fcol->addWidget(btnNewHeader, 0, Qt::AlignLeft);
  fcol->addStretch(1);
  PageControl1->addTab(fits, QStringLiteral("FITS"));

  // FITS Header page.
  auto* header = new QWidget;
  auto* current = new QGroupBox(QStringLiteral("Current FITS Header"), header);
  auto* ccol = new QVBoxLayout(current);
  ListBox = new QListWidget(current);
  ListBox->setObjectName(QStringLiteral("ListBox"));
  QFont mono(QStringLiteral("Liberation Mono"));
  mono.setStyleHint(QFont::Monospace);
  ListBox->setFont(mono);
  SpeakAs(ListBox, QStringLiteral("Current FITS Header"));
  ccol->addWidget(ListBox);
  auto* hcol = new QVBoxLayout(header);
  hcol->addWidget(current);
  PageControl1->addTab(header, QStringLiteral("FITS Header"));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(PageControl1);
  layout->addLayout(MakeButtons(true));
  connect(btnOK, &QPushButton::clicked, this, [this] { SetModalResult(mrOk); });
  connect(btnNewHeader, &QPushButton::clicked, this, [this] { btnNewHeaderClick(); });
  connect(trkJPEGCompression, &QSlider::valueChanged, this, [this](int) { trkJPEGCompressionChange(); });
  connect(cmbFileType, &QComboBox::activated, this, [this](int) { cmbFileTypeChange(); });
  resize(600, 420);
}

int TfrmFileOptions::NewHeaderBITPIX() const { return grpDataType->checkedId() == 0 ? 16 : -32; }

void TfrmFileOptions::Execute(bool Modal) {
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  PageControl1->setCurrentIndex(child && child->DataImage->IsColour ? 0 : 1);
  ListFITSHeader(child, ListBox);
  if (Modal) ShowModal();
}

void TfrmFileOptions::btnNewHeaderClick() {
  NewFITSHeader(MainForm ? MainForm->ActiveMDIChild() : nullptr, grpDataType->checkedId() == 0, ListBox, this);
}

void TfrmFileOptions::showEvent(QShowEvent* Event) {
  TForm::showEvent(Event);
  // The encoder starts at the box's quality (0 at first, while the track bar
  // shows 75), progressive, in colour.
  FQuality = iedQuality->Value();
  FGreyscale = false;
  FSource = QImage();
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (child) FSource = RenderedPictureAt100(child).convertToFormat(QImage::Format_RGB888);
  FPan = FLastMouse = QPoint(0, 0);
  Compress();
  ShowPreviews();
}

void TfrmFileOptions::hideEvent(QHideEvent* Event) {
  FSource = FResult = QImage();
  FJPEG.clear();
  TForm::hideEvent(Event);
}

void TfrmFileOptions::Compress() {
  FJPEG.clear();
  FResult = QImage();
  if (FSource.isNull()) return;
  if (!EncodeJPEG(PictureToFastBMP(FSource), FQuality, true, FJPEG)) FJPEG.clear();
  FResult = DecodeJPEGPreview(FJPEG, FGreyscale);
  lblUncompressed->setText(QStringLiteral("%1 bytes").arg(qint64(FSource.width()) * FSource.height() * 3));
  lblCompressed->setText(QStringLiteral("%1 bytes").arg(FJPEG.size()));
}

void TfrmFileOptions::trkJPEGCompressionChange() {
  iedQuality->SetValue(trkJPEGCompression->value());
  FQuality = trkJPEGCompression->value();
  Compress();
  ShowPreviews();
}

void TfrmFileOptions::cmbFileTypeChange() {
  FGreyscale = cmbFileType->currentIndex() == 1;
  Compress();
  ShowPreviews();
}

void TfrmFileOptions::ShowPreviews() {
  auto part = [this](const QImage& Picture) {
    QPixmap pm(PreviewW, PreviewH);
    pm.fill(palette().color(QPalette::Window));
    if (!Picture.isNull()) {
      QPainter p(&pm);
      p.drawImage(QPoint(0, 0), Picture, QRect(FPan, QSize(PreviewW, PreviewH)));
    }
    return pm;
  };
  Image1->setPixmap(part(FSource));
  Image2->setPixmap(part(FResult));
}

void TfrmFileOptions::Pan(int DX, int DY) {
  // The shown part stays inside the source picture and never goes negative.
  QPoint p = FPan + QPoint(DX, DY);
  p.setX(std::max(0, std::min(p.x(), FSource.width() - PreviewW)));
  p.setY(std::max(0, std::min(p.y(), FSource.height() - PreviewH)));
  FPan = p;
  ShowPreviews();
}

bool TfrmFileOptions::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == Image1 || Watched == Image2) {
    // Cast only once the type says it is a mouse event.
    auto mouse = [Event] { return static_cast<QMouseEvent*>(Event); };
    switch (Event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease: FLastMouse = mouse()->position().toPoint(); return true;
      case QEvent::MouseMove:
        if (auto* m = mouse(); m->buttons() & Qt::LeftButton) {
          const QPoint now = m->position().toPoint();
          const QPoint d = FLastMouse - now;
          Pan(d.x(), d.y());
          FLastMouse = now;
        }
        return true;
      default: break;
    }
  }
  return TForm::eventFilter(Watched, Event);
}
