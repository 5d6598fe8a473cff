#include "app/FormGroups.h"

void CreateAnalysisForms(TMainForm*) {}
void FreeAnalysisForms() {}
