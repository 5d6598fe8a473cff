#pragma once
// "File Options": a JPEG quality preview of the active window, the data type
// of FITS files saved from windows without header, and the header list.
#include <QImage>
#include <QPoint>
#include <cstdint>
#include <vector>

#include "app/FormSupport.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QListWidget;
class QSlider;
class QTabWidget;
class TIntEdit;

// Decodes JPEG bytes; Greyscale asks the decoder for its grey output (the
// luminance the encoder stored). A null image on failure.
QImage DecodeJPEGPreview(const std::vector<std::uint8_t>& Bytes, bool Greyscale);

class TfrmFileOptions : public TForm {
  Q_OBJECT
 public:
  explicit TfrmFileOptions(QWidget* Parent = nullptr);
  QTabWidget* PageControl1 = nullptr;
  QSlider* trkJPEGCompression = nullptr;
  TIntEdit* iedQuality = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* Image2 = nullptr;
  QLabel* lblUncompressed = nullptr;
  QLabel* lblCompressed = nullptr;
  QComboBox* cmbFileType = nullptr;
  QComboBox* cmbMode = nullptr;
  QButtonGroup* grpDataType = nullptr;  // 0 "16 bit integer", 1 "32 bit float"
  QPushButton* btnNewHeader = nullptr;
  QListWidget* ListBox = nullptr;

  // The data type a header-less window is saved with: 16 or -32.
  int NewHeaderBITPIX() const;
  void Execute(bool Modal = true);
  void btnNewHeaderClick();
  void trkJPEGCompressionChange();
  void cmbFileTypeChange();
  // Pans both previews by (DX, DY) pixels of the pictures.
  void Pan(int DX, int DY);

  const QImage& SourcePicture() const { return FSource; }
  const QImage& ResultPicture() const { return FResult; }
  const std::vector<std::uint8_t>& JPEGBytes() const { return FJPEG; }
  QPoint PanOffset() const { return FPan; }

 protected:
  void showEvent(QShowEvent* Event) override;
  void hideEvent(QHideEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void Compress();
  void ShowPreviews();
  QImage FSource, FResult;
  std::vector<std::uint8_t> FJPEG;
  int FQuality = 0;
  bool FGreyscale = false;
  QPoint FPan, FLastMouse;
};
extern TfrmFileOptions* frmFileOptions;
