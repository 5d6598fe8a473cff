#include "app/FormGroups.h"

void CreatePhotometryForms(TMainForm*) {}
void FreePhotometryForms() {}
