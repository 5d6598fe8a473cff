#pragma once
// "JPEG Options", shown before every JPEG save: quality and progressive
// encoding, kept from one save to the next.
#include "app/FormSupport.h"

class QCheckBox;
class QSlider;
class TIntEdit;
struct TJPEGSaveOptions;

class TfrmJPEGOptions : public TForm {
  Q_OBJECT
 public:
  explicit TfrmJPEGOptions(QWidget* Parent = nullptr);
  QSlider* trkJPEGCompression = nullptr;
  TIntEdit* iedQuality = nullptr;
  QCheckBox* chkProgressive = nullptr;
  // Shows the dialog; on OK the options take its settings.
  int Execute(TJPEGSaveOptions& Options);
};
extern TfrmJPEGOptions* frmJPEGOptions;
