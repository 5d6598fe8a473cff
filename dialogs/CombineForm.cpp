#include "dialogs/CombineForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <stdexcept>

#include "app/Accessibility.h"
#include "app/Child.h"
#include "app/Display.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/Main.h"
#include "dialogs/BuddyLabel.h"
#include "engine/Combine.h"
#include "platform/NumFormat.h"
#include "engine/Errors.h"

TfrmCombine* frmCombine = nullptr;

QChar CaptionKeyLetter(const QString& Caption) {
  const int folder = std::max(Caption.lastIndexOf(QLatin1Char('\\')), Caption.lastIndexOf(QLatin1Char(':')));
  const bool hasExtension = Caption.indexOf(QLatin1Char('.'), folder + 1) >= 0;
  // Position counted from 1: the last character, or Length - 4.
  const qsizetype position = hasExtension ? Caption.size() - 4 : Caption.size();
  if (position < 1 || position > Caption.size()) return QChar();
  return Caption[position - 1].toUpper();
}

namespace {
QComboBox* PlaneList(const char* Name, QWidget* Parent) {
  auto* list = new QComboBox(Parent);
  list->setObjectName(QString::fromLatin1(Name));
  list->setMinimumContentsLength(20);
  return list;
}

TFloatEdit* IntensityBox(const char* Name, QWidget* Parent) {
  auto* box = new TFloatEdit(Parent);
  box->setObjectName(QString::fromLatin1(Name));
  box->SetMinValue(0.001L);
  box->SetMaxValue(2e32L);
  box->SetIncrement(1);
  box->SetValue(1);
  return box;
}

TIntEdit* ShiftBox(const char* Name, const QString& Spoken, QWidget* Parent) {
  auto* box = new TIntEdit(Parent);
  box->setObjectName(QString::fromLatin1(Name));
  box->SetIncrement(1);
  box->SetValue(0);
  box->setAccessibleName(Spoken);
  return box;
}
}  // namespace

TfrmCombine::TfrmCombine(QWidget* Parent) : TForm(Parent), FPreview(std::make_unique<TDataImage>()) {
  setObjectName(QStringLiteral("frmCombine"));
  setWindowTitle(QStringLiteral("Combine"));
  setAccessibleName(QStringLiteral("Combine"));

  auto* planes = new QVBoxLayout;
  const char* groups[3] = {"Red Image", "Green Image", "Blue Image"};
  const char* lists[3] = {"cmbRed", "cmbGreen", "cmbBlue"};
  const char* boxes[3] = {"fedRI", "fedGI", "fedBI"};
  QComboBox** listFields[3] = {&cmbRed, &cmbGreen, &cmbBlue};
  TFloatEdit** boxFields[3] = {&fedRI, &fedGI, &fedBI};
  const char* planeNames[3] = {"Red", "Green", "Blue"};
  // The same caption three times: a letter of its own in each group.
  const char* intensity[3] = {"Rel&ative intensity", "Relati&ve intensity", "Relative inten&sity"};
  for (int p = 0; p < 3; ++p) {
    // The group's "&" key moves to its list.
    auto* group = new QGroupBox(QStringLiteral("&") + QString::fromLatin1(groups[p]), this);
    auto* grid = new QGridLayout(group);
    *listFields[p] = PlaneList(lists[p], group);
    *boxFields[p] = IntensityBox(boxes[p], group);
    const QString plane = QString::fromLatin1(planeNames[p]);
    (*listFields[p])->setAccessibleName(plane + QStringLiteral(" image"));
    (*boxFields[p])->setAccessibleName(plane + QStringLiteral(" relative intensity"));
    GroupKeyLeadsTo(group, *listFields[p]);
    grid->addWidget(*listFields[p], 0, 0, 1, 2);
    grid->addWidget(BuddyLabel(QString::fromLatin1(intensity[p]), *boxFields[p], group), 1, 0);
    grid->addWidget(*boxFields[p], 1, 1);
    planes->addWidget(group);
  }

  auto* shift = new QGroupBox(QStringLiteral("Plane Shift"), this);
  auto* sg = new QGridLayout(shift);
  sg->addWidget(new QLabel(QStringLiteral("X"), shift), 0, 1);
  sg->addWidget(new QLabel(QStringLiteral("Y"), shift), 0, 2);
  iedRedX = ShiftBox("iedRedX", QStringLiteral("Red shift X"), shift);
  iedRedY = ShiftBox("iedRedY", QStringLiteral("Red shift Y"), shift);
  iedGreenX = ShiftBox("iedGreenX", QStringLiteral("Green shift X"), shift);
  iedGreenY = ShiftBox("iedGreenY", QStringLiteral("Green shift Y"), shift);
  iedBlueX = ShiftBox("iedBlueX", QStringLiteral("Blue shift X"), shift);
  iedBlueY = ShiftBox("iedBlueY", QStringLiteral("Blue shift Y"), shift);
  TIntEdit* rows[3][2] = {{iedRedX, iedRedY}, {iedGreenX, iedGreenY}, {iedBlueX, iedBlueY}};
  const char* rowNames[3] = {"R&ed", "Gree&n", "B&lue"};
  for (int r = 0; r < 3; ++r) {
    // The row's label reaches its X box; Tab goes on to Y.
    auto* label = new QLabel(QString::fromLatin1(rowNames[r]), shift);
    label->setBuddy(rows[r][0]);
    sg->addWidget(label, r + 1, 0);
    sg->addWidget(rows[r][0], r + 1, 1);
    sg->addWidget(rows[r][1], r + 1, 2);
  }
  planes->addWidget(shift);

  grpPreview = new QGroupBox(QStringLiteral("Preview - 100%"), this);
  grpPreview->setObjectName(QStringLiteral("grpPreview"));
  auto* pv = new QVBoxLayout(grpPreview);
  auto* zoomRow = new QHBoxLayout;
  btnZoomIn = new QToolButton(grpPreview);
  btnZoomIn->setObjectName(QStringLiteral("btnZoomIn"));
  btnZoomIn->setText(QStringLiteral("+"));
  btnZoomIn->setToolTip(QStringLiteral("Zoom In"));
  btnZoomIn->setStatusTip(QStringLiteral("Zoom in"));
  btnZoomIn->setAccessibleName(QStringLiteral("Zoom In"));
  btnZoomOut = new QToolButton(grpPreview);
  btnZoomOut->setObjectName(QStringLiteral("btnZoomOut"));
  btnZoomOut->setText(QStringLiteral("-"));
  btnZoomOut->setToolTip(QStringLiteral("Zoom Out"));
  btnZoomOut->setStatusTip(QStringLiteral("Zoom out"));
  btnZoomOut->setAccessibleName(QStringLiteral("Zoom Out"));
  zoomRow->addWidget(btnZoomIn);
  zoomRow->addWidget(btnZoomOut);
  zoomRow->addStretch(1);
  pv->addLayout(zoomRow);
  ScrollBox = new QScrollArea(grpPreview);
  ScrollBox->setObjectName(QStringLiteral("ScrollBox"));
  ScrollBox->setAccessibleName(QStringLiteral("Preview"));
  Accessibility::NameScrollBars(ScrollBox, QStringLiteral("Preview"));
  ScrollBox->setWidgetResizable(false);
  ScrollBox->setMinimumSize(300, 300);
  Display = new TDisplay;
  Display->setObjectName(QStringLiteral("Display"));
  Display->setAccessibleName(QStringLiteral("Combined preview"));
  ScrollBox->setWidget(Display);
  pv->addWidget(ScrollBox, 1);
  btnUpdate = new QPushButton(QStringLiteral("&Update"), grpPreview);
  btnUpdate->setObjectName(QStringLiteral("btnUpdate"));
  SpeakAs(btnUpdate, btnUpdate->text());
  pv->addWidget(btnUpdate);

  auto* top = new QHBoxLayout;
  top->addLayout(planes);
  top->addWidget(grpPreview, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(MakeButtons());
  SpeakAs(btnOK, btnOK->text());
  SpeakAs(btnCancel, btnCancel->text());
  disconnect(btnCancel, nullptr, this, nullptr);
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(btnUpdate, &QPushButton::clicked, this, [this] { btnUpdateClick(); });
  connect(btnZoomIn, &QToolButton::clicked, this, [this] { btnZoomInClick(); });
  connect(btnZoomOut, &QToolButton::clicked, this, [this] { btnZoomOutClick(); });
}

TfrmCombine::~TfrmCombine() = default;

TChildForm* TfrmCombine::WindowAt(int Index) const {
  return Index >= 0 && Index < FWindows.size() ? FWindows[Index].data() : nullptr;
}

const TDataImage* TfrmCombine::ImageAt(int Index) const {
  TChildForm* w = WindowAt(Index);
  return w ? w->DataImage.get() : nullptr;
}

void TfrmCombine::Execute() {
  QComboBox* lists[3] = {cmbRed, cmbGreen, cmbBlue};
  FWindows.clear();
  for (QComboBox* list : lists) list->clear();
  if (MainForm)
    for (TChildForm* child : MainForm->MDIChildren()) {
      FWindows.push_back(child);
      for (QComboBox* list : lists) list->addItem(child->Caption());
    }
  for (QComboBox* list : lists) list->setCurrentIndex(0);
  // The planes guessed from the captions; a later match wins.
  const QChar letters[3] = {QLatin1Char('R'), QLatin1Char('G'), QLatin1Char('B')};
  const QString words[3] = {QStringLiteral("RED"), QStringLiteral("GREEN"), QStringLiteral("BLUE")};
  for (int i = 0; i < FWindows.size(); ++i) {
    const QString caption = cmbRed->itemText(i);
    const QChar key = CaptionKeyLetter(caption);
    const QString upper = caption.toUpper();
    for (int p = 0; p < 3; ++p)
      if (key == letters[p] || upper.contains(words[p])) lists[p]->setCurrentIndex(i);
  }
  Display->SetBitmap(QImage());
  Display->Redraw();
  ShowModal();
}

bool TfrmCombine::ValidateSelection(const TDataImage* Red, const TDataImage* Green, const TDataImage* Blue) {
  // A list with nothing chosen has no image; it is refused with its plane's text.
  const QString dims = QStringLiteral("All images to be combined must have the same dimensions.");
  if (Red && Green && Blue) {
    if (Red->Width != Green->Width || Red->Width != Blue->Width || Red->Height != Green->Height ||
        Red->Height != Blue->Height) {
      MessageBox::ShowWarning(dims, this);
      return false;
    }
  }
  const QComboBox* lists[3] = {cmbRed, cmbGreen, cmbBlue};
  const TDataImage* images[3] = {Red, Green, Blue};
  const char* names[3] = {"red", "green", "blue"};
  for (int p = 0; p < 3; ++p)
    if (lists[p]->currentText().isEmpty() || !images[p]) {
      MessageBox::ShowWarning(QStringLiteral("Please select and image for the %1 plane.").arg(QLatin1String(names[p])),
                              this);
      return false;
    }
  if (Red->IsColour || Green->IsColour || Blue->IsColour) {
    MessageBox::ShowWarning(
        QStringLiteral("One of the selected images is already a colour image.  Only grey scale images may be combined."),
        this);
    return false;
  }
  return true;
}

void TfrmCombine::Combine(TDataImage& Output) {
  TDataImage& red = *WindowAt(cmbRed->currentIndex())->DataImage;
  TDataImage& green = *WindowAt(cmbGreen->currentIndex())->DataImage;
  TDataImage& blue = *WindowAt(cmbBlue->currentIndex())->DataImage;
  CombineRGB(red, green, blue, float(fedRI->ConstrainedValue()), float(fedGI->ConstrainedValue()),
             float(fedBI->ConstrainedValue()), iedRedX->Value(), iedRedY->Value(), iedGreenX->Value(),
             iedGreenY->Value(), iedBlueX->Value(), iedBlueY->Value(), Output);
}

void TfrmCombine::btnUpdateClick() {
  const TDataImage* red = ImageAt(cmbRed->currentIndex());
  if (!ValidateSelection(red, ImageAt(cmbGreen->currentIndex()), ImageAt(cmbBlue->currentIndex()))) return;
  try {
    if (!FPreview->Allocate(red->Width, red->Height, 0, true)) throw std::bad_alloc();
    Combine(*FPreview);
    FPreview->UpdateBitmap();
    Display->Zoom = float(FZoom);
    Display->SetBitmap(FPreview->Bitmap);
    Display->Redraw();
  } catch (const std::bad_alloc&) {
    FPreview->FreeData();
    MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText), this);
    return;
  } catch (const std::exception& e) {
    FPreview->FreeData();
    MessageBox::ShowError(QString::fromStdString(e.what()), this);
    return;
  }
  // The display keeps its own copy of the picture.
  FPreview->FreeData();
}

void TfrmCombine::ZoomChanged() {
  grpPreview->setTitle(QStringLiteral("Preview - ") + QString::fromStdString(NumFormat::FloatToStr(FZoom)) +
                       QStringLiteral("%"));
  Display->Zoom = float(FZoom);
  Display->Redraw();
}

void TfrmCombine::btnZoomInClick() {
  if (FZoom >= 400) return;
  FZoom *= 2;
  ZoomChanged();
}

void TfrmCombine::btnZoomOutClick() {
  if (FZoom <= 100) return;
  FZoom /= 2;
  ZoomChanged();
}

void TfrmCombine::btnOKClick() {
  const TDataImage* red = ImageAt(cmbRed->currentIndex());
  if (!ValidateSelection(red, ImageAt(cmbGreen->currentIndex()), ImageAt(cmbBlue->currentIndex()))) return;
  // The planes are combined before the window exists, so a plane that cannot
  // be scaled leaves no half-made window behind.
  auto image = std::make_unique<TDataImage>();
  try {
    if (!image->Allocate(red->Width, red->Height, 0, true)) throw std::bad_alloc();
    Combine(*image);
  } catch (const std::bad_alloc&) {
    MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText), this);
    return;
  } catch (const std::exception& e) {
    MessageBox::ShowWarning(QString::fromStdString(e.what()), this);
    return;
  }
  auto* child = new TChildForm;
  child->DataImage = std::move(image);
  SetModalResult(mrOk);
  child->SetCaption(QStringLiteral("Combine"));
  child->UpdateImage();
}

void TfrmCombine::btnCancelClick() {
  SetModalResult(mrCancel);
  FPreview = std::make_unique<TDataImage>();
}
