#pragma once
// The 21 fixed filters of the Filter menu.

struct TStandardFilter {
  const char* Command;  // the action's name
  const char* Caption;  // the result window's caption
};

constexpr int StandardFilterCount = 21;
extern const TStandardFilter StandardFilters[StandardFilterCount];

// Runs fixed filter Index (0..20) on the active image window into a new window.
void ApplyStandardFilter(int Index);
