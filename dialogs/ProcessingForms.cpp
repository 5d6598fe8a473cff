#include "app/FormGroups.h"

void CreateProcessingForms(TMainForm*) {}
void FreeProcessingForms() {}
