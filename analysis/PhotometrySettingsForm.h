#pragma once
// "Photometry Settings": the aperture and annulus radii, the zero point and
// the exposure time, with a drawing of the three circles. OK gives them to
// the active image window and keeps them in the settings store.
#include <QPixmap>
#include <array>

#include "app/FormSupport.h"

class QLabel;
class TFloatEdit;
class TIntEdit;

class TfrmPhotSettings : public TForm {
  Q_OBJECT
 public:
  explicit TfrmPhotSettings(QWidget* Parent = nullptr);

  TIntEdit* iedR1 = nullptr;
  TIntEdit* iedR2 = nullptr;
  TIntEdit* iedR3 = nullptr;
  TFloatEdit* fedZeroPoint = nullptr;
  TFloatEdit* fedExposure = nullptr;
  QLabel* imgPreview = nullptr;
  static constexpr int PreviewWidth = 105;
  static constexpr int PreviewHeight = 89;

  void FormCreate();
  void FormShow();
  void iedR1Change();
  void btnOKClick();
  void btnCancelClick() { SetModalResult(mrCancel); }
  // Three white circles on black about the preview's centre, only when the
  // radii grow outward; otherwise the picture stays as it was.
  void DrawAperturePreview();
  const QPixmap& Preview() const { return FPreview; }

 protected:
  void showEvent(class QShowEvent* Event) override;

 private:
  // The three radii, the zero point and the exposure time as OK takes them.
  using TValues = std::array<double, 5>;
  TValues Values() const;
  QPixmap FPreview;
  TValues FShown{};      // as the store last gave them or OK last wrote them
  bool FHeld[5] = {};    // the store holds the value (usable or not)
};
extern TfrmPhotSettings* frmPhotSettings;
