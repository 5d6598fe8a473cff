#include "app/NewForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "engine/ClampByte.h"

TfrmNew* frmNew = nullptr;

TfrmNew::TfrmNew(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmNew"));
  setWindowTitle(QStringLiteral("New Image"));
  auto* props = new QGroupBox(QStringLiteral("Image Properties"), this);
  auto* grid = new QGridLayout(props);
  iedWidth = new TIntEdit(props);
  iedWidth->setObjectName(QStringLiteral("iedWidth"));
  iedWidth->SetMinValue(1);
  iedWidth->SetMaxValue(32767);
  iedWidth->SetValue(640);
  iedHeight = new TIntEdit(props);
  iedHeight->setObjectName(QStringLiteral("iedHeight"));
  iedHeight->SetMinValue(1);
  iedHeight->SetMaxValue(32767);
  iedHeight->SetValue(480);
  fedValue = new TFloatEdit(props);
  fedValue->setObjectName(QStringLiteral("fedValue"));
  fedValue->SetMaxValue(2.0e32L);
  // Each caption is tied to its box, and the box speaks the caption.
  QWidget* boxes[] = {iedWidth, iedHeight, fedValue};
  const QString captions[] = {QStringLiteral("&Width (pixels)"), QStringLiteral("&Height (pixels)"),
                              QStringLiteral("&Data Value")};
  for (int row = 0; row < 3; ++row) {
    auto* caption = new QLabel(captions[row], props);
    caption->setBuddy(boxes[row]);
    boxes[row]->setAccessibleName(QString(captions[row]).remove(QLatin1Char('&')));
    grid->addWidget(caption, row, 0);
    grid->addWidget(boxes[row], row, 1);
  }
  auto* type = new QGroupBox(QStringLiteral("Image Type"), this);
  auto* col = new QVBoxLayout(type);
  rdoGrey = new QRadioButton(QStringLiteral("&Grey Scale"), type);
  rdoColour = new QRadioButton(QStringLiteral("&Colour"), type);
  rdoGrey->setAccessibleName(QStringLiteral("Grey Scale"));
  rdoColour->setAccessibleName(QStringLiteral("Colour"));
  rdoGrey->setChecked(true);
  col->addWidget(rdoGrey);
  col->addWidget(rdoColour);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(props);
  layout->addWidget(type);
  layout->addLayout(MakeButtons());
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  setFixedSize(sizeHint());
}

void TfrmNew::btnOKClick() {
  // Sizes and value as the boxes' ranges allow (a typed 0 becomes 1).
  const int w = iedWidth->ConstrainedValue();
  const int h = iedHeight->ConstrainedValue();
  const long double value = fedValue->ConstrainedValue();
  auto* child = new TChildForm;
  NewWindow = child;
  TDataImage& image = *child->DataImage;
  if (rdoGrey->isChecked()) {
    if (image.Allocate(w, h, 3, false))
      std::fill(image.Pixels, image.Pixels + image.PixelCount(), float(value));
  } else {
    const long double v = std::min(value, 255.0L);
    const std::uint8_t b = ClampByte(std::int64_t(std::nearbyint(v)));
    if (image.Allocate(w, h, 0, true)) std::fill(image.RGBPlane, image.RGBPlane + image.PixelCount(), TRGBPixel{b, b, b});
  }
  image.AutoScale();
  child->UpdateImage();
  SetModalResult(mrOk);
}
