#include "dialogs/FFTEditForm.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>
#include <new>
#include <stdexcept>

#include "app/Accessibility.h"
#include "app/Child.h"
#include "app/Main.h"
#include "dialogs/FFTCorrelationForm.h"
#include "engine/DataImage.h"
#include "engine/FFT.h"
#include "platform/FastBMPImage.h"

TfrmFFTEdit* frmFFTEdit = nullptr;

// ------------------------------------------------------------ the picture

TFFTPicture::TFFTPicture(QWidget* Parent) : QWidget(Parent) {
  setObjectName(QStringLiteral("Image"));
  setAccessibleName(QStringLiteral("Power spectrum"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::CrossCursor);
}

void TFFTPicture::SetPicture(const QImage& Image) {
  Picture = Image;
  BandTool = 0;
  setFixedSize(Picture.size());
  update();
}

void TFFTPicture::paintEvent(QPaintEvent* Event) {
  QPainter p(this);
  const QRect r = Event->rect();
  // Only the exposed part: the picture can be thousands of pixels wide.
  p.drawImage(r, Picture, r);
  if (BandTool == 0) return;
  // Drawn inverted over whatever lies below, as a not-xor pen would.
  p.setCompositionMode(QPainter::CompositionMode_Difference);
  p.setPen(QPen(Qt::white, BandWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  const QRect box = QRect(BandStart, BandEnd).normalized();
  if (BandTool == TfrmFFTEdit::ToolLine) {
    p.drawLine(BandStart, BandEnd);
  } else {
    p.setBrush(Qt::white);
    if (BandTool == TfrmFFTEdit::ToolRectangle)
      p.drawRect(box);
    else
      p.drawEllipse(box);
  }
}

void TFFTPicture::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton && OnMouseDown) OnMouseDown(Event->position().toPoint());
}
void TFFTPicture::mouseMoveEvent(QMouseEvent* Event) {
  if (OnMouseMove) OnMouseMove(Event->position().toPoint());
}
void TFFTPicture::mouseReleaseEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton && OnMouseUp) OnMouseUp(Event->position().toPoint());
}

// ------------------------------------------------------------ the window

namespace {
// The speed buttons' glyphs: a scribble, a line, a filled box, a filled ellipse.
QIcon ToolGlyph(int Tool) {
  QPixmap pix(20, 20);
  pix.fill(Qt::transparent);
  QPainter p(&pix);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 2));
  switch (Tool) {
    case TfrmFFTEdit::ToolFreehand: {
      QPainterPath path(QPointF(3, 15));
      path.cubicTo(6, 2, 11, 20, 17, 4);
      p.drawPath(path);
      break;
    }
    case TfrmFFTEdit::ToolLine: p.drawLine(3, 17, 17, 3); break;
    case TfrmFFTEdit::ToolRectangle:
      p.setBrush(Qt::black);
      p.drawRect(3, 5, 14, 10);
      break;
    default:
      p.setBrush(Qt::black);
      p.drawEllipse(2, 4, 16, 12);
      break;
  }
  return QIcon(pix);
}

QToolButton* SpeedButton(QWidget* Parent, const char* Name, const QString& Hint, int Tool) {
  auto* b = new QToolButton(Parent);
  b->setObjectName(QLatin1String(Name));
  b->setCheckable(true);
  b->setAutoRaise(true);
  b->setIcon(ToolGlyph(Tool));
  b->setIconSize(QSize(20, 20));
  b->setToolTip(Hint);
  b->setAccessibleName(Hint);
  return b;
}
}  // namespace

TfrmFFTEdit::TfrmFFTEdit(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmFFTEdit"));
  setWindowTitle(QStringLiteral("FFT Editing"));
  setAccessibleName(windowTitle());
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMaximizeButtonHint);

  auto* Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  auto* tools = new QVBoxLayout(Panel1);
  KeptOnCancel(Panel1);
  btnPencil = SpeedButton(Panel1, "btnPencil", QStringLiteral("Freehand"), ToolFreehand);
  btnLine = SpeedButton(Panel1, "btnLine", QStringLiteral("Line"), ToolLine);
  btnRectangle = SpeedButton(Panel1, "btnRectangle", QStringLiteral("Rectangle"), ToolRectangle);
  btnCircle = SpeedButton(Panel1, "btnCircle", QStringLiteral("Ellipse"), ToolEllipse);
  FTools = new QButtonGroup(this);
  FTools->setExclusive(true);
  FTools->addButton(btnPencil, ToolFreehand);
  FTools->addButton(btnLine, ToolLine);
  FTools->addButton(btnRectangle, ToolRectangle);
  FTools->addButton(btnCircle, ToolEllipse);
  btnPencil->setChecked(true);
  for (QToolButton* b : {btnPencil, btnLine, btnRectangle, btnCircle}) tools->addWidget(b);
  cmbPenWidth = new QComboBox(Panel1);
  cmbPenWidth->setObjectName(QStringLiteral("cmbPenWidth"));
  cmbPenWidth->setAccessibleName(QStringLiteral("Brush width"));
  for (int i = 1; i <= 15; ++i) cmbPenWidth->addItem(QString::number(i));
  cmbPenWidth->setCurrentIndex(4);
  auto* lblWidth = new QLabel(QStringLiteral("&Brush /\nwidth:"), Panel1);
  lblWidth->setBuddy(cmbPenWidth);
  tools->addSpacing(8);
  tools->addWidget(lblWidth);
  tools->addWidget(cmbPenWidth);
  tools->addStretch(1);

  ScrollBox1 = new QScrollArea(this);
  ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
  ScrollBox1->setAccessibleName(QStringLiteral("Spectrum"));
  Accessibility::NameScrollBars(ScrollBox1, QStringLiteral("Spectrum"));
  ScrollBox1->setWidgetResizable(false);
  ScrollBox1->setBackgroundRole(QPalette::Dark);
  Image = new TFFTPicture;
  ScrollBox1->setWidget(Image);
  Image->OnMouseDown = [this](QPoint P) { ImageMouseDown(P); };
  Image->OnMouseMove = [this](QPoint P) { ImageMouseMove(P); };
  Image->OnMouseUp = [this](QPoint P) { ImageMouseUp(P); };

  auto* middle = new QHBoxLayout;
  middle->addWidget(Panel1);
  middle->addWidget(ScrollBox1, 1);

  auto* buttons = MakeButtons();
  btnOK->setAccessibleName(QStringLiteral("OK"));
  btnCancel->setAccessibleName(QStringLiteral("Cancel"));
  btnReset = new QPushButton(QStringLiteral("Reset"), this);
  btnReset->setObjectName(QStringLiteral("btnReset"));
  btnReset->setAccessibleName(QStringLiteral("Reset"));
  btnReset->setAutoDefault(false);
  buttons->addWidget(btnReset);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(middle, 1);
  layout->addLayout(buttons);
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(btnReset, &QPushButton::clicked, this, [this] { btnResetClick(); });
  resize(640, 560);
}

TfrmFFTEdit::~TfrmFFTEdit() = default;

int TfrmFFTEdit::PenWidth() const { return cmbPenWidth->currentIndex() + 1; }

int TfrmFFTEdit::Execute() {
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!child || !child->DataImage) return mrCancel;
  const TDataImage& source = *child->DataImage;
  if (source.IsColour) {
    MessageBox::ShowWarning(QStringLiteral("FFT editing can only be performed on grey scale images."), this);
    return mrCancel;
  }
  // The transform's memory grows with the square of the padded side.
  if (NextPowerOfTwo(source.Width) > MaxPaddedSide || NextPowerOfTwo(source.Height) > MaxPaddedSide ||
      !source.Pixels) {
    MessageBox::ShowWarning(
        QStringLiteral("FFT editing can only be performed on images of at most %1 pixels on a side.")
            .arg(MaxPaddedSide),
        this);
    return mrCancel;
  }
  FDrawing = false;
  FSource = child;
  FWidth = source.Width;
  FHeight = source.Height;
  FPadded = PadToPowerOfTwo(source, FOffsetX, FOffsetY, FPW, FPH);
  if (!FPadded || !FPadded->AllocateComplex(FPW, FPH)) {
    FPadded.reset();
    throw std::bad_alloc();
  }
  // (-1)^(x + y) brings the zero frequency to the middle of the picture.
  float* pixels = FPadded->Pixels;
  for (int y = 0; y < FPH; ++y)
    for (int x = (y & 1) ? 0 : 1; x < FPW; x += 2) pixels[std::size_t(y) * FPW + x] = -pixels[std::size_t(y) * FPW + x];
  if (!FPadded->FFT()) {
    FPadded.reset();
    throw std::runtime_error("The spectrum could not be computed.");
  }
  UpdateSpectrumDisplay();
  return ShowModal();
}

void TfrmFFTEdit::UpdateSpectrumDisplay() {
  if (!FPadded) return;
  const std::size_t n = std::size_t(FPW) * std::size_t(FPH);
  const TComplex* c = FPadded->ComplexPlane;
  float* d = FPadded->Pixels;
  float max = 0.0f;
  for (std::size_t i = 0; i < n; ++i) {
    const long double m = std::sqrt((long double)c[i].Re * c[i].Re + (long double)c[i].Im * c[i].Im);
    d[i] = float(std::log(m + 0.5L));
    if (d[i] > max) max = d[i];
  }
  // An all-zero image has no positive log magnitude: its spectrum shows black.
  const long double scale = max > 0.0f ? 255.0L / max : 0.0L;
  for (std::size_t i = 0; i < n; ++i) d[i] = float(scale * d[i]);
  FPadded->BlackPoint = 0.0f;
  FPadded->WhitePoint = 255.0f;
  ShowRendered();
}

void TfrmFFTEdit::ShowRendered() {
  FPadded->UpdateBitmap();
  Image->SetPicture(FastBMPToQImage(FPadded->Bitmap).convertToFormat(QImage::Format_RGB32));
}

void TfrmFFTEdit::DrawShape(QPainter& Painter, int Tool, QPoint From, QPoint To) const {
  Painter.setRenderHint(QPainter::Antialiasing, false);
  Painter.setPen(QPen(Qt::black, PenWidth(), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  if (Tool == ToolFreehand || Tool == ToolLine) {
    Painter.drawLine(From, To);
    return;
  }
  Painter.setBrush(Qt::black);
  const QRect box = QRect(From, To).normalized();
  if (Tool == ToolRectangle)
    Painter.drawRect(box);
  else
    Painter.drawEllipse(box);
}

void TfrmFFTEdit::ImageMouseDown(QPoint P) {
  if (Image->Picture.isNull()) return;
  FDrawing = true;
  FStart = FLast = P;
  FTool = FTools->checkedId() > 0 ? FTools->checkedId() : ToolFreehand;
}

void TfrmFFTEdit::ImageMouseMove(QPoint P) {
  if (!FDrawing) return;
  const int margin = PenWidth() + 2;
  if (FTool == ToolFreehand) {
    {
      QPainter p(&Image->Picture);
      DrawShape(p, ToolFreehand, FLast, P);
    }
    Image->update(QRect(FLast, P).normalized().adjusted(-margin, -margin, margin, margin));
    FStart = FLast = P;
    return;
  }
  const QRect old = QRect(FStart, FLast).normalized().adjusted(-margin, -margin, margin, margin);
  Image->BandTool = FTool;
  Image->BandStart = FStart;
  Image->BandEnd = P;
  Image->BandWidth = PenWidth();
  FLast = P;
  Image->update(old);
  Image->update(QRect(FStart, P).normalized().adjusted(-margin, -margin, margin, margin));
}

void TfrmFFTEdit::ImageMouseUp(QPoint P) {
  if (!FDrawing) return;
  FDrawing = false;
  if (FTool == ToolFreehand) return;
  {
    QPainter p(&Image->Picture);
    DrawShape(p, FTool, FStart, P);
  }
  Image->BandTool = 0;
  Image->update();
}

void TfrmFFTEdit::btnResetClick() {
  if (FPadded) ShowRendered();
}

void TfrmFFTEdit::btnOKClick() {
  if (!FPadded) return;
  auto result = std::make_unique<TDataImage>();
  if (!result->Allocate(FWidth, FHeight, 3, false) || !result->Pixels) throw std::bad_alloc();
  TComplex* c = FPadded->ComplexPlane;
  const QImage& picture = Image->Picture;
  if (picture.width() == FPW && picture.height() == FPH) {
    for (int y = 0; y < FPH; ++y) {
      const QRgb* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
      for (int x = 0; x < FPW; ++x)
        if ((row[x] & 0xFFFFFFu) == 0) c[std::size_t(y) * FPW + x] = TComplex{};
    }
  }
  if (!FPadded->InverseFFT()) throw std::runtime_error("The spectrum could not be transformed back.");
  const float* p = FPadded->Pixels;
  for (int y = FOffsetY; y < FOffsetY + FHeight; ++y) {
    float* out = result->Pixels + std::size_t(y - FOffsetY) * FWidth;
    for (int x = FOffsetX; x < FOffsetX + FWidth; ++x) {
      float v = p[std::size_t(y) * FPW + x];
      if ((x + y) & 1) v = -v;
      out[x - FOffsetX] = v < 0.0f ? 0.0f : v;
    }
  }
  auto* child = new TChildForm;
  child->SetCaption(QStringLiteral("FFT Edit"));
  child->DataImage = std::move(result);
  child->UpdateImage();
  SetModalResult(mrOk);
}

void TfrmFFTEdit::hideEvent(QHideEvent* Event) {
  // The padded image and the picture live only while the editor is open.
  FPadded.reset();
  FSource = nullptr;
  FDrawing = false;
  Image->SetPicture(QImage());
  TForm::hideEvent(Event);
}
