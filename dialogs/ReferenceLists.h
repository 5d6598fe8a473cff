#pragma once
// The two image lists of the registration dialogs: a drop-down list choosing
// the reference and a check list of targets. Item i of both stands for the
// document window of index i when the dialog opened.
#include <QList>
#include <QPointer>

class QComboBox;
class QListWidget;
class TChildForm;

using TWindowSnapshot = QList<QPointer<TChildForm>>;

// The document windows in the main window's order, kept while windows are
// made or closed behind them.
TWindowSnapshot SnapshotWindows();

// Clears both lists and adds every window's caption to each; selects item 0
// of Reference and disables (unchecks) item 0 of Targets.
void FillReferenceLists(QComboBox* Reference, QListWidget* Targets, const TWindowSnapshot& Windows);

// Enables every target, then disables and unchecks the one of index Reference.
void ExcludeReference(QListWidget* Targets, int Reference);

// The window of an item, or nullptr when it has closed since.
TChildForm* SnapshotWindow(const TWindowSnapshot& Windows, int Index);
