#include "app/ImageRef.h"

#include <QListWidget>
#include <algorithm>

void MoveImageRefs(TImageRefList& From, TImageRefList& To, const std::vector<int>& Selected, bool All) {
  TImageRefList keep;
  for (int i = 0; i < int(From.size()); ++i) {
    const bool chosen = All || std::find(Selected.begin(), Selected.end(), i) != Selected.end();
    (chosen ? To : keep).push_back(From[std::size_t(i)]);
  }
  From = std::move(keep);
}

TPickerButtons PickerButtons(std::size_t SourceCount, std::size_t DestCount) {
  TPickerButtons b;
  if (SourceCount == 0) b = {false, false, true, true};
  if (DestCount == 0) b = {true, true, false, false};
  if (SourceCount != 0 && DestCount != 0) b = {true, true, true, true};
  return b;
}

std::vector<int> SelectedRows(const QListWidget* List) {
  std::vector<int> rows;
  for (int i = 0; i < List->count(); ++i)
    if (List->item(i)->isSelected()) rows.push_back(i);
  return rows;
}
