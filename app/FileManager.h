#pragma once
// The single door between the main window and the file formats: the
// extension alone picks the reader or the writer.
#include <QString>
#include <functional>

class TChildForm;

// From the last '.' of the name (after its folder) on, dot included; "" when none.
QString ExtractFileExt(const QString& FileName);

void OpenImageFile(const QString& FileName);
// True when a file was written.
bool SaveImageFile(const QString& FileName, TChildForm* Window);

// The main window's dialog filters.
QString OpenDialogFilter();
QString SaveDialogFilter();
