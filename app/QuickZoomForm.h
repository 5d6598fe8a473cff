#pragma once
// "Quick Zoom": a stay-on-top tool window showing the picture around the
// cursor of an image window at 100 to 1600 %.
#include <QWidget>
#include <cstdint>

#include "app/Child.h"

class QLabel;
class QToolButton;

class TfrmQuickZoom : public QWidget, public TQuickZoomTarget {
  Q_OBJECT
 public:
  explicit TfrmQuickZoom(QWidget* Parent = nullptr);
  ~TfrmQuickZoom() override;

  QLabel* ZoomDisplay = nullptr;
  QToolButton* btnZoomIn = nullptr;
  QToolButton* btnZoomOut = nullptr;
  std::int16_t Level = 100;

  void btnZoomInClick();
  void btnZoomOutClick();

  bool IsShowing() const override { return isVisible(); }
  float ZoomLevel() const override { return Level; }
  void ShowSquare(const QImage& Square) override;
};
extern TfrmQuickZoom* frmQuickZoom;
