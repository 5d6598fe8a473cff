#include "dialogs/CalibrateForm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>
#include <utility>

#include "app/Child.h"
#include "app/Main.h"
#include "app/StoredValues.h"
#include "app/Utilities.h"
#include "engine/Processing.h"
#include "formats/FITSFrames.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "dialogs/BuddyLabel.h"

TfrmCalibrate* frmCalibrate = nullptr;

namespace {

const char* const SizeMessages[3] = {
    "The size of the bias frame is not the same as that of the image.  Both the bias frame and the image must be "
    "the same size.",
    "The size of the dark frame is not the same as that of the image.  Both the dark frame and the image must be "
    "the same size.",
    "The size of the flat field is not the same as that of the image.  Both the flat field and the image must be "
    "the same size."};

}  // namespace

TfrmCalibrate::TfrmCalibrate(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmCalibrate"));
  setWindowTitle(QStringLiteral("Calibrate"));
  HelpContext = 507;
  auto* layout = new QVBoxLayout(this);

  struct TGroupText {
    const char *Title, *Check, *Spoken, *Suffix, *File;
  };
  // The three "File" captions each take a letter of their own.
  const TGroupText texts[3] = {{"Bias Frame", "Perform &bias correction", "Bias frame file", "Bias", "Fi&le"},
                               {"Dark Frame", "Perform &dark correction", "Dark frame file", "Dark", "F&ile"},
                               {"Flat Frame", "Perform &flat field correction", "Flat frame file", "Flat", "Fil&e"}};
  QCheckBox** checks[3] = {&chkBias, &chkDark, &chkFlat};
  QLineEdit** edits[3] = {&edtBias, &edtDark, &edtFlat};
  QLabel** labels[3] = {&lblBias, &lblDark, &lblFlat};
  QPushButton** browse[3] = {&btnBrowse1, &btnBrowse2, &btnBrowse3};
  for (int i = 0; i < 3; ++i) {
    const QString suffix = QString::fromLatin1(texts[i].Suffix);
    auto* group = new QGroupBox(QString::fromLatin1(texts[i].Title), this);
    auto* grid = new QGridLayout(group);
    auto* chk = new QCheckBox(QString::fromLatin1(texts[i].Check), group);
    chk->setObjectName(QStringLiteral("chk") + suffix);
    chk->setAccessibleName(QString::fromLatin1(texts[i].Check).remove(QLatin1Char('&')));
    auto* edt = new QLineEdit(group);
    edt->setObjectName(QStringLiteral("edt") + suffix);
    edt->setAccessibleName(QString::fromLatin1(texts[i].Spoken));
    auto* lbl = new QLabel(QString::fromLatin1(texts[i].File), group);
    lbl->setObjectName(QStringLiteral("lbl") + suffix);
    lbl->setBuddy(edt);
    auto* btn = new QPushButton(QStringLiteral("Browse..."), group);
    btn->setObjectName(QStringLiteral("btnBrowse%1").arg(i + 1));
    btn->setAccessibleName(QStringLiteral("Browse for the ") + QString::fromLatin1(texts[i].Spoken).toLower());
    grid->addWidget(chk, 0, 0, 1, 3);
    grid->addWidget(lbl, 1, 0);
    grid->addWidget(edt, 1, 1);
    grid->addWidget(btn, 1, 2);
    for (QWidget* w : {static_cast<QWidget*>(edt), static_cast<QWidget*>(btn)}) w->setEnabled(false);
    SetLabelEnabled(lbl, false);
    connect(chk, &QCheckBox::toggled, this, [edt, lbl, btn](bool On) {
      edt->setEnabled(On);
      SetLabelEnabled(lbl, On);
      btn->setEnabled(On);
    });
    connect(btn, &QPushButton::clicked, this, [this, edt] { Browse(edt); });
    *checks[i] = chk;
    *edits[i] = edt;
    *labels[i] = lbl;
    *browse[i] = btn;
    layout->addWidget(group);
  }
  auto* options = new QGroupBox(QStringLiteral("Options"), this);
  auto* optionsCol = new QVBoxLayout(options);
  chkRemember = new QCheckBox(QStringLiteral("&Remember these settings"), options);
  chkRemember->setObjectName(QStringLiteral("chkRemember"));
  chkRemember->setAccessibleName(QStringLiteral("Remember these settings"));
  chkRemember->setChecked(true);
  optionsCol->addWidget(chkRemember);
  layout->addWidget(options);
  layout->addLayout(MakeButtons());
  btnOK->setAccessibleName(QStringLiteral("OK"));
  btnCancel->setAccessibleName(QStringLiteral("Cancel"));
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  resize(420, sizeHint().height());
  setFixedSize(size());
  LoadSettings();
}

void TfrmCalibrate::Browse(QLineEdit* Edit) {
  TFileDialog dialog(TFileDialog::TKind::Open);
  dialog.Filter = QStringLiteral("FITS Files (*.fts, *.fit, *.fits)|*.fts;*.fit;*.fits|All Files (*.*)|*.*");
  dialog.DefaultExt = QStringLiteral("*.fts");
  if (dialog.Execute(this)) Edit->setText(dialog.FileName);
}

namespace {
// The six values in the order they are read: a frame's file, then its state.
QString ValueName(int I) {
  static const char* const names[6] = {"Bias Frame", "Bias On", "Dark Frame", "Dark On", "Flat Frame", "Flat On"};
  return QString::fromLatin1(names[I]);
}
}  // namespace

QString TfrmCalibrate::ShownValue(int I) const {
  const QLineEdit* edits[3] = {edtBias, edtDark, edtFlat};
  const QCheckBox* checks[3] = {chkBias, chkDark, chkFlat};
  return I % 2 == 0 ? edits[I / 2]->text() : QString::number(checks[I / 2]->isChecked() ? 1 : 0);
}

void TfrmCalibrate::LoadSettings() {
  TRegistry reg;
  if (!reg.OpenKey(QString::fromLatin1(ApplicationKey), false)) return;
  // Each value on its own: one that cannot be read leaves its control alone.
  QLineEdit* edits[3] = {edtBias, edtDark, edtFlat};
  QCheckBox* checks[3] = {chkBias, chkDark, chkFlat};
  for (int i = 0; i < 6; ++i) {
    FHeld[i] = reg.ValueExists(ValueName(i));
    if (i % 2 == 0) {
      if (const auto text = StoredValues::String(reg, ValueName(i))) edits[i / 2]->setText(*text);
    } else if (const auto on = StoredValues::Bool(reg, ValueName(i))) {
      checks[i / 2]->setChecked(*on);
    }
    FShown[i] = ShownValue(i);
  }
}

void TfrmCalibrate::SaveSettings() {
  TRegistry reg;
  if (!reg.OpenKey(QString::fromLatin1(ApplicationKey), false)) return;
  // Only what the user changed, and what the store lacks: a stored value the
  // dialog could not read stays as it was unless the user replaces it.
  try {
    for (int i : {0, 2, 4, 1, 3, 5}) {
      const QString value = ShownValue(i);
      if (FHeld[i] && value == FShown[i]) continue;
      if (i % 2 == 0)
        reg.WriteString(ValueName(i), value);
      else
        reg.WriteBool(ValueName(i), value == QLatin1String("1"));
      FHeld[i] = true;
      FShown[i] = value;
    }
  } catch (const std::exception&) {
    MessageBox::ShowError(QStringLiteral("Error writing to the registry."), this);
  }
}

void TfrmCalibrate::btnOKClick() {
  TChildForm* result = nullptr;
  try {
    TChildForm* active = MainForm ? MainForm->ActiveMDIChild() : nullptr;
    if (!active) return;
    const TDataImage& image = *active->DataImage;
    // The steps work on the grey plane, which a colour image does not use.
    if (image.IsColour) {
      MessageBox::ShowWarning(QString::fromLatin1(msgCalibrateColour), this);
      return;
    }
    const QCheckBox* checks[3] = {chkBias, chkDark, chkFlat};
    const QLineEdit* edits[3] = {edtBias, edtDark, edtFlat};
    std::unique_ptr<TDataImage> frames[3];
    bool marked[3] = {false, false, false};
    for (int i = 0; i < 3; ++i) {
      if (!checks[i]->isChecked() || edits[i]->text().isEmpty()) continue;
      frames[i] = std::make_unique<TDataImage>();
      const TFrameLoadResult r = LoadCalibrationFrame(edits[i]->text().toStdString(), *frames[i]);
      if (!r.Ok) {
        MessageBox::ShowError(QString::fromStdString(r.Error), this);
        return;
      }
      for (const TCodecMessage& m : r.Warnings) MessageBox::ShowWarning(QString::fromStdString(m.Text), this);
      if (frames[i]->Width != image.Width || frames[i]->Height != image.Height) {
        MessageBox::ShowError(QString::fromLatin1(SizeMessages[i]), this);
        return;
      }
      if (i == 2 && FlatFieldMean(*frames[i], image.PixelCount()) == 0) {
        MessageBox::ShowWarning(
            QStringLiteral("Corvelle Image cannot divide by this flat field because the mean of its pixels is zero."),
            this);
        return;
      }
      marked[i] = true;
    }
    if (marked[0] || marked[1] || marked[2]) {
      result = CopyImageWindow(active);
      if (!result) return;  // already reported
      TDataImage& out = *result->DataImage;
      TFailureWatch watch;
      if (marked[0]) SubtractBias(out, out, *frames[0]);
      if (marked[1]) SubtractDark(out, out, *frames[1]);
      if (marked[2]) FlatFieldDivide(out, *frames[2]);
      // A step that failed has said so; its window would be called calibrated.
      if (watch.Failed()) {
        std::exchange(result, nullptr)->Discard();
        return;
      }
      result->SetCaption(QStringLiteral("Calibrated ") + active->Caption());
      ResultWindow = std::exchange(result, nullptr);
      ResultWindow->UpdateImage();
    }
    if (chkRemember->isChecked()) SaveSettings();
    SetModalResult(mrOk);
  } catch (...) {
    // The dialog stays open.
    DiscardFailedResult(result);
  }
}
