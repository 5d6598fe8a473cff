#include "app/FormGroups.h"

void CreateView3DForms(TMainForm*) {}
void FreeView3DForms() {}
