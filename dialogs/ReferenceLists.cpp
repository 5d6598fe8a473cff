#include "dialogs/ReferenceLists.h"

#include <QComboBox>
#include <QListWidget>

#include "app/Child.h"
#include "app/Main.h"

TWindowSnapshot SnapshotWindows() {
  TWindowSnapshot windows;
  if (MainForm)
    for (TChildForm* child : MainForm->MDIChildren()) windows.append(QPointer<TChildForm>(child));
  return windows;
}

void FillReferenceLists(QComboBox* Reference, QListWidget* Targets, const TWindowSnapshot& Windows) {
  Reference->clear();
  Targets->clear();
  for (const QPointer<TChildForm>& window : Windows) {
    const QString caption = window ? window->Caption() : QString();
    Reference->addItem(caption);
    auto* item = new QListWidgetItem(caption, Targets);
    item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Unchecked);
  }
  if (Reference->count() > 0) Reference->setCurrentIndex(0);
  ExcludeReference(Targets, 0);
}

void ExcludeReference(QListWidget* Targets, int Reference) {
  for (int i = 0; i < Targets->count(); ++i) {
    QListWidgetItem* item = Targets->item(i);
    if (i == Reference) {
      item->setCheckState(Qt::Unchecked);
      item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
    } else {
      item->setFlags(item->flags() | Qt::ItemIsEnabled);
    }
  }
  Targets->viewport()->update();
}

TChildForm* SnapshotWindow(const TWindowSnapshot& Windows, int Index) {
  if (Index < 0 || Index >= Windows.size()) return nullptr;
  return Windows[Index].data();
}
