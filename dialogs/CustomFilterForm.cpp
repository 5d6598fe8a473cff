#include "dialogs/CustomFilterForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "app/FloatEdit.h"
#include "app/PreviewFrame.h"
#include "dialogs/BuddyLabel.h"
#include "dialogs/StoredSettings.h"
#include "engine/ColProcessing.h"
#include "platform/NumFormat.h"
#include "platform/Registry.h"

TfrmCustomFilter* frmCustomFilter = nullptr;

namespace {
const QString& InvalidFilterText() {
  static const QString text = QStringLiteral("The current filter is invalid.  It may be damaged or currupt.");
  return text;
}
}  // namespace

TfrmCustomFilter::TfrmCustomFilter(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmCustomFilter"));
  setWindowTitle(QStringLiteral("Custom Filter Kernel"));
  setAccessibleName(QStringLiteral("Custom Filter Kernel"));
  SetResultCaption(QStringLiteral("Custom Filter"));
  ResetsLUT = false;
  PreviewOnActivate = true;

  auto* settings = new QGroupBox(QStringLiteral("Filter Settings"), this);
  auto* grid = new QGridLayout(settings);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      auto* box = new TFloatEdit(settings);
      box->setObjectName(QStringLiteral("fedR%1C%2").arg(r + 1).arg(c + 1));
      box->setAccessibleName(QStringLiteral("Row %1, column %2").arg(r + 1).arg(c + 1));
      box->SetMinValue(-255);
      box->SetMaxValue(255);
      box->SetIncrement(1);
      box->SetValue(0);
      box->setMaximumWidth(64);
      fedR[r][c] = box;
      grid->addWidget(box, r + 1, c);
      connect(box, &QLineEdit::textChanged, this, [this] { ParameterChanged(); });
    }
  // The first box is reached from the group's key.
  auto* kernelLabel = new QLabel(QStringLiteral("&Kernel"), settings);
  kernelLabel->setBuddy(fedR[0][0]);
  grid->addWidget(kernelLabel, 0, 0, 1, 3);
  edtName = new QLineEdit(settings);
  edtName->setObjectName(QStringLiteral("edtName"));
  grid->addWidget(BuddyLabel(QStringLiteral("Filter &name"), edtName, settings), 4, 0, 1, 3);
  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(edtName, 1);
  btnAdd = new QPushButton(QStringLiteral("&Add"), settings);
  btnAdd->setObjectName(QStringLiteral("btnAdd"));
  SpeakAs(btnAdd, btnAdd->text());
  nameRow->addWidget(btnAdd);
  grid->addLayout(nameRow, 5, 0, 1, 3);

  auto* stored = new QGroupBox(QStringLiteral("User-Defined Filters"), this);
  auto* storedRow = new QHBoxLayout(stored);
  cmbCustom = new QComboBox(stored);
  cmbCustom->setObjectName(QStringLiteral("cmbCustom"));
  cmbCustom->setAccessibleName(QStringLiteral("User-defined filters"));
  cmbCustom->setMinimumContentsLength(16);
  btnDelete = new QPushButton(QStringLiteral("&Delete"), stored);
  btnDelete->setObjectName(QStringLiteral("btnDelete"));
  SpeakAs(btnDelete, btnDelete->text());
  auto* storedLabel = new QLabel(QStringLiteral("&Filters"), stored);
  storedLabel->setBuddy(cmbCustom);
  storedRow->addWidget(storedLabel);
  storedRow->addWidget(cmbCustom, 1);
  storedRow->addWidget(btnDelete);

  auto* left = new QVBoxLayout;
  left->addWidget(settings);
  left->addWidget(stored);
  left->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addLayout(left, 1);
  top->addWidget(MakePreview());
  auto* all = new QVBoxLayout(this);
  all->addLayout(top);
  all->addLayout(MakeDialogButtons());

  connect(btnAdd, &QPushButton::clicked, this, [this] { btnAddClick(); });
  connect(btnDelete, &QPushButton::clicked, this, [this] { btnDeleteClick(); });
  connect(cmbCustom, &QComboBox::activated, this, [this](int Index) { cmbCustomChange(Index); });
}

TFilterKernel TfrmCustomFilter::GetKernel() const {
  TFilterKernel k{};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) k[std::size_t(c)][std::size_t(r)] = float(fedR[r][c]->ConstrainedValue());
  return k;
}

void TfrmCustomFilter::ReadParameters() { FKernel = GetKernel(); }

void TfrmCustomFilter::RunOperation(TDataImage& Dst, TDataImage& Src) {
  if (Src.IsColour)
    ColCustomFilter(FKernel, Dst, Src);
  else
    CustomFilter(FKernel, Dst, Src);
}

void TfrmCustomFilter::ResultRange(TChildForm& Source, TDataImage& Result, float& Min, float& Max) {
  // A kernel weighs a pixel's neighbours, which the thumbnail's are not; a
  // 3 x 3 pass over the whole image is cheap.
  std::vector<double> key;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) key.push_back(FKernel[std::size_t(c)][std::size_t(r)]);
  if (!FullResultRange(Source, key, Min, Max)) TProcessingDialog::ResultRange(Source, Result, Min, Max);
}

void TfrmCustomFilter::FormActivate() { LoadFilterNames(); }

void TfrmCustomFilter::LoadFilterNames() {
  StoredSettings::ListEntries(cmbCustom, QString::fromLatin1(StoredSettings::FiltersKey));
}

void TfrmCustomFilter::btnAddClick() {
  const QString key = QString::fromLatin1(StoredSettings::FiltersKey);
  QString name = edtName->text();
  // An empty name or one with a separator would write into the "Filters" key
  // itself or into a nested key no list could reach.
  if (name.isEmpty()) {
    MessageBox::ShowWarning(QStringLiteral("Please type a name for this filter."), this);
    return;
  }
  if (!StoredSettings::UsableName(name)) {
    MessageBox::ShowWarning(QStringLiteral("A filter name cannot contain \"\\\" or \"/\"."), this);
    return;
  }
  // Keys are matched without regard to case: saving "sharpen" over "Sharpen"
  // replaces that kernel.
  const QString stored = StoredSettings::StoredName(key, name);
  try {
    TRegistry reg;
    if (!reg.OpenKey(key + stored, true)) {
      MessageBox::ShowInformation(QStringLiteral("Failed to make it new entry for \"%1\"").arg(name), this);
      return;
    }
    long double values[9];
    for (int i = 0; i < 9; ++i) values[i] = fedR[i / 3][i % 3]->ConstrainedValue();
    reg.WriteString(QStringLiteral("Name"), name);
    reg.WriteString(QStringLiteral("Filter"), StoredSettings::FormatKernel(values));
    reg.CloseKey();
    edtName->clear();
    LoadFilterNames();
    cmbCustom->setCurrentIndex(cmbCustom->count() - 1);
  } catch (const std::exception&) {
    MessageBox::ShowWarning(QStringLiteral("An error occurred saving this filter."), this);
  }
}

void TfrmCustomFilter::cmbCustomChange(int Index) {
  // A damaged name is no path to its key: it could lead to another one.
  if (StoredSettings::ItemDamaged(cmbCustom, Index)) {
    MessageBox::ShowWarning(InvalidFilterText(), this);
    return;
  }
  const QString name = StoredSettings::ItemName(cmbCustom, Index);
  if (name.isEmpty()) return;
  const QString key = QString::fromLatin1(StoredSettings::FiltersKey);
  TRegistry reg;
  if (!reg.OpenKey(key + name, false))
    MessageBox::ShowWarning(QStringLiteral("Could not open key ") + key + name, this);
  // Eight values end at a comma, the ninth is the rest; each value set fires
  // the preview. A value that is missing or no number stops the loading there.
  // A value of another kind cannot be read as text: that entry is damaged too.
  QString text;
  try {
    text = reg.ReadString(QStringLiteral("Filter"));
  } catch (const std::exception&) {
    MessageBox::ShowWarning(InvalidFilterText(), this);
    return;
  }
  reg.CloseKey();
  for (int i = 0; i < 9; ++i) {
    QString item;
    if (i < 8) {
      const qsizetype comma = text.indexOf(QLatin1Char(','));
      item = comma < 0 ? QString() : text.left(comma);
      text = comma < 0 ? QString() : text.mid(comma + 1);
    } else {
      item = text;
    }
    long double v = 0;
    if (!NumFormat::TryStrToFloat(item.toStdString(), v, '.')) {
      MessageBox::ShowWarning(InvalidFilterText(), this);
      return;
    }
    fedR[i / 3][i % 3]->SetValue(v);
  }
}

void TfrmCustomFilter::btnDeleteClick() {
  // Only the chosen kernel's own key, never the "Filters" key itself.
  if (cmbCustom->count() == 0 || cmbCustom->currentIndex() < 0) return;
  const QString name = StoredSettings::ItemName(cmbCustom, cmbCustom->currentIndex());
  if (name.isEmpty()) return;
  const QString key = QString::fromLatin1(StoredSettings::FiltersKey);
  if (!StoredSettings::DeleteEntry(key, cmbCustom, cmbCustom->currentIndex()))
    MessageBox::ShowWarning(QStringLiteral("Could not delete key ") + key + name, this);
  LoadFilterNames();
}
