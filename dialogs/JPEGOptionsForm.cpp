#include "dialogs/JPEGOptionsForm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "app/FileManager.h"
#include "app/IntEdit.h"
#include "dialogs/BuddyLabel.h"

TfrmJPEGOptions* frmJPEGOptions = nullptr;

TfrmJPEGOptions::TfrmJPEGOptions(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmJPEGOptions"));
  setWindowTitle(QStringLiteral("JPEG Options"));
  auto* quality = new QGroupBox(QStringLiteral("Quality (0..100)"), this);
  auto* grid = new QGridLayout(quality);
  trkJPEGCompression = new QSlider(Qt::Horizontal, quality);
  trkJPEGCompression->setObjectName(QStringLiteral("trkJPEGCompression"));
  trkJPEGCompression->setRange(0, 100);
  trkJPEGCompression->setTickInterval(5);
  trkJPEGCompression->setTickPosition(QSlider::TicksBelow);
  trkJPEGCompression->setValue(75);
  iedQuality = new TIntEdit(quality);
  iedQuality->setObjectName(QStringLiteral("iedQuality"));
  iedQuality->SetMaxValue(100);
  iedQuality->SetValue(75);
  iedQuality->setFixedWidth(50);
  SpeakAs(trkJPEGCompression, QStringLiteral("Quality"));
  SpeakAs(iedQuality, QStringLiteral("Quality (0..100)"));
  // Both ends of the track bar lead to it.
  grid->addWidget(BuddyLabel(QStringLiteral("&Low Quality"), trkJPEGCompression, quality), 0, 0);
  grid->addWidget(trkJPEGCompression, 0, 1);
  grid->addWidget(BuddyLabel(QStringLiteral("High Quality"), trkJPEGCompression, quality), 0, 2);
  grid->addWidget(iedQuality, 0, 3);
  auto* settings = new QGroupBox(QStringLiteral("Settings"), this);
  auto* scol = new QVBoxLayout(settings);
  chkProgressive = new QCheckBox(QStringLiteral("&Progressive"), settings);
  chkProgressive->setObjectName(QStringLiteral("chkProgressive"));
  chkProgressive->setChecked(true);
  SpeakAs(chkProgressive, chkProgressive->text());
  scol->addWidget(chkProgressive);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(quality);
  layout->addWidget(settings);
  layout->addLayout(MakeButtons());
  connect(trkJPEGCompression, &QSlider::valueChanged, this, [this](int v) { iedQuality->SetValue(v); });
  connect(btnOK, &QPushButton::clicked, this, [this] {
    // A typed quality is brought into 0..100 where the user sees it, and the
    // file is written at the quality shown.
    int quality = trkJPEGCompression->value();
    try {
      quality = iedQuality->ConstrainedValue();
    } catch (...) {
    }
    iedQuality->SetValue(quality);
    trkJPEGCompression->setValue(quality);
    SetModalResult(mrOk);
  });
  setFixedSize(sizeHint());
}

int TfrmJPEGOptions::Execute(TJPEGSaveOptions& Options) {
  const int result = ShowModal();
  if (result == mrOk) {
    // The encoder takes the track bar's position.
    Options.Quality = trkJPEGCompression->value();
    Options.Progressive = chkProgressive->isChecked();
  }
  return result;
}
