#include "dialogs/ImportForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/IntEdit.h"
#include "dialogs/BuddyLabel.h"
#include "formats/RawImport.h"
#include "platform/FileDialog.h"

TfrmImport* frmImport = nullptr;

TfrmImport::TfrmImport(QWidget* Parent)
    : TForm(Parent), FOpenDialog(std::make_unique<TFileDialog>(TFileDialog::TKind::Open)) {
  setObjectName(QStringLiteral("frmImport"));
  setWindowTitle(QStringLiteral("Import"));
  HelpContext = 203;
  FOpenDialog->Filter = QStringLiteral("All Files (*.*)|*.*");
  FOpenDialog->DefaultExt = QStringLiteral("*.*");

  auto* dims = new QGroupBox(QStringLiteral("Image Dimensions"), this);
  auto* dgrid = new QGridLayout(dims);
  auto sizeBox = [dims](const char* name) {
    auto* e = new TIntEdit(dims);
    e->setObjectName(QString::fromLatin1(name));
    e->SetMinValue(1);
    e->SetMaxValue(65536);
    e->SetValue(1);
    return e;
  };
  iedWidth = sizeBox("iedWidth");
  iedHeight = sizeBox("iedHeight");
  dgrid->addWidget(BuddyLabel(QStringLiteral("&Width"), iedWidth, dims), 0, 0);
  dgrid->addWidget(iedWidth, 0, 1);
  dgrid->addWidget(BuddyLabel(QStringLiteral("&Height"), iedHeight, dims), 1, 0);
  dgrid->addWidget(iedHeight, 1, 1);

  auto* header = new QGroupBox(QStringLiteral("Image Header"), this);
  auto* hrow = new QHBoxLayout(header);
  iedSkip = new TIntEdit(header);
  iedSkip->setObjectName(QStringLiteral("iedSkip"));
  SpeakAs(iedSkip, QStringLiteral("Header bytes to skip"));
  hrow->addWidget(BuddyLabel(QStringLiteral("&Skip the first"), iedSkip, header));
  hrow->addWidget(iedSkip);
  hrow->addWidget(BuddyLabel(QStringLiteral("bytes"), iedSkip, header));

  auto* offset = new QGroupBox(QStringLiteral("Offset"), this);
  auto* orow = new QHBoxLayout(offset);
  fedOffset = new TFloatEdit(offset);
  fedOffset->setObjectName(QStringLiteral("fedOffset"));
  fedOffset->SetMaxValue(2e32L);
  orow->addWidget(BuddyLabel(QStringLiteral("&Zero offset"), fedOffset, offset));
  orow->addWidget(fedOffset);

  chkUnsigned = new QCheckBox(QStringLiteral("Data is &unsigned"), this);
  chkUnsigned->setObjectName(QStringLiteral("chkUnsigned"));
  chkUnsigned->setChecked(true);
  SpeakAs(chkUnsigned, chkUnsigned->text());

  auto* format = new QGroupBox(QStringLiteral("Data Format"), this);
  auto* fcol = new QVBoxLayout(format);
  grpDataFormat = new QButtonGroup(this);
  const char* items[] = {"&8 bit", "1&2 bit", "16 bit (&Motorola)", "16 bit (&Intel)", "&32 bit"};
  for (int i = 0; i < 5; ++i) {
    auto* r = new QRadioButton(QString::fromLatin1(items[i]), format);
    SpeakAs(r, r->text());
    grpDataFormat->addButton(r, i);
    fcol->addWidget(r);
  }
  grpDataFormat->button(0)->setChecked(true);

  auto* left = new QVBoxLayout;
  left->addWidget(dims);
  left->addWidget(header);
  left->addWidget(offset);
  left->addWidget(chkUnsigned);
  auto* right = new QVBoxLayout;
  right->addWidget(format);
  right->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addLayout(left);
  top->addLayout(right);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(MakeButtons());
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  setFixedSize(sizeHint());
}

TfrmImport::~TfrmImport() = default;

void TfrmImport::Execute() {
  if (FOpenDialog->Execute(parentWidget())) ShowModal();
}

bool TfrmImport::btnOKClick() {
  static const int codes[] = {rawFormat8, rawFormat12, rawFormat16Motorola, rawFormat16Intel, rawFormat32};
  TRawImportParams params;
  // Sizes above the boxes' limit are brought down to it; 0 and below are
  // refused with the program's message.
  const int w = iedWidth->Value(), h = iedHeight->Value();
  params.Width = w <= 0 ? w : iedWidth->Constrain(w);
  params.Height = h <= 0 ? h : iedHeight->Constrain(h);
  params.Skip = iedSkip->Value();
  // The offset box's range (0 up to 2E32) holds for a typed value too.
  params.Offset = float(fedOffset->ConstrainedValue());
  const int item = grpDataFormat->checkedId();
  params.Format = codes[item >= 0 && item < 5 ? item : 0];
  params.Unsigned = chkUnsigned->isChecked();
  if (params.Width <= 0 || params.Height <= 0) {
    MessageBox::ShowError(QString::fromLatin1(msgRawSize), this);
    return false;
  }
  TRawImportResult result = ImportRaw(FOpenDialog->FileName.toLocal8Bit().toStdString(), params);
  for (const TCodecMessage& m : result.Messages) {
    if (m.Kind == TCodecMessageKind::Error) MessageBox::ShowError(QString::fromStdString(m.Text), this);
    else MessageBox::ShowWarning(QString::fromStdString(m.Text), this);
  }
  if (!result.Image) return false;
  auto* child = new TChildForm;
  LastWindow = child;
  child->DataImage = std::move(result.Image);
  child->SetCaption(QStringLiteral("Imported ") + QFileInfo(FOpenDialog->FileName).fileName());
  child->UpdateImage();
  SetModalResult(mrOk);
  return true;
}
