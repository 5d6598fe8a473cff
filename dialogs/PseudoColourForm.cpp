#include "dialogs/PseudoColourForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <exception>

#include "app/IntEdit.h"
#include "app/PreviewFrame.h"
#include "dialogs/BuddyLabel.h"
#include "dialogs/PaletteBuilder.h"
#include "dialogs/StoredSettings.h"
#include "engine/ClampByte.h"
#include "platform/Registry.h"

TfrmPseudoColour* frmPseudoColour = nullptr;

TColourPicker::TColourPicker(QWidget* Parent) : QWidget(Parent) {
  setMouseTracking(true);
  setFixedSize(255, 180);
  setCursor(Qt::CrossCursor);
}

void TColourPicker::SetPicture(const QImage& Picture) {
  FPicture = Picture;
  update();
}

void TColourPicker::paintEvent(QPaintEvent*) {
  QPainter p(this);
  // One picture pixel per widget pixel, whatever the screen's scaling.
  if (!FPicture.isNull()) p.drawImage(QRect(QPoint(0, 0), FPicture.size()), FPicture);
}

void TColourPicker::mouseMoveEvent(QMouseEvent* Event) {
  const QPoint pos = Event->position().toPoint();
  if (OnMouseMove) OnMouseMove(Event->buttons(), pos.x(), pos.y());
}

void TColourPicker::mouseReleaseEvent(QMouseEvent* Event) {
  const QPoint pos = Event->position().toPoint();
  if (OnMouseUp) OnMouseUp(Event->button(), pos.x(), pos.y());
}

namespace {
TIntEdit* ColourBox(const char* Name, QWidget* Parent) {
  auto* box = new TIntEdit(Parent);
  box->setObjectName(QString::fromLatin1(Name));
  box->SetMinValue(0);
  box->SetMaxValue(255);
  box->SetIncrement(1);
  box->SetValue(0);
  box->setMaximumWidth(56);
  return box;
}

QLabel* Strip(const char* Name, const QString& Spoken, QWidget* Parent) {
  auto* label = new QLabel(Parent);
  label->setObjectName(QString::fromLatin1(Name));
  label->setAccessibleName(Spoken);
  label->setFixedSize(256, 17);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

TPaletteEntries GreyRamp() {
  TPaletteEntries grey;
  for (int i = 0; i < 256; ++i) grey[std::size_t(i)] = TRGBPixel{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)};
  return grey;
}
}  // namespace

TfrmPseudoColour::TfrmPseudoColour(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmPseudoColour"));
  setWindowTitle(QStringLiteral("Pseudo Colour"));
  setAccessibleName(QStringLiteral("Pseudo Colour"));
  SetResultCaption(QStringLiteral("Pseudo Colour"));
  Accepts = TAccepts::GreyOnly;
  RefusalText = QStringLiteral("The pseudo colour function can only be applied greyscale images.");
  ResetsLUT = false;

  auto* current = new QGroupBox(QStringLiteral("Current Palette"), this);
  auto* cl = new QGridLayout(current);
  imgCurrentPal = Strip("imgCurrentPal", QStringLiteral("Current palette"), current);
  imgGreyPal = Strip("imgGreyPal", QStringLiteral("Grey scale"), current);
  cmbName = new QComboBox(current);
  cmbName->setObjectName(QStringLiteral("cmbName"));
  cmbName->setEditable(true);
  cmbName->setInsertPolicy(QComboBox::NoInsert);
  cmbName->setMinimumContentsLength(16);
  btnDelete = new QPushButton(QStringLiteral("&Delete"), current);
  btnDelete->setObjectName(QStringLiteral("btnDelete"));
  SpeakAs(btnDelete, btnDelete->text());
  btnSave = new QPushButton(QStringLiteral("&Save"), current);
  btnSave->setObjectName(QStringLiteral("btnSave"));
  SpeakAs(btnSave, btnSave->text());
  cl->addWidget(imgCurrentPal, 0, 0, 1, 4);
  cl->addWidget(imgGreyPal, 1, 0, 1, 4);
  cl->addWidget(BuddyLabel(QStringLiteral("&Name"), cmbName, current), 2, 0);
  cmbName->setAccessibleName(QStringLiteral("Palette name"));
  cmbName->lineEdit()->setAccessibleName(cmbName->accessibleName());
  cl->addWidget(cmbName, 2, 1);
  cl->addWidget(btnDelete, 2, 2);
  cl->addWidget(btnSave, 2, 3);

  auto* picker = new QGroupBox(QStringLiteral("Colour Picker"), this);
  auto* pl = new QGridLayout(picker);
  ColPicker = new TColourPicker(picker);
  ColPicker->setObjectName(QStringLiteral("ColPicker"));
  ColPicker->setAccessibleName(QStringLiteral("Colour picker"));
  iedRed = ColourBox("iedRed", picker);
  iedGreen = ColourBox("iedGreen", picker);
  iedBlue = ColourBox("iedBlue", picker);
  btnAdd = new QPushButton(QStringLiteral("&Add"), picker);
  btnAdd->setObjectName(QStringLiteral("btnAdd"));
  SpeakAs(btnAdd, btnAdd->text());
  pl->addWidget(ColPicker, 0, 0, 4, 1);
  pl->addWidget(BuddyLabel(QStringLiteral("R&ed"), iedRed, picker), 0, 1);
  pl->addWidget(iedRed, 0, 2);
  pl->addWidget(BuddyLabel(QStringLiteral("&Green"), iedGreen, picker), 1, 1);
  pl->addWidget(iedGreen, 1, 2);
  pl->addWidget(BuddyLabel(QStringLiteral("&Blue"), iedBlue, picker), 2, 1);
  pl->addWidget(iedBlue, 2, 2);
  pl->addWidget(btnAdd, 3, 1, 1, 2);

  btnReset = new QPushButton(QStringLiteral("Rese&t"), this);
  btnReset->setObjectName(QStringLiteral("btnReset"));
  SpeakAs(btnReset, btnReset->text());
  auto* settings = new QGroupBox(QStringLiteral("Settings"), this);
  auto* sl = new QVBoxLayout(settings);
  chkReverse = new QCheckBox(QStringLiteral("&Reverse mapping"), settings);
  chkReverse->setObjectName(QStringLiteral("chkReverse"));
  SpeakAs(chkReverse, chkReverse->text());
  sl->addWidget(chkReverse);

  auto* left = new QVBoxLayout;
  left->addWidget(current);
  left->addWidget(picker);
  auto* right = new QVBoxLayout;
  right->addWidget(MakePreview());
  right->addWidget(settings);
  right->addWidget(btnReset);
  right->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addLayout(left, 1);
  top->addLayout(right);
  auto* all = new QVBoxLayout(this);
  all->addLayout(top);
  all->addLayout(MakeDialogButtons());

  ColPicker->OnMouseMove = [this](Qt::MouseButtons, int X, int Y) { ColPickerMouseMove(X, Y); };
  ColPicker->OnMouseUp = [this](Qt::MouseButton, int X, int Y) { ColPickerMouseUp(X, Y); };
  connect(btnAdd, &QPushButton::clicked, this, [this] { btnAddClick(); });
  connect(btnReset, &QPushButton::clicked, this, [this] { btnResetClick(); });
  connect(btnSave, &QPushButton::clicked, this, [this] { SavePalette(); });
  connect(btnDelete, &QPushButton::clicked, this, [this] { btnDeleteClick(); });
  connect(chkReverse, &QCheckBox::toggled, this, [this] { chkReverseClick(); });
  connect(cmbName, &QComboBox::activated, this, [this](int Index) { cmbNameClick(Index); });
}

void TfrmPseudoColour::Prepare(TChildForm& Source) {
  // The palettes colour the image's pixels as they are, at the levels the
  // result window will have.
  if (fmePreview->HasImages()) {
    StartAsResultWindow(Source);
    ShowAsResultWindow(Source);
    fmePreview->Refresh();
  }
  FPickerBitmap = DrawColourPickerImage(255, 180);
  FPoints.clear();
  DrawColourPicker();
  DrawGreyStrip();
  FillCurrentPal(nullptr);
  ListPalettes();
  ClearName();
}

void TfrmPseudoColour::hideEvent(QHideEvent* Event) {
  FPickerBitmap = QImage();
  TProcessingDialog::hideEvent(Event);
}

void TfrmPseudoColour::DrawColourPicker() {
  if (FPickerBitmap.isNull()) FPickerBitmap = DrawColourPickerImage(255, 180);
  FPickerShown = FPickerBitmap.copy();
  ColPicker->SetPicture(FPickerShown);
}

void TfrmPseudoColour::DrawGreyStrip() {
  QImage strip(256, 20, QImage::Format_RGB32);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 256; ++x) strip.setPixel(x, y, qRgb(x, x, x));
  imgGreyPal->setPixmap(QPixmap::fromImage(strip));
}

void TfrmPseudoColour::FillCurrentPal(const TPaletteEntries* Entries) {
  QImage strip(256, 20, QImage::Format_RGB32);
  strip.fill(Qt::black);
  if (Entries)
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 256; ++x) {
        const TRGBPixel& e = (*Entries)[std::size_t(x)];
        strip.setPixel(x, y, qRgb(e.Red, e.Green, e.Blue));
      }
  imgCurrentPal->setPixmap(QPixmap::fromImage(strip));
}

void TfrmPseudoColour::ClearName() {
  if (cmbName->count() > 0) cmbName->setCurrentIndex(0);
  cmbName->setEditText(QString());
}

void TfrmPseudoColour::BuildPalette() {
  try {
    if (!BuildPaletteEntries(FPoints, chkReverse->isChecked(), FPalette)) return;
    FillCurrentPal(&FPalette);
    if (fmePreview && fmePreview->HasImages()) {
      fmePreview->ResultImage->SetPalette(FPalette);
      fmePreview->Refresh();
    }
  } catch (...) {
  }
}

bool TfrmPseudoColour::AddPoint(const TRGBPixel& Point) {
  if (int(FPoints.size()) >= MaxColourPoints) {
    MessageBox::ShowWarning(QStringLiteral("A palette can have at most %1 colour points.").arg(MaxColourPoints), this);
    return false;
  }
  FPoints.push_back(Point);
  return true;
}

void TfrmPseudoColour::ColPickerMouseMove(int X, int Y) {
  if (!FPickerBitmap.valid(X, Y)) return;
  const QRgb c = FPickerBitmap.pixel(X, Y);
  iedRed->SetValue(qRed(c));
  iedGreen->SetValue(qGreen(c));
  iedBlue->SetValue(qBlue(c));
}

void TfrmPseudoColour::ColPickerMouseUp(int X, int Y) {
  // A button let go outside the picture picks nothing.
  if (!FPickerBitmap.valid(X, Y)) return;
  const QRgb c = FPickerBitmap.pixel(X, Y);
  if (!AddPoint(TRGBPixel{std::uint8_t(qBlue(c)), std::uint8_t(qGreen(c)), std::uint8_t(qRed(c))})) return;
  {
    QPainter p(&FPickerShown);
    p.setPen(QPen(Qt::white, 0));
    p.setBrush(Qt::NoBrush);
    // An outline of 5 x 5 pixels around the point (a one-pixel pen draws one
    // pixel past the rectangle's width).
    p.drawRect(QRect(X - 2, Y - 2, 4, 4));
  }
  ColPicker->SetPicture(FPickerShown);
  if (FPoints.size() >= 2) BuildPalette();
}

void TfrmPseudoColour::btnAddClick() {
  TRGBPixel p;
  try {
    p.Red = ClampByte(iedRed->Value());
    p.Green = ClampByte(iedGreen->Value());
    p.Blue = ClampByte(iedBlue->Value());
  } catch (const std::exception& e) {
    MessageBox::ShowError(QString::fromStdString(e.what()), this);
    return;
  }
  if (!AddPoint(p)) return;
  if (FPoints.size() >= 2) BuildPalette();
}

void TfrmPseudoColour::chkReverseClick() {
  if (FPoints.size() >= 2) BuildPalette();
}

void TfrmPseudoColour::btnResetClick() {
  FPoints.clear();
  DrawColourPicker();
  ClearName();
  chkReverse->setChecked(false);
  FillCurrentPal(nullptr);
  // The preview goes back to grey; the palette last built stays for OK.
  if (fmePreview && fmePreview->HasImages()) {
    fmePreview->ResultImage->SetPalette(GreyRamp());
    fmePreview->Refresh();
  }
}

void TfrmPseudoColour::RunOperation(TDataImage& Dst, TDataImage&) { Dst.SetPalette(FPalette); }

void TfrmPseudoColour::ListPalettes() {
  // Rebuilt with nothing chosen and the name box empty.
  StoredSettings::ListEntries(cmbName, QString::fromLatin1(StoredSettings::PalettesKey));
  cmbName->setEditText(QString());
}

void TfrmPseudoColour::SavePalette() {
  const QString name = cmbName->currentText();
  if (name.isEmpty()) return;
  if (!StoredSettings::UsableName(name)) {
    MessageBox::ShowWarning(QStringLiteral("A palette name cannot contain \"\\\" or \"/\"."), this);
    return;
  }
  // A palette of no points could never be loaded again.
  if (FPoints.empty()) {
    MessageBox::ShowWarning(QStringLiteral("Add at least one colour point before saving a palette."), this);
    return;
  }
  const QString key = QString::fromLatin1(StoredSettings::PalettesKey);
  {
    TRegistry reg;
    if (!reg.OpenKey(key + StoredSettings::StoredName(key, name), true)) {
      MessageBox::ShowInformation(QStringLiteral("Failed to make it new entry for \"%1\"").arg(name), this);
      return;
    }
    reg.WriteString(QStringLiteral("Name"), name);
    reg.WriteInteger(QStringLiteral("Count"), int(FPoints.size()));
    reg.WriteBool(QStringLiteral("Reversed"), chkReverse->isChecked());
    reg.WriteString(QStringLiteral("Pal"), FormatPalettePoints(FPoints));
    reg.CloseKey();
  }
  ListPalettes();
}

void TfrmPseudoColour::cmbNameClick(int Index) {
  const QString name = StoredSettings::ItemName(cmbName, Index);
  // A damaged name is no path to its key: it could lead to another one.
  if (StoredSettings::ItemDamaged(cmbName, Index)) {
    MessageBox::ShowError(QStringLiteral("The stored palette \"%1\" is damaged: its name is not one a palette can "
                                         "have.")
                              .arg(name),
                          this);
    return;
  }
  if (name.isEmpty()) return;
  const QString key = QString::fromLatin1(StoredSettings::PalettesKey);
  TRegistry reg;
  if (!reg.OpenKey(key + name, false))
    MessageBox::ShowWarning(QStringLiteral("Could not open key ") + key + name, this);
  // Everything is read and checked before the dialog changes, so a damaged
  // entry leaves the points as they were.
  std::vector<TRGBPixel> points;
  bool reversed = false;
  try {
    const QString pal = reg.ReadString(QStringLiteral("Pal"));
    const int count = reg.ReadInteger(QStringLiteral("Count"));
    reversed = reg.ReadBool(QStringLiteral("Reversed"));
    if (!ParsePalettePoints(pal, count, points)) {
      MessageBox::ShowError(QStringLiteral("The stored palette \"%1\" is damaged: it must hold from 1 to %2 colour "
                                           "points of three whole numbers each.")
                                .arg(name)
                                .arg(MaxColourPoints),
                            this);
      return;
    }
  } catch (const std::exception& e) {
    MessageBox::ShowError(QString::fromStdString(e.what()), this);
    return;
  }
  reg.CloseKey();
  FPoints = std::move(points);
  {
    const QSignalBlocker block(chkReverse);
    chkReverse->setChecked(reversed);
  }
  BuildPalette();
}

void TfrmPseudoColour::btnDeleteClick() {
  if (cmbName->count() == 0 || cmbName->currentText().isEmpty()) return;
  // Only a stored palette's own key: typed text that names none deletes
  // nothing, and the chosen item is the one deleted.
  int index = cmbName->currentIndex();
  if (index < 0 || cmbName->itemText(index) != cmbName->currentText())
    index = cmbName->findText(cmbName->currentText(), Qt::MatchExactly);
  if (index < 0) return;
  const QString name = StoredSettings::ItemName(cmbName, index);
  const QString key = QString::fromLatin1(StoredSettings::PalettesKey);
  if (!StoredSettings::DeleteEntry(key, cmbName, index))
    MessageBox::ShowWarning(QStringLiteral("Could not delete key ") + key + name, this);
  FPoints.clear();
  ClearName();
  ListPalettes();
}
