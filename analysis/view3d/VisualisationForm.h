#pragma once
// The 3-D view: a modal window with a toolbar above a GL drawing of the
// surface. The drawing widget and its context are made each time the view
// opens; the translation and the angles stay until Reset.
#include <QOpenGLWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/view3d/OGLLight.h"
#include "analysis/view3d/Visualisation.h"
#include "app/FormSupport.h"

class QToolBar;
class QToolButton;
class QVBoxLayout;
class Tfrm3DVisu;

// The drawing surface; it hands everything to its window.
class TSurfaceView : public QOpenGLWidget {
  Q_OBJECT
 public:
  TSurfaceView(Tfrm3DVisu* Owner, QWidget* Parent);

 protected:
  void initializeGL() override;
  void paintGL() override;
  void resizeGL(int W, int H) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

 private:
  Tfrm3DVisu* FOwner;
};

class Tfrm3DVisu : public TForm {
  Q_OBJECT
 public:
  explicit Tfrm3DVisu(QWidget* Parent = nullptr);
  ~Tfrm3DVisu() override;

  // Normalises the surface, prepares its drawing and shows the view modally;
  // returns when the view is closed.
  void BuildSurfaceList(const SurfaceRecord& Surface);

  // GL state, light and display list; called with the view's context current.
  void SetupGL();
  void UpdateLight(bool SpotLight, float X, float Y, float Z);
  // With the surface's own flag and position.
  void UpdateLight();
  void CompileSurface();
  void FormPaint();
  void ApplyViewTransform();
  void DrawBoundingBox();
  void DrawAxes();
  void DrawStrokeText(const std::string& Text, float X, float Y, float Z, float Scale, float AngleX, float AngleY,
                      float AngleZ);

  void FormMouseDown(float X, float Y);
  void FormMouseMove(float X, float Y, bool LeftButton);
  void FormMouseUp();
  void FormClose();

  void btnSaveClick();
  void btnCopyClick();
  void btnUpClick();
  void btnDownClick();
  void btnLeftClick();
  void btnRightClick();
  void btnResetClick();
  void btnZoomInClick();
  void btnZoomOutClick();

  // The picture as drawn, opaque.
  QImage ViewPicture();
  TSurfaceView* View() const { return FView; }
  const TSurfaceGeometry& Geometry() const { return FGeometry; }
  const TOGLLight* Light() const { return FLight.get(); }
  unsigned SurfaceList() const { return FSurfaceList; }

  // View state, kept between openings until Reset.
  float TransX = 0.0f, TransY = -0.15f, TransZ = -3.0f;
  float AngleX = 20.0f, AngleY = 0.0f, AngleZ = 0.0f;
  float SavedAngleX = 20.0f, SavedAngleY = 0.0f, SavedAngleZ = 0.0f;
  float PressX = 0.0f, PressY = 0.0f;

  QToolBar* tbrView = nullptr;
  QToolButton *btnSave = nullptr, *btnCopy = nullptr, *btnWireframe = nullptr, *btnShaded = nullptr,
              *btnUp = nullptr, *btnDown = nullptr, *btnLeft = nullptr, *btnRight = nullptr, *btnReset = nullptr,
              *btnZoomIn = nullptr, *btnZoomOut = nullptr;

 protected:
  bool event(QEvent* Event) override;
  void done(int Result) override;

 private:
  void Repaint();
  QVBoxLayout* FLayout = nullptr;
  TSurfaceView* FView = nullptr;
  std::unique_ptr<SurfaceRecord> FSurface;
  TSurfaceGeometry FGeometry;
  std::vector<TSurfaceVertex> FQuads;
  std::unique_ptr<TOGLLight> FLight;
  unsigned FSurfaceList = 0;
  std::string FMaxLabel;
};

extern Tfrm3DVisu* frm3DVisu;
