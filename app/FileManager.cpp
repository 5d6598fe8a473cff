#include "app/FileManager.h"

QString ExtractFileExt(const QString& FileName) {
  const int slash = int(FileName.lastIndexOf(QLatin1Char('/')));
  const int dot = int(FileName.lastIndexOf(QLatin1Char('.')));
  return dot > slash ? FileName.mid(dot) : QString();
}

void OpenImageFile(const QString&) {}
bool SaveImageFile(const QString&, TChildForm*) { return false; }
