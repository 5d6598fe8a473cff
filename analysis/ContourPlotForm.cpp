#include "analysis/ContourPlotForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "app/Main.h"
#include "app/Utilities.h"
#include "engine/ContourPlot.h"
#include "platform/Application.h"
#include "platform/MessageBox.h"

TfrmContourPlot* frmContourPlot = nullptr;

TfrmContourPlot::TfrmContourPlot(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmContourPlot"));
  setWindowTitle(QStringLiteral("Contour Plot"));
  setAccessibleName(QStringLiteral("Contour Plot"));
  auto* group = new QGroupBox(QStringLiteral("Settings"), this);
  group->setAccessibleName(QStringLiteral("Settings"));
  auto* grid = new QGridLayout(group);
  auto level = [group](const char* Name, const QString& Accessible) {
    auto* e = new TFloatEdit(group);
    e->setObjectName(QString::fromLatin1(Name));
    e->setAccessibleName(Accessible);
    // Levels may be negative: an all-negative image proposes one.
    e->SetMinValue(-2e32L);
    e->SetMaxValue(2e32L);
    e->SetIncludeBounds(true);
    e->SetIncrement(1);
    return e;
  };
  fedMin = level("fedMin", QStringLiteral("Minimum level"));
  fedMax = level("fedMax", QStringLiteral("Maximum level"));
  fedValue = level("fedValue", QStringLiteral("Contour plot value"));
  iedContours = new TIntEdit(group);
  iedContours->setObjectName(QStringLiteral("iedContours"));
  iedContours->setAccessibleName(QStringLiteral("Number of contours"));
  iedContours->SetMinValue(1);
  iedContours->SetMaxValue(255);
  iedContours->SetDefaultValue(1);
  iedContours->SetIncrement(1);
  iedContours->SetValue(10);
  cmbDetail = new QComboBox(group);
  cmbDetail->setObjectName(QStringLiteral("cmbDetail"));
  cmbDetail->setAccessibleName(QStringLiteral("Detail level"));
  cmbDetail->addItems({QStringLiteral("Very low"), QStringLiteral("Low"), QStringLiteral("Medium"), QStringLiteral("High")});
  cmbDetail->setCurrentIndex(0);
  const struct {
    const char* Caption;
    QWidget* Box;
  } rows[] = {{"M&inimum level", fedMin},
              {"M&aximum level", fedMax},
              {"&Number of contours", iedContours},
              {"Contour plot &value", fedValue},
              {"&Detail level", cmbDetail}};
  int r = 0;
  for (const auto& row : rows) {
    auto* label = new QLabel(QString::fromLatin1(row.Caption), group);
    label->setBuddy(row.Box);
    grid->addWidget(label, r, 0);
    grid->addWidget(row.Box, r, 1);
    ++r;
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(MakeButtons());
  btnOK->setAccessibleName(QStringLiteral("OK"));
  btnCancel->setAccessibleName(QStringLiteral("Cancel"));
  connect(btnOK, &QPushButton::clicked, this, [this] {
    try {
      btnOKClick();
    } catch (const std::exception& e) {
      TApplication::HandleException(e);
    }
  });
}

int TfrmContourPlot::CellSize(int DetailItem) {
  static constexpr int Sizes[] = {8, 6, 4, 2};
  return DetailItem >= 0 && DetailItem < 4 ? Sizes[DetailItem] : 8;
}

void TfrmContourPlot::Execute() {
  TChildForm* child = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!child) return;
  const TDataImage& img = *child->DataImage;
  if (img.IsColour) {
    MessageBox::ShowWarning(QStringLiteral("Contour plots can only be done on grey scale images."));
    return;
  }
  float minimum = 2.0e32f, maximum = 0.0f;
  const std::int64_t n = img.PixelCount();
  for (std::int64_t i = 0; i < n && img.Pixels; ++i) {
    const float v = img.Pixels[i];
    if (v < minimum) minimum = v;
    if (v > maximum) maximum = v;
  }
  fedMin->SetValue(minimum);
  fedMax->SetValue(maximum);
  fedValue->SetValue(maximum);
  ShowModal();
}

void TfrmContourPlot::btnOKClick() {
  const float minimum = float(fedMin->ConstrainedValue());
  const float maximum = float(fedMax->ConstrainedValue());
  const float value = float(fedValue->ConstrainedValue());
  const int count = iedContours->ConstrainedValue();
  if (!(minimum < maximum)) throw std::runtime_error("The minimum value must be less than the maximum value.");
  // The tracer steps its levels by the rounded step; a step of 0 would never
  // reach the maximum.
  if (std::nearbyint(((long double)maximum - minimum) / count) == 0) {
    MessageBox::ShowWarning(QStringLiteral("The level range is too small for the number of contours."), this);
    return;
  }
  const int cell = CellSize(cmbDetail->currentIndex());
  TChildForm* source = MainForm ? MainForm->ActiveMDIChild() : nullptr;
  if (!source) return;
  TChildForm* result = CopyImageWindow(source);
  if (!result) return;
  const TContourFault fault = TryDrawContours(count, cell, *result->DataImage, minimum, maximum, value,
                                              *source->DataImage);
  if (fault != TContourFault::None) {
    // A copy with some of the lines, or none, is no contour plot.
    result->Discard();
    if (fault == TContourFault::Memory)
      MessageBox::ShowError(QString::fromLatin1(OutOfMemoryText), this);
    else if (fault == TContourFault::Levels)
      MessageBox::ShowWarning(QStringLiteral("Corvelle Image cannot draw the contour plot because its levels lie too "
                                             "far apart, or too far from zero, to be stepped through in whole "
                                             "numbers."),
                              this);
    else if (fault == TContourFault::NotFinite)
      MessageBox::ShowWarning(QStringLiteral("Corvelle Image cannot draw the contour plot because the image holds "
                                             "values that are not numbers or are infinite."),
                              this);
    else
      MessageBox::ShowWarning(QStringLiteral("Corvelle Image cannot draw the contour plot because the image's values "
                                             "are too large: their sums over a cell exceed the range of "
                                             "single-precision numbers."),
                              this);
    return;
  }
  result->SetCaption(QStringLiteral("Contour Plot"));
  result->UpdateImage();
  SetModalResult(mrOk);
}
