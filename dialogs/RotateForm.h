#pragma once
// Rotate by an angle in degrees, and the two flip commands (no dialog).
#include <cstdint>

#include "dialogs/ProcessingDialog.h"

class TFloatEdit;

class TfrmRotate : public TProcessingDialog {
  Q_OBJECT
 public:
  explicit TfrmRotate(QWidget* Parent = nullptr);
  TFloatEdit* fedAngle = nullptr;  // -360..360

  // The active image flipped into a new window captioned "Flip": 0 top to
  // bottom, 1 left to right.
  void Flip(std::uint8_t Direction);

 protected:
  void ReadParameters() override;
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;

 private:
  float FAngle = 0.0f;
};

extern TfrmRotate* frmRotate;
