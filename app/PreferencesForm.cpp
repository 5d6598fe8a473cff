#include "app/PreferencesForm.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/Accessibility.h"
#include "app/Child.h"
#include "app/Main.h"
#include "platform/FileDialog.h"

TfrmPreferences* frmPreferences = nullptr;

TfrmPreferences::TfrmPreferences(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frmPreferences"));
  setWindowTitle(QStringLiteral("Preferences"));
  PageControl = new QTabWidget(this);

  auto* general = new QWidget;
  auto* behaviour = new QGroupBox(QStringLiteral("Window Behaviour"), general);
  auto* bcol = new QVBoxLayout(behaviour);
  chkPromptForSave = new QCheckBox(QStringLiteral("&Promt for save when closing images"), behaviour);
  chkPromptForSave->setObjectName(QStringLiteral("chkPromptForSave"));
  chkPromptForSave->setAccessibleName(QStringLiteral("Prompt for save when closing images"));
  bcol->addWidget(chkPromptForSave);
  auto* colours = new QGroupBox(QStringLiteral("Colours"), general);
  auto* grid = new QGridLayout(colours);
  auto panel = [colours](const char* name) {
    auto* p = new QFrame(colours);
    p->setObjectName(QString::fromLatin1(name));
    p->setFrameShape(QFrame::Panel);
    p->setFrameShadow(QFrame::Sunken);
    p->setFixedSize(40, 20);
    p->setAutoFillBackground(true);
    SetPanelColour(p, clWhite);
    return p;
  };
  pnlROIColour = panel("pnlROIColour");
  pnlMkrColour = panel("pnlMkrColour");
  btnROIColour = new QPushButton(QStringLiteral("&Set..."), colours);
  btnMkrColour = new QPushButton(QStringLiteral("S&et..."), colours);
  pnlROIColour->setAccessibleName(QStringLiteral("Region of interest colour"));
  pnlMkrColour->setAccessibleName(QStringLiteral("Marker colour"));
  btnROIColour->setAccessibleName(QStringLiteral("Set region of interest colour"));
  btnMkrColour->setAccessibleName(QStringLiteral("Set marker colour"));
  // Each colour's caption leads to the button that sets it.
  auto* lblROI = new QLabel(QStringLiteral("Region of interest"), colours);
  lblROI->setBuddy(btnROIColour);
  auto* lblMkr = new QLabel(QStringLiteral("Markers"), colours);
  lblMkr->setBuddy(btnMkrColour);
  grid->addWidget(lblROI, 0, 0);
  grid->addWidget(pnlROIColour, 0, 1);
  grid->addWidget(btnROIColour, 0, 2);
  grid->addWidget(lblMkr, 1, 0);
  grid->addWidget(pnlMkrColour, 1, 1);
  grid->addWidget(btnMkrColour, 1, 2);
  auto* gcol = new QVBoxLayout(general);
  gcol->addWidget(behaviour);
  gcol->addWidget(colours);
  gcol->addStretch(1);
  PageControl->addTab(general, QStringLiteral("General"));

  auto* dirs = new QWidget;
  auto* dirBox = new QGroupBox(QStringLiteral("Directories"), dirs);
  auto* dgrid = new QGridLayout(dirBox);
  edtImagesDir = new QLineEdit(dirBox);
  edtImagesDir->setObjectName(QStringLiteral("edtImagesDir"));
  edtImagesDir->setMinimumWidth(220);
  edtImagesDir->setAccessibleName(QStringLiteral("Images directory"));
  auto* lblImages = new QLabel(QStringLiteral("&Images"), dirBox);
  lblImages->setBuddy(edtImagesDir);
  dgrid->addWidget(lblImages, 0, 0);
  dgrid->addWidget(edtImagesDir, 0, 1);
  auto* dcol = new QVBoxLayout(dirs);
  dcol->addWidget(dirBox);
  dcol->addStretch(1);
  PageControl->addTab(dirs, QStringLiteral("Directories"));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(PageControl);
  layout->addLayout(MakeButtons(true));
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(btnROIColour, &QPushButton::clicked, this, [this] { btnROIColourClick(); });
  connect(btnMkrColour, &QPushButton::clicked, this, [this] { btnMkrColourClick(); });
}

void TfrmPreferences::SetPanelColour(QFrame* Panel, TColor Colour) {
  QPalette pal = Panel->palette();
  pal.setColor(QPalette::Window, TColorToQColor(Colour));
  Panel->setPalette(pal);
  Panel->setProperty("TColor", QVariant::fromValue(uint(Colour)));
  Accessibility::DescribeColour(Panel, TColorToQColor(Colour));
}

TColor TfrmPreferences::PanelColour(const QFrame* Panel) { return TColor(Panel->property("TColor").toUInt()); }

void TfrmPreferences::btnOKClick() {
  if (MainForm) {
    MainForm->SavePrompt = chkPromptForSave->isChecked() ? 1 : 0;
    MainForm->OpenDialog()->InitialDir = edtImagesDir->text();
    MainForm->SaveDialog()->InitialDir = edtImagesDir->text();
  }
  SetModalResult(mrOk);
}

void TfrmPreferences::btnROIColourClick() {
  QColor c = TColorToQColor(PanelColour(pnlROIColour));
  if (!StandardDialogs::ChooseColour(c, this)) return;
  const TColor colour = QColorToTColor(c);
  SetPanelColour(pnlROIColour, colour);
  if (!MainForm) return;
  MainForm->ROIColour = colour;
  for (TChildForm* child : MainForm->MDIChildren()) {
    child->ImageOverlay->ROIColour = colour;
    child->ImageOverlay->update();
  }
}

void TfrmPreferences::btnMkrColourClick() {
  QColor c = TColorToQColor(PanelColour(pnlMkrColour));
  if (!StandardDialogs::ChooseColour(c, this)) return;
  const TColor colour = QColorToTColor(c);
  SetPanelColour(pnlMkrColour, colour);
  if (!MainForm) return;
  MainForm->MkrColour = colour;
  for (TChildForm* child : MainForm->MDIChildren()) {
    child->ImageOverlay->MarkerColour = colour;
    child->ImageOverlay->update();
  }
}
