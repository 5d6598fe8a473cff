#include "platform/FileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QPushButton>
#include <utility>

#include "platform/KeyboardReturn.h"

namespace {
TFileDialog::THook& Hook() {
  static TFileDialog::THook h;
  return h;
}

QStringList FilterPatterns(const QString& Filter, int Index) {
  const QStringList parts = Filter.split(QLatin1Char('|'));
  const int i = 2 * (Index - 1) + 1;
  if (Index < 1 || i >= parts.size()) return {};
  return parts[i].split(QLatin1Char(';'), Qt::SkipEmptyParts);
}
}  // namespace

int TFileDialog::FilterPosition(const QString& Filter, const QString& Chosen) {
  // The dialog names its choice either in full or by the name alone.
  const QStringList full = QtFilters(Filter);
  const QStringList parts = Filter.split(QLatin1Char('|'));
  for (int i = 0; i < full.size(); ++i)
    if (Chosen == full[i] || Chosen == parts[2 * i].simplified()) return i + 1;
  return 0;
}

TFileDialog::THook TFileDialog::SetHook(THook NewHook) { return std::exchange(Hook(), std::move(NewHook)); }

QStringList TFileDialog::QtFilters(const QString& Filter) {
  QStringList result;
  const QStringList parts = Filter.split(QLatin1Char('|'));
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& p : patterns) {
      p = p.trimmed();
      if (p == QLatin1String("*.*")) p = QStringLiteral("*");
    }
    result << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
  }
  return result;
}

QString TFileDialog::WithDefaultExtension(const QString& Name) const {
  const QString base = QFileInfo(Name).fileName();
  if (Name.isEmpty() || base.contains(QLatin1Char('.'))) return Name;
  QString ext;
  const QStringList patterns = FilterPatterns(Filter, FilterIndex);
  if (!patterns.isEmpty() && patterns.first().startsWith(QLatin1String("*.")) && !patterns.first().contains(QLatin1Char('?')) &&
      patterns.first() != QLatin1String("*.*"))
    ext = patterns.first().mid(1);
  if (ext.isEmpty() && !DefaultExt.isEmpty()) {
    ext = DefaultExt;
    if (ext.startsWith(QLatin1Char('*'))) ext.remove(0, 1);
    if (!ext.startsWith(QLatin1Char('.'))) ext.prepend(QLatin1Char('.'));
  }
  return Name + ext;
}

bool TFileDialog::Execute(QWidget* Parent) {
  if (auto& h = Hook()) return h(*this);
  QFileDialog dialog(Parent, Title, InitialDir);
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::ReadOnly, false);
  // The list shows each filter's own name, "FITS Files (*.fts, *.fit, *.fits)",
  // without Qt's pattern list repeated after it.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  const QStringList filters = QtFilters(Filter);
  dialog.setNameFilters(filters);
  if (FilterIndex >= 1 && FilterIndex <= filters.size()) dialog.selectNameFilter(filters[FilterIndex - 1]);
  if (Kind == TKind::Open) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !OverwritePrompt);
  }
  if (!FileName.isEmpty()) dialog.selectFile(FileName);
  if (OnOptions && !OptionsCaption.isEmpty()) {
    // Qt's own dialog lays its controls out in a grid: the button goes below.
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
      auto* button = new QPushButton(OptionsCaption, &dialog);
      button->setObjectName(QStringLiteral("btnOptions"));
      QObject::connect(button, &QPushButton::clicked, &dialog, [this] { OnOptions(); });
      grid->addWidget(button, grid->rowCount(), 0);
    }
  }
  const TKeyboardReturn back(Parent);
  const int result = dialog.exec();
  back.Restore();
  if (result != QDialog::Accepted) return false;
  FilterIndex = FilterPosition(Filter, dialog.selectedNameFilter());
  Files = dialog.selectedFiles();
  if (Kind == TKind::Save)
    for (QString& f : Files) f = WithDefaultExtension(f);
  FileName = Files.isEmpty() ? QString() : Files.first();
  return !Files.isEmpty();
}
