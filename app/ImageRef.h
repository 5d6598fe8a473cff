#pragma once
// The entry of the image pickers (statistics, multiple-image photometry,
// combining series) and the one rule they share for moving entries between
// their two lists and for enabling the four buttons.
#include <QString>
#include <vector>

class QListWidget;

struct TImageRef {
  int Index = 0;  // the window's place among the main window's document windows
  int Count = 1;
  QString Name;   // left empty by the pickers
};

using TImageRefList = std::vector<TImageRef>;

// Moves the entries of From whose positions are in Selected (any order) to the
// end of To, in From's order. An empty Selected with All set moves every entry.
void MoveImageRefs(TImageRefList& From, TImageRefList& To, const std::vector<int>& Selected, bool All = false);

struct TPickerButtons {
  bool Add = true, AddAll = true, Remove = false, RemoveAll = false;
};
// The rows of a picker's list box that are selected, top to bottom.
std::vector<int> SelectedRows(const QListWidget* List);

// Source empty: Add/Add All off, Remove/Remove All on; destination empty: the
// reverse (this rule decides when both are empty); both filled: all four on.
TPickerButtons PickerButtons(std::size_t SourceCount, std::size_t DestCount);
