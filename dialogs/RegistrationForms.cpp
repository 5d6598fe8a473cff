#include "app/FormGroups.h"

void CreateRegistrationForms(TMainForm*) {}
void FreeRegistrationForms() {}
