#include "app/FormGroups.h"

void CreateRestorationForms(TMainForm*) {}
void FreeRestorationForms() {}
