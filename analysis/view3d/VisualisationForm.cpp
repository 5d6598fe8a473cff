#include "analysis/view3d/VisualisationForm.h"

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <QButtonGroup>
#include <QClipboard>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusTipEvent>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdlib>

#include "analysis/ChartTools.h"
#include "analysis/TextReport.h"
#include "app/Main.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/NumFormat.h"

Tfrm3DVisu* frm3DVisu = nullptr;

namespace {
constexpr float MoveStep = 0.05f;

// Small glyphs for the buttons the style has no icon for.
QIcon Glyph(const std::function<void(QPainter&)>& Draw) {
  QPixmap pm(20, 20);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(40, 40, 40), 1.5));
  Draw(p);
  return QIcon(pm);
}
}  // namespace

// ---- the drawing surface ----

TSurfaceView::TSurfaceView(Tfrm3DVisu* Owner, QWidget* Parent) : QOpenGLWidget(Parent), FOwner(Owner) {
  setObjectName(QStringLiteral("SurfaceView"));
  setAccessibleName(QStringLiteral("Surface view"));
  setMinimumSize(200, 150);
}

void TSurfaceView::initializeGL() {
  // Also after the context was made anew (a new parent window): everything
  // the context held is built again.
  FOwner->SetupGL();
  FOwner->UpdateLight();
  FOwner->CompileSurface();
}

void TSurfaceView::paintGL() { FOwner->FormPaint(); }

void TSurfaceView::resizeGL(int, int) {}

void TSurfaceView::mousePressEvent(QMouseEvent* Event) {
  FOwner->FormMouseDown(float(Event->position().x()), float(Event->position().y()));
}

void TSurfaceView::mouseMoveEvent(QMouseEvent* Event) {
  FOwner->FormMouseMove(float(Event->position().x()), float(Event->position().y()),
                        Event->buttons() & Qt::LeftButton);
}

void TSurfaceView::mouseReleaseEvent(QMouseEvent*) { FOwner->FormMouseUp(); }

// ---- the window ----

Tfrm3DVisu::Tfrm3DVisu(QWidget* Parent) : TForm(Parent) {
  setObjectName(QStringLiteral("frm3DVisu"));
  setWindowTitle(QStringLiteral("3D Visualisation"));
  setAccessibleName(QStringLiteral("3D Visualisation"));
  tbrView = new QToolBar(this);
  tbrView->setObjectName(QStringLiteral("tbrView"));
  tbrView->setAccessibleName(QStringLiteral("View tools"));
  tbrView->setIconSize(QSize(20, 20));
  QStyle* st = style();
  auto button = [this](QToolButton*& B, const char* Name, const QString& Short, const QString& Long,
                       const QIcon& Icon, void (Tfrm3DVisu::*Click)()) {
    B = new QToolButton(tbrView);
    B->setObjectName(QLatin1String(Name));
    B->setAutoRaise(true);
    B->setIcon(Icon);
    B->setText(Short);
    B->setToolTip(Short);
    B->setStatusTip(Long);
    B->setAccessibleName(Short);
    tbrView->addWidget(B);
    if (Click) connect(B, &QToolButton::clicked, this, [this, Click] { (this->*Click)(); });
  };
  button(btnSave, "btnSave", "Save", "Save to disk", st->standardIcon(QStyle::SP_DialogSaveButton),
         &Tfrm3DVisu::btnSaveClick);
  button(btnCopy, "btnCopy", "Copy", "Copy to the clipboard", Glyph([](QPainter& p) {
           p.drawRect(3, 3, 9, 11);
           p.setBrush(Qt::white);
           p.drawRect(8, 7, 9, 11);
         }),
         &Tfrm3DVisu::btnCopyClick);
  tbrView->addSeparator();
  button(btnWireframe, "btnWireframe", "Wireframe", "Render surface in wireframe", Glyph([](QPainter& p) {
           for (int k = 3; k <= 17; k += 7) {
             p.drawLine(3, k, 17, k);
             p.drawLine(k, 3, k, 17);
           }
         }),
         nullptr);
  button(btnShaded, "btnShaded", "Smooth Shading", "Render surface with smooth shading", Glyph([](QPainter& p) {
           QLinearGradient g(3, 3, 17, 17);
           g.setColorAt(0, QColor(250, 250, 250));
           g.setColorAt(1, QColor(40, 90, 160));
           p.setBrush(g);
           p.drawEllipse(3, 3, 14, 14);
         }),
         nullptr);
  for (QToolButton* b : {btnWireframe, btnShaded}) {
    b->setCheckable(true);
    connect(b, &QToolButton::toggled, this, [this] { Repaint(); });
  }
  auto* group = new QButtonGroup(this);
  group->setExclusive(true);
  group->addButton(btnWireframe);
  group->addButton(btnShaded);
  btnShaded->setChecked(true);
  tbrView->addSeparator();
  button(btnUp, "btnUp", "Translate Up", "Translate up", st->standardIcon(QStyle::SP_ArrowUp),
         &Tfrm3DVisu::btnUpClick);
  button(btnDown, "btnDown", "Translate Down", "Translate Down", st->standardIcon(QStyle::SP_ArrowDown),
         &Tfrm3DVisu::btnDownClick);
  button(btnLeft, "btnLeft", "Translate Left", "Translate left", st->standardIcon(QStyle::SP_ArrowLeft),
         &Tfrm3DVisu::btnLeftClick);
  button(btnRight, "btnRight", "Translate Right", "Translate right", st->standardIcon(QStyle::SP_ArrowRight),
         &Tfrm3DVisu::btnRightClick);
  button(btnReset, "btnReset", "Reset View", "Reset view", st->standardIcon(QStyle::SP_BrowserReload),
         &Tfrm3DVisu::btnResetClick);
  button(btnZoomIn, "btnZoomIn", "Zoom In", "Zoom in", Glyph([](QPainter& p) {
           p.drawEllipse(3, 3, 10, 10);
           p.drawLine(12, 12, 17, 17);
           p.drawLine(5, 8, 11, 8);
           p.drawLine(8, 5, 8, 11);
         }),
         &Tfrm3DVisu::btnZoomInClick);
  button(btnZoomOut, "btnZoomOut", "Zoom Out", "Zoom Out", Glyph([](QPainter& p) {
           p.drawEllipse(3, 3, 10, 10);
           p.drawLine(12, 12, 17, 17);
           p.drawLine(5, 8, 11, 8);
         }),
         &Tfrm3DVisu::btnZoomOutClick);
  // The toolbar's own overflow button, shown when the window is narrow.
  if (auto* more = tbrView->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
    more->setAccessibleName(QStringLiteral("More view tools"));
  FLayout = new QVBoxLayout(this);
  FLayout->setContentsMargins(0, 0, 0, 0);
  FLayout->setSpacing(0);
  FLayout->addWidget(tbrView);
  resize(640, 520);
}

Tfrm3DVisu::~Tfrm3DVisu() = default;

void Tfrm3DVisu::BuildSurfaceList(const SurfaceRecord& Surface) {
  FSurface = std::make_unique<SurfaceRecord>(Surface);
  FGeometry = BuildSurfaceGeometry(Surface);
  FQuads = SurfaceQuads(Surface, FGeometry);
  FMaxLabel = NumFormat::FormatFloat("0.0", FGeometry.DataMax);
  // A fresh drawing surface, whose context is made when it is first shown;
  // the GL state, the light and the list follow in initializeGL.
  delete FView;
  FView = new TSurfaceView(this, this);
  InitGL(FView);
  FLayout->addWidget(FView, 1);
  ShowModal();
  delete FView;
  FView = nullptr;
  FQuads.clear();
}

void Tfrm3DVisu::SetupGL() {
  glClearColor(0, 0, 0, 0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
  glEnable(GL_COLOR_MATERIAL);
  glShadeModel(GL_SMOOTH);
  glEnable(GL_LIGHTING);
  const TGLColor4 white = GLColor4(1, 1, 1, 1);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &white.Red);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, &white.Red);
  FLight = std::make_unique<TOGLLight>(GL_LIGHT0);
  FLight->SetAmbient(GLColor4(0.5f, 0.5f, 0.5f, 1));
  FLight->SetDiffuse(GLColor4(0.5f, 0.5f, 0.5f, 1));
  FLight->SetSpecular(GLColor4(1, 1, 1, 1));
  FLight->SetLinearAttenuation(0.002f);
}

void Tfrm3DVisu::UpdateLight() {
  if (FSurface) UpdateLight(FSurface->SpotLight, FSurface->LightX, FSurface->LightY, FSurface->LightZ);
}

void Tfrm3DVisu::UpdateLight(bool SpotLight, float X, float Y, float Z) {
  // The position is taken in eye space, so it is set with the identity
  // model-view matrix: the light stays put while the surface turns.
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  FLight = std::make_unique<TOGLLight>(GL_LIGHT0);
  FLight->SetAmbient(GLColor4(0.5f, 0.5f, 0.5f, 1));
  FLight->SetDiffuse(GLColor4(0.5f, 0.5f, 0.5f, 1));
  FLight->SetSpecular(GLColor4(1, 1, 1, 1));
  FLight->SetLinearAttenuation(0.002f);
  FLight->SetPosition(GLVector4(X, Y, Z, SpotLight ? 4.0f : 0.0f));
  FLight->Enable();
}

void Tfrm3DVisu::CompileSurface() {
  if (!FSurface) return;
  glMaterialf(GL_FRONT, GL_SHININESS, FSurface->Shininess);
  FSurfaceList = glGenLists(1);
  glNewList(FSurfaceList, GL_COMPILE);
  glBegin(GL_QUADS);
  for (const TSurfaceVertex& v : FQuads) {
    glColor3f(v.Colour[0], v.Colour[1], v.Colour[2]);
    glNormal3f(v.Normal[0], v.Normal[1], v.Normal[2]);
    glVertex3f(v.Position[0], v.Position[1], v.Position[2]);
  }
  glEnd();
  glEndList();
}

void Tfrm3DVisu::FormPaint() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  const qreal ratio = FView ? FView->devicePixelRatioF() : 1.0;
  ResizeGL(int(FView->width() * ratio), int(FView->height() * ratio));
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  ApplyViewTransform();
  glShadeModel(GL_FLAT);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glDisable(GL_LIGHTING);
  DrawBoundingBox();
  glShadeModel(GL_SMOOTH);
  // Wireframe leaves the polygons as lines.
  if (btnShaded->isChecked()) glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glEnable(GL_LIGHTING);
  if (FSurfaceList) glCallList(FSurfaceList);
  glShadeModel(GL_FLAT);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glDisable(GL_LIGHTING);
  DrawAxes();
  glFlush();
}

void Tfrm3DVisu::ApplyViewTransform() {
  glTranslatef(TransX, TransY, TransZ);
  glRotatef(AngleX, 1, 0, 0);
  glRotatef(AngleY, 0, 1, 0);
  glRotatef(AngleZ, 0, 0, 1);
}

void Tfrm3DVisu::DrawBoundingBox() {
  if (!FSurface || !FSurface->ShowBox) return;
  const float x0 = float(-FGeometry.cx / 128.0L), x1 = float(FGeometry.cx / 128.0L);
  const float z0 = float(-FGeometry.cy / 128.0L), z1 = float(FGeometry.cy / 128.0L);
  const float y0 = 0.0f, y1 = FGeometry.NormMax;
  glColor3f(1, 1, 1);
  glBegin(GL_QUADS);
  // Bottom, top, back, front, left, right.
  glVertex3f(x0, y0, z0), glVertex3f(x1, y0, z0), glVertex3f(x1, y0, z1), glVertex3f(x0, y0, z1);
  glVertex3f(x0, y1, z0), glVertex3f(x1, y1, z0), glVertex3f(x1, y1, z1), glVertex3f(x0, y1, z1);
  glVertex3f(x0, y0, z0), glVertex3f(x1, y0, z0), glVertex3f(x1, y1, z0), glVertex3f(x0, y1, z0);
  glVertex3f(x0, y0, z1), glVertex3f(x1, y0, z1), glVertex3f(x1, y1, z1), glVertex3f(x0, y1, z1);
  glVertex3f(x0, y0, z0), glVertex3f(x0, y0, z1), glVertex3f(x0, y1, z1), glVertex3f(x0, y1, z0);
  glVertex3f(x1, y0, z0), glVertex3f(x1, y0, z1), glVertex3f(x1, y1, z1), glVertex3f(x1, y1, z0);
  glEnd();
}

void Tfrm3DVisu::DrawAxes() {
  if (!FSurface || !FSurface->ShowScale) return;
  const float L = float(-FGeometry.cx / 128.0L), F = float(-FGeometry.cy / 128.0L);
  const float R = float(FGeometry.cx / 128.0L), B = float(FGeometry.cy / 128.0L);
  const float top = FGeometry.NormMax, tick = 0.015f, scale = 0.00025f;
  const bool text = StrokeFontReady();
  auto line = [](float x0, float y0, float z0, float x1, float y1, float z1) {
    glBegin(GL_LINES);
    glVertex3f(x0, y0, z0);
    glVertex3f(x1, y1, z1);
    glEnd();
  };
  auto label = [&](const std::string& s, float x, float y, float z, float ax, float ay, float az) {
    if (text) DrawStrokeText(s, x, y, z, scale, ax, ay, az);
  };
  glColor3f(1, 1, 1);
  // The value axis with its labels from the top down.
  line(L, 0, F, L, top, F);
  line(L, 0, F, L - tick, 0, F);
  const float o = 0.03f * float(FMaxLabel.size());
  const std::array<std::string, 5> values = SurfaceValueLabels(FGeometry.DataMax);
  const float heights[4] = {top, float(top * 3.0L / 4), float(top / 2.0L), float(top / 4.0L)};
  for (int k = 0; k < 4; ++k) {
    label(values[k], L - o, heights[k], F, 0, 0, 0);
    line(L, heights[k], F, L - tick, heights[k], F);
  }
  label(values[4], L - o, 0, F, 0, 0, 0);
  label("Pixel Value", L - o - 0.05f, top / 2 - 0.12f, F, 0, 0, 90);
  // The row axis along the left edge.
  const int H = FSurface->ImageHeight, W = FSurface->ImageWidth;
  label("Rows", L - 0.15f, 0, -0.06f, -90, 0, -90);
  label(std::to_string((H - 1) / 2), L - 0.05f, 0, -0.05f, -90, 0, -90);
  label(std::to_string(H - 1), L - 0.05f, 0, B - 0.05f, -90, 0, -90);
  line(L, 0, 0, L - tick, 0, 0);
  line(L, 0, B, L - tick, 0, B);
  // The column axis along the front edge.
  label("Columns", -0.12f, 0, B + 0.15f, -90, 0, 0);
  label(std::to_string((W - 1) / 2), -0.05f, 0, B + 0.05f, -90, 0, 0);
  label(std::to_string(W - 1), R - 0.05f, 0, B + 0.05f, -90, 0, 0);
  line(0, 0, B, 0, 0, B + tick);
  line(R, 0, B, R, 0, B + tick);
  // The base.
  glBegin(GL_LINE_LOOP);
  glVertex3f(L, 0, F), glVertex3f(R, 0, F), glVertex3f(R, 0, B), glVertex3f(L, 0, B);
  glEnd();
}

void Tfrm3DVisu::DrawStrokeText(const std::string& Text, float X, float Y, float Z, float Scale, float AX, float AY,
                                float AZ) {
  glPushMatrix();
  glPushAttrib(GL_ENABLE_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glTranslatef(X, Y, Z);
  glRotatef(AX, 1, 0, 0);
  glRotatef(AY, 0, 1, 0);
  glRotatef(AZ, 0, 0, 1);
  glScalef(Scale, Scale, Scale);
  glColor3f(1, 1, 1);
  for (unsigned char c : Text) glutStrokeCharacter(GLUT_STROKE_MONO_ROMAN, c);
  glPopAttrib();
  glPopMatrix();
}

void Tfrm3DVisu::FormMouseDown(float X, float Y) {
  PressX = X;
  PressY = Y;
}

void Tfrm3DVisu::FormMouseMove(float X, float Y, bool LeftButton) {
  if (!LeftButton) return;
  // Only the pointer's travel is halved: a drag starts where the last one left.
  AngleY = float((long double)SavedAngleY - ((long double)PressX - X) / 2);
  AngleX = float((long double)SavedAngleX - ((long double)PressY - Y) / 2);
  Repaint();
}

void Tfrm3DVisu::FormMouseUp() {
  SavedAngleX = AngleX;
  SavedAngleY = AngleY;
}

void Tfrm3DVisu::FormClose() {
  CloseGL(FView, FSurfaceList);
  FSurfaceList = 0;
  FLight.reset();
}

void Tfrm3DVisu::done(int Result) {
  FormClose();
  TForm::done(Result);
}

void Tfrm3DVisu::Repaint() {
  if (FView) FView->update();
}

QImage Tfrm3DVisu::ViewPicture() {
  if (!FView) return {};
  // The clear colour's alpha is 0: the picture is made opaque.
  return FView->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
}

void Tfrm3DVisu::btnSaveClick() {
  const QImage picture = ViewPicture();
  TFileDialog dialog(TFileDialog::TKind::Save);
  dialog.Filter = QStringLiteral("Bitmap Files (*.bmp)|*.bmp|All Files (*.*)|*.*");
  dialog.DefaultExt = QStringLiteral("bmp");
  if (!dialog.Execute(this)) return;
  const QString name = dialog.WithDefaultExtension(dialog.FileName);
  try {
    SavePictureBitmap(picture.convertToFormat(QImage::Format_RGB888), name);
  } catch (const EReportError& e) {
    const QString text = QStringLiteral("The picture could not be saved to ") + name + QLatin1Char('.');
    MessageBox::ShowError(TextWithReason(text, e), this);
  }
}

void Tfrm3DVisu::btnCopyClick() { QGuiApplication::clipboard()->setImage(ViewPicture()); }

void Tfrm3DVisu::btnUpClick() {
  TransY += MoveStep;
  Repaint();
}
void Tfrm3DVisu::btnDownClick() {
  TransY -= MoveStep;
  Repaint();
}
void Tfrm3DVisu::btnLeftClick() {
  TransX -= MoveStep;
  Repaint();
}
void Tfrm3DVisu::btnRightClick() {
  TransX += MoveStep;
  Repaint();
}
void Tfrm3DVisu::btnZoomInClick() {
  TransZ += MoveStep;
  Repaint();
}
void Tfrm3DVisu::btnZoomOutClick() {
  TransZ -= MoveStep;
  Repaint();
}
void Tfrm3DVisu::btnResetClick() {
  TransX = 0.0f;
  TransY = -0.15f;
  TransZ = -3.0f;
  AngleX = SavedAngleX = 20.0f;
  AngleY = SavedAngleY = 0.0f;
  AngleZ = SavedAngleZ = 0.0f;
  Repaint();
}

bool Tfrm3DVisu::event(QEvent* Event) {
  // Hints stop at a window's edge in Qt; the long part belongs on the main
  // window's status bar.
  if (Event->type() == QEvent::StatusTip) {
    if (MainForm) MainForm->ShowHint(static_cast<QStatusTipEvent*>(Event)->tip());
    return true;
  }
  return TForm::event(Event);
}
