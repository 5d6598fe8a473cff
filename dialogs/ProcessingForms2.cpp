#include "app/FormGroups.h"

void CreateProcessingForms2(TMainForm*) {}
void FreeProcessingForms2() {}
