// The 3-D view opened as a user opens it: Statistics > 3D Visualisation, the
// properties, OK; then the drawing, its GL state and its buttons, read back
// from the framebuffer. Needs an X display with GLX (Xvfb).
#include <GL/gl.h>
#include <GL/glu.h>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStatusTipEvent>
#include <QTest>
#include <QToolButton>
#include <cstdlib>

#include "analysis/view3d/OGLInit.h"
#include "analysis/view3d/SurfacePropertiesForm.h"
#include "analysis/view3d/VisualisationForm.h"
#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/Main.h"
#include "app/StartUp.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "view3d/View3DTestSupport.h"

using namespace view3dtest;

namespace {

// A point of model space on the picture (top row 0), with the matrices the
// last paint left.
QPointF OnPicture(double X, double Y, double Z, int PictureHeight) {
  GLdouble mv[16], pr[16], wx, wy, wz;
  GLint vp[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  glGetDoublev(GL_PROJECTION_MATRIX, pr);
  glGetIntegerv(GL_VIEWPORT, vp);
  gluProject(X, Y, Z, mv, pr, vp, &wx, &wy, &wz);
  return {wx, PictureHeight - 1 - wy};
}

bool IsWhite(QRgb c) { return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200; }
bool IsBlack(QRgb c) { return qRed(c) < 8 && qGreen(c) < 8 && qBlue(c) < 8; }

int Count(const QImage& Img, QRect Area, bool (*Test)(QRgb)) {
  Area = Area.normalized().intersected(Img.rect());
  int n = 0;
  for (int y = Area.top(); y <= Area.bottom(); ++y)
    for (int x = Area.left(); x <= Area.right(); ++x) n += Test(Img.pixel(x, y));
  return n;
}
int NotBlack(const QImage& Img) { return Img.width() * Img.height() - Count(Img, Img.rect(), IsBlack); }

class SurfaceViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"))
        << "the 3-D view tests need X11: run them with xvfb-run and QT_QPA_PLATFORM=xcb";
    Form = new TMainForm;
    MainForm = Form;
    CreateForms(Form);
    Form->resize(1000, 800);
    Form->show();
    PreviousBox = MessageBox::SetHook([this](TMsgDlgType, const QString& Text, unsigned) {
      Boxes.push_back(Text);
      return int(mrOk);
    });
  }
  void TearDown() override {
    MessageBox::SetHook(PreviousBox);
    if (!Form) return;
    for (TChildForm* child : Form->MDIChildren()) {
      child->setAttribute(Qt::WA_DeleteOnClose, false);
      delete child;
    }
    FreeForms();
    delete Form;
    MainForm = nullptr;
  }
  TChildForm* Window(int W, int H, const std::function<float(int, int)>& F) {
    auto* child = new TChildForm;
    child->DataImage->Allocate(W, H, 3, false);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) child->DataImage->SetPixel(x, y, F(x, y));
    child->DataImage->AutoScale();
    child->SetCaption(QStringLiteral("Star"));
    child->UpdateImage();
    return child;
  }
  TChildForm* StarWindow(int W = 256, int H = 256) {
    return Window(W, H, [W, H](int x, int y) { return Star(x, y, W, H); });
  }
  // Statistics > 3D Visualisation; Setup sets the properties as a user
  // would; OK; Inside runs in the open view after its first paint; then the
  // view is closed with Escape. False when the view never opened.
  bool OpenView(const std::function<void(TfrmSurfaceProperties*)>& Setup,
                const std::function<void(Tfrm3DVisu*, const QImage&)>& Inside) {
    bool opened = false;
    WhenModal(frmSurfaceProperties, [&] {
      if (Setup) Setup(frmSurfaceProperties);
      WhenModal(frm3DVisu, [&] {
        opened = true;
        frm3DVisu->View()->makeCurrent();
        const QImage picture = frm3DVisu->ViewPicture();
        frm3DVisu->View()->makeCurrent();
        Inside(frm3DVisu, picture);
        QTest::keyClick(frm3DVisu, Qt::Key_Escape);
      });
      QTest::mouseClick(frmSurfaceProperties->btnOK, Qt::LeftButton);
      // A refused image leaves the dialog open.
      LeftOpen = frmSurfaceProperties->isVisible();
      if (LeftOpen) QTest::mouseClick(frmSurfaceProperties->btnCancel, Qt::LeftButton);
    });
    Form->Action(QStringLiteral("Statistics3DVisu"))->trigger();
    return opened;
  }

  TMainForm* Form = nullptr;
  bool LeftOpen = false;  // the properties were still open after OK
  std::vector<QString> Boxes;
  MessageBox::THook PreviousBox;
};

void ChoosePalette(TfrmSurfaceProperties* Dlg, int Item) {
  // The keyboard on the closed list: each Down is a choice of the user.
  Dlg->cmbPalette->setFocus();
  for (int k = Dlg->cmbPalette->currentIndex(); k < Item; ++k) QTest::keyClick(Dlg->cmbPalette, Qt::Key_Down);
  for (int k = Dlg->cmbPalette->currentIndex(); k > Item; --k) QTest::keyClick(Dlg->cmbPalette, Qt::Key_Up);
}

}  // namespace

TEST_F(SurfaceViewTest, GaussianStarIsDrawnLitAndLabelled) {
  StarWindow();
  bool checked = false;
  ASSERT_TRUE(OpenView([](TfrmSurfaceProperties* d) { ChoosePalette(d, 3); },  // Fire
                       [&](Tfrm3DVisu* v, const QImage& pic) {
                         checked = true;
                         EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
                         if (const char* shots = std::getenv("CORVELLE_SCREENSHOT_DIR"))
                           pic.save(QDir(QString::fromLocal8Bit(shots)).filePath(QStringLiteral("view3d-fire.png")));
                         EXPECT_EQ(v->windowTitle(), QStringLiteral("3D Visualisation"));
                         ASSERT_EQ(pic.size(), v->View()->size() * v->View()->devicePixelRatioF());
                         const TSurfaceGeometry& g = v->Geometry();
                         // The peak: the top of Fire's table, white, and lit.
                         const QPointF peak = OnPicture(0, g.NormMax, 0, pic.height());
                         const QRect around(peak.toPoint() - QPoint(2, 2), QSize(5, 5));
                         EXPECT_GT(Count(pic, around, [](QRgb c) {
                                     return qRed(c) >= 170 && qGreen(c) >= 170 && qBlue(c) >= 170;
                                   }),
                                   0)
                             << "peak at " << peak.x() << "," << peak.y();
                         // The floor near the front left corner: the bottom of Fire's table, red.
                         const float x = float(-g.cx + 6) / 128, z = float(g.Rows - 1 - g.cy - 6) / 128;
                         const QRgb floor = pic.pixel(OnPicture(x, g.Height(6, g.Rows - 7), z, pic.height()).toPoint());
                         EXPECT_GT(qRed(floor), 60);
                         EXPECT_GT(qRed(floor), 2 * qGreen(floor));
                         EXPECT_GT(qRed(floor), 2 * qBlue(floor));
                         // Lit: the surface is shaded, not one flat colour per height.
                         QSet<QRgb> colours;
                         for (int y = 0; y < pic.height(); y += 2)
                           for (int x = 0; x < pic.width(); x += 2) colours.insert(pic.pixel(x, y));
                         EXPECT_GT(colours.size(), 50);
                         // The value axis labels left of the axis: the maximum at the top.
                         const float L = float(-g.cx) / 128, F = float(-g.cy) / 128;
                         const std::string top = SurfaceValueLabels(g.DataMax)[0];
                         const float o = 0.03f * float(top.size());
                         const QPointF a = OnPicture(L - o, g.NormMax, F, pic.height());
                         const QPointF b = OnPicture(L - o + 0.026 * top.size(), g.NormMax + 0.03, F, pic.height());
                         EXPECT_GT(Count(pic, QRectF(a, b).toAlignedRect(), IsWhite), 10);
                       }));
  EXPECT_TRUE(checked);
  EXPECT_TRUE(Boxes.empty());
  // The view closed: the properties closed with it.
  EXPECT_FALSE(frmSurfaceProperties->isVisible());
}

TEST_F(SurfaceViewTest, GLStateAfterSetUp) {
  StarWindow();
  ASSERT_TRUE(OpenView(nullptr, [](Tfrm3DVisu* v, const QImage&) {
    GLint func = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &func);
    EXPECT_EQ(func, GL_LEQUAL);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    EXPECT_FALSE(glIsEnabled(GL_POLYGON_SMOOTH));
    GLint hint = 0;
    glGetIntegerv(GL_PERSPECTIVE_CORRECTION_HINT, &hint);
    EXPECT_EQ(hint, GL_NICEST);
    glGetIntegerv(GL_POLYGON_SMOOTH_HINT, &hint);
    EXPECT_EQ(hint, GL_NICEST);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0] + clear[1] + clear[2] + clear[3], 0.0f);
    // Light 0: a directional light from the default position boxes.
    struct TLightValue {
      GLenum Name;
      float Want[4];
      int N;
    };
    const TLightValue light[] = {
        {GL_AMBIENT, {0.5f, 0.5f, 0.5f, 1}, 4}, {GL_DIFFUSE, {0.5f, 0.5f, 0.5f, 1}, 4},
        {GL_SPECULAR, {1, 1, 1, 1}, 4},         {GL_POSITION, {0.5f, 1.5f, 0.5f, 0}, 4},
        {GL_LINEAR_ATTENUATION, {0.002f}, 1},
    };
    for (const TLightValue& l : light) {
      GLfloat got[4] = {};
      glGetLightfv(GL_LIGHT0, l.Name, got);
      for (int k = 0; k < l.N; ++k) EXPECT_FLOAT_EQ(got[k], l.Want[k]) << "light value " << l.Name << "[" << k << "]";
    }
    // Materials: shininess 128 - 100 on the front only, specular both sides.
    GLfloat m[4] = {};
    glGetMaterialfv(GL_FRONT, GL_SHININESS, m);
    EXPECT_FLOAT_EQ(m[0], 28);
    glGetMaterialfv(GL_BACK, GL_SHININESS, m);
    EXPECT_FLOAT_EQ(m[0], 0);
    for (GLenum face : {GL_FRONT, GL_BACK}) {
      glGetMaterialfv(face, GL_SPECULAR, m);
      EXPECT_FLOAT_EQ(m[0] + m[1] + m[2] + m[3], 4.0f);
    }
    EXPECT_TRUE(glIsList(v->SurfaceList()));
    // The projection: 30 degrees, near 0.1, far 500, and the aspect asked for.
    struct TSize {
      int W, H;
      double Aspect;
    };
    for (const TSize& s : {TSize{400, 300, 4.0 / 3}, TSize{640, 480, 4.0 / 3}, TSize{300, 0, 300.0}}) {
      ResizeGL(s.W, s.H);
      GLdouble p[16];
      glGetDoublev(GL_PROJECTION_MATRIX, p);
      const double f = 1 / std::tan(15 * M_PI / 180), n = 0.1, fa = 500;
      const double want[16] = {f / s.Aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (fa + n) / (n - fa), -1,
                               0, 0, 2 * fa * n / (n - fa), 0};
      for (int k = 0; k < 16; ++k) EXPECT_NEAR(p[k], want[k], 1e-5) << s.W << "x" << s.H << " [" << k << "]";
      GLint vp[4];
      glGetIntegerv(GL_VIEWPORT, vp);
      EXPECT_EQ(vp[2], s.W);
      EXPECT_EQ(vp[3], std::max(s.H, 1));
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }));
}

TEST_F(SurfaceViewTest, PropertiesReachTheView) {
  struct TCase {
    const char* Name;
    int Exaggeration, Shininess;
    bool Spot;
    const char* X;  // typed into Position X when the spotlight is on
    float NormMax, MaterialShininess;
    float Light[4];
  };
  const TCase cases[] = {
      {"defaults", 300, 100, false, nullptr, 0.5f, 28, {0.5f, 1.5f, 0.5f, 0}},
      {"None, More", 100, 128, false, nullptr, 0.25f, 0, {0.5f, 1.5f, 0.5f, 0}},
      {"Most, Less", 400, 0, false, nullptr, 1.0f, 128, {0.5f, 1.5f, 0.5f, 0}},
      {"spotlight", 300, 100, true, "-2.5", 0.5f, 28, {-2.5f, 1.5f, 0.5f, 4}},
  };
  StarWindow(200, 120);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    bool seen = false;
    ASSERT_TRUE(OpenView(
        [&](TfrmSurfaceProperties* d) {
          // The keyboard: an end of the slider, then pages of 10 and steps of 1.
          d->trkVertExag->setFocus();
          QTest::keyClick(d->trkVertExag, Qt::Key_End);
          for (int p = 400; p > c.Exaggeration; p -= 10) QTest::keyClick(d->trkVertExag, Qt::Key_PageDown);
          d->trkShininess->setFocus();
          QTest::keyClick(d->trkShininess, Qt::Key_Home);
          for (int p = 0; p + 10 <= c.Shininess; p += 10) QTest::keyClick(d->trkShininess, Qt::Key_PageUp);
          for (int p = c.Shininess / 10 * 10; p < c.Shininess; ++p) QTest::keyClick(d->trkShininess, Qt::Key_Right);
          EXPECT_EQ(d->trkVertExag->value(), c.Exaggeration);
          EXPECT_EQ(d->trkShininess->value(), c.Shininess);
          if (d->chkSpotLight->isChecked() != c.Spot) QTest::keyClick(d->chkSpotLight, Qt::Key_Space);
          EXPECT_EQ(d->fedX->isEnabled(), c.Spot);
          if (c.X) {
            d->fedX->selectAll();
            QTest::keyClicks(d->fedX, QString::fromLatin1(c.X));
          }
        },
        [&](Tfrm3DVisu* v, const QImage&) {
          seen = true;
          EXPECT_NEAR(v->Geometry().NormMax, c.NormMax, 1e-6);
          GLfloat s = -1, pos[4] = {};
          glGetMaterialfv(GL_FRONT, GL_SHININESS, &s);
          EXPECT_FLOAT_EQ(s, c.MaterialShininess);
          glGetLightfv(GL_LIGHT0, GL_POSITION, pos);
          for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(pos[k], c.Light[k]) << k;
        }));
    EXPECT_TRUE(seen);
  }
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(SurfaceViewTest, ImagesWithoutASurfaceAreRefused) {
  struct TCase {
    const char* Name;
    bool Colour;
    int W, H;
    float Value;
    const char* Box;  // the start of the warning
  };
  const TCase cases[] = {
      {"colour", true, 64, 64, 0, "Three dimensional visualisation is not supported for colour images."},
      {"one column", false, 1, 300, 5, "This image is too narrow"},
      {"three columns", false, 3, 300, 5, "This image is too narrow"},
      {"dark", false, 200, 200, 0, "Three dimensional visualisation needs an image with values above zero."},
      {"flat", false, 200, 200, 7, "Three dimensional visualisation needs an image whose values are not all the same."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TChildForm* child;
    if (c.Colour) {
      child = new TChildForm;
      child->DataImage->Allocate(c.W, c.H, 0, true);
      child->SetCaption(QStringLiteral("Colour"));
      child->UpdateImage();
    } else {
      const float v = c.Value;
      child = Window(c.W, c.H, [v](int, int) { return v; });
    }
    Boxes.clear();
    EXPECT_FALSE(OpenView(nullptr, [](Tfrm3DVisu*, const QImage&) {}));
    EXPECT_TRUE(LeftOpen);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_TRUE(Boxes[0].startsWith(QLatin1String(c.Box))) << Boxes[0].toStdString();
    child->setAttribute(Qt::WA_DeleteOnClose, false);
    delete child;
  }
}

TEST_F(SurfaceViewTest, DialogControlsAsTheUserFindsThem) {
  TfrmSurfaceProperties* d = frmSurfaceProperties;
  EXPECT_EQ(d->windowTitle(), QStringLiteral("Visualisation Properties"));
  struct TSlider {
    QSlider* S;
    int Min, Max, Tick, Pos;
  };
  for (const TSlider& s : {TSlider{d->trkVertExag, 100, 400, 20, 300}, TSlider{d->trkShininess, 0, 128, 8, 100}}) {
    EXPECT_EQ(s.S->minimum(), s.Min);
    EXPECT_EQ(s.S->maximum(), s.Max);
    EXPECT_EQ(s.S->tickInterval(), s.Tick);
    EXPECT_EQ(s.S->value(), s.Pos);
  }
  EXPECT_TRUE(d->rdoCustomColour->isChecked());
  EXPECT_FALSE(d->rdoUseColourPal->isChecked());
  EXPECT_EQ(d->cmbPalette->count(), 5);
  EXPECT_EQ(d->cmbPalette->currentText(), QStringLiteral("Green To Red"));
  EXPECT_EQ(d->SwatchColour(), QColor(0, 128, 128));
  EXPECT_TRUE(d->chkBox->isChecked());
  EXPECT_TRUE(d->chkScale->isChecked());
  EXPECT_FALSE(d->chkSpotLight->isChecked());
  for (QWidget* w : std::initializer_list<QWidget*>{d->fedX, d->fedY, d->fedZ, d->lblX, d->lblY, d->lblZ})
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  EXPECT_EQ(d->fedY->text(), QStringLiteral("1.5"));
  // Every control has a name a screen reader says, and every label a box.
  for (QWidget* w : d->findChildren<QWidget*>()) {
    if (qobject_cast<QLabel*>(w)) {
      EXPECT_NE(static_cast<QLabel*>(w)->buddy(), nullptr) << static_cast<QLabel*>(w)->text().toStdString();
    } else if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QSlider*>(w) || qobject_cast<QComboBox*>(w) ||
               qobject_cast<QLineEdit*>(w)) {
      EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
    }
  }
  for (QToolButton* b : frm3DVisu->findChildren<QToolButton*>())
    EXPECT_FALSE(b->accessibleName().isEmpty()) << b->objectName().toStdString();

  struct TStep {
    const char* Name;
    std::function<void()> Do;
    bool Palette, Spot;
    QColor Swatch;
  };
  QColor offered;
  bool answer = false;
  StandardDialogs::SetColourHook([&](QColor& c) {
    offered = c;
    if (answer) c = QColor(200, 30, 40);
    return answer;
  });
  const TStep steps[] = {
      {"palette chosen", [&] { ChoosePalette(d, 2); }, true, false, QColor(0, 128, 128)},
      {"Set... cancelled", [&] { QTest::mouseClick(d->btnSetColour, Qt::LeftButton); }, false, false,
       QColor(0, 128, 128)},
      {"palette again", [&] { ChoosePalette(d, 4); }, true, false, QColor(0, 128, 128)},
      {"Set... OK",
       [&] {
         answer = true;
         QTest::mouseClick(d->btnSetColour, Qt::LeftButton);
       },
       false, false, QColor(200, 30, 40)},
      {"spotlight on", [&] { QTest::keyClick(d->chkSpotLight, Qt::Key_Space); }, false, true, QColor(200, 30, 40)},
      {"spotlight off", [&] { QTest::keyClick(d->chkSpotLight, Qt::Key_Space); }, false, false, QColor(200, 30, 40)},
  };
  d->show();
  for (const TStep& s : steps) {
    SCOPED_TRACE(s.Name);
    s.Do();
    EXPECT_EQ(d->rdoUseColourPal->isChecked(), s.Palette);
    EXPECT_EQ(d->rdoCustomColour->isChecked(), !s.Palette);
    EXPECT_EQ(d->SwatchColour(), s.Swatch);
    for (QWidget* w : std::initializer_list<QWidget*>{d->fedX, d->fedY, d->fedZ, d->lblX, d->lblY, d->lblZ})
      EXPECT_EQ(w->isEnabled(), s.Spot);
  }
  d->hide();
  StandardDialogs::SetColourHook(nullptr);
}

TEST_F(SurfaceViewTest, MouseAndToolbarMoveTheView) {
  StarWindow(300, 200);
  const char* shots = std::getenv("CORVELLE_SCREENSHOT_DIR");
  bool done = false;
  ASSERT_TRUE(OpenView([](TfrmSurfaceProperties* d) { ChoosePalette(d, 0); },
                       [&](Tfrm3DVisu* v, const QImage& first) {
    QWidget* view = v->View();
    const int drawn = NotBlack(first);
    EXPECT_GT(drawn, first.width() * first.height() / 20);
    if (shots) first.save(QDir(QString::fromLocal8Bit(shots)).filePath(QStringLiteral("view3d-start.png")));

    // A drag with the left button: each angle becomes (saved - (press - now)) / 2.
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(view, QPoint(160, 80));
    EXPECT_FLOAT_EQ(v->AngleY, (0 - (100 - 160)) / 2.0f);
    EXPECT_FLOAT_EQ(v->AngleX, (20 - (100 - 80)) / 2.0f);
    QTest::mouseMove(view, QPoint(220, 130));
    EXPECT_FLOAT_EQ(v->AngleY, (0 - (100 - 220)) / 2.0f);
    EXPECT_FLOAT_EQ(v->AngleX, (20 - (100 - 130)) / 2.0f);
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(220, 130));
    EXPECT_FLOAT_EQ(v->SavedAngleY, 60.0f);
    EXPECT_FLOAT_EQ(v->SavedAngleX, 25.0f);
    const QImage turned = v->ViewPicture();
    if (shots) turned.save(QDir(QString::fromLocal8Bit(shots)).filePath(QStringLiteral("view3d-turned.png")));
    EXPECT_NE(turned, first);
    EXPECT_GT(NotBlack(turned), drawn / 2);
    // The next drag starts from the saved angles, halved with the rest.
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseMove(view, QPoint(50, 50));
    EXPECT_FLOAT_EQ(v->AngleY, 30.0f);
    EXPECT_FLOAT_EQ(v->AngleX, 12.5f);
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(50, 50));

    // The buttons, as clicked.
    struct TButton {
      QToolButton* B;
      float DX, DY, DZ;
    };
    const TButton moves[] = {{v->btnUp, 0, 0.05f, 0},   {v->btnDown, 0, -0.05f, 0}, {v->btnLeft, -0.05f, 0, 0},
                             {v->btnRight, 0.05f, 0, 0}, {v->btnZoomIn, 0, 0, 0.05f}, {v->btnZoomOut, 0, 0, -0.05f}};
    for (const TButton& m : moves) {
      const float x = v->TransX, y = v->TransY, z = v->TransZ;
      QTest::mouseClick(m.B, Qt::LeftButton);
      EXPECT_NEAR(v->TransX - x, m.DX, 1e-6) << m.B->objectName().toStdString();
      EXPECT_NEAR(v->TransY - y, m.DY, 1e-6) << m.B->objectName().toStdString();
      EXPECT_NEAR(v->TransZ - z, m.DZ, 1e-6) << m.B->objectName().toStdString();
    }
    QTest::mouseClick(v->btnReset, Qt::LeftButton);
    EXPECT_EQ(v->ViewPicture(), first);
    // Zooming in brings the surface closer: it covers more of the picture.
    for (int k = 0; k < 6; ++k) QTest::mouseClick(v->btnZoomIn, Qt::LeftButton);
    EXPECT_GT(NotBlack(v->ViewPicture()), drawn * 11 / 10);
    QTest::mouseClick(v->btnReset, Qt::LeftButton);
    EXPECT_EQ(v->ViewPicture(), first);
    // Wireframe draws lines only: looking down from closer, the floor is
    // seen through the mesh. Smooth Shading fills it again.
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(view, QPoint(100, 220));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(100, 220));
    EXPECT_FLOAT_EQ(v->AngleX, 70.0f);
    for (int k = 0; k < 20; ++k) QTest::mouseClick(v->btnZoomIn, Qt::LeftButton);
    const QImage filled = v->ViewPicture();
    v->View()->makeCurrent();
    const TSurfaceGeometry& g = v->Geometry();
    const QPoint a = OnPicture(float(-g.cx + 4) / 128, 0, float(g.Rows - 1 - g.cy - 4) / 128, first.height()).toPoint();
    const QPoint b = OnPicture(float(-g.cx + 30) / 128, 0, float(g.Rows - 1 - g.cy - 20) / 128, first.height()).toPoint();
    // The middle of the patch between those two floor points.
    const QRect patch = QRect(a, b).normalized();
    const QRect floor = patch.adjusted(patch.width() / 4, patch.height() / 4, -patch.width() / 4, -patch.height() / 4);
    ASSERT_GT(floor.width() * floor.height(), 100);
    EXPECT_EQ(Count(filled, floor, IsBlack), 0);
    QTest::mouseClick(v->btnWireframe, Qt::LeftButton);
    EXPECT_TRUE(v->btnWireframe->isChecked());
    EXPECT_FALSE(v->btnShaded->isChecked());
    const QImage wire = v->ViewPicture();
    if (shots) wire.save(QDir(QString::fromLocal8Bit(shots)).filePath(QStringLiteral("view3d-wire.png")));
    EXPECT_GT(Count(wire, floor, IsBlack), floor.width() * floor.height() / 10);
    EXPECT_LT(Count(wire, floor, IsBlack), floor.width() * floor.height());
    QTest::mouseClick(v->btnShaded, Qt::LeftButton);
    EXPECT_EQ(v->ViewPicture(), filled);
    QTest::mouseClick(v->btnReset, Qt::LeftButton);
    // The hint of a button goes to the main window's status bar.
    QTest::mouseMove(v->btnCopy);
    QStatusTipEvent tip(v->btnCopy->statusTip());
    QCoreApplication::sendEvent(v->btnCopy, &tip);
    EXPECT_EQ(Form->PanelText(0), QStringLiteral("Copy to the clipboard"));
    EXPECT_EQ(v->btnCopy->toolTip(), QStringLiteral("Copy"));
    // A turn that stays for the next opening.
    QTest::mouseClick(v->btnZoomOut, Qt::LeftButton);
    done = true;
  }));
  ASSERT_TRUE(done);
  // Translation and angles persist until Reset.
  ASSERT_TRUE(OpenView(nullptr, [&](Tfrm3DVisu* v, const QImage&) {
    EXPECT_FLOAT_EQ(v->TransZ, -3.05f);
    QTest::mouseClick(v->btnReset, Qt::LeftButton);
    EXPECT_FLOAT_EQ(v->TransZ, -3.0f);
    EXPECT_FLOAT_EQ(v->AngleX, 20.0f);
    EXPECT_FLOAT_EQ(v->SavedAngleX, 20.0f);
  }));
}

TEST_F(SurfaceViewTest, SaveAndCopyThePicture) {
  StarWindow();
  QTemporaryDir dir;
  const QString base = dir.filePath(QStringLiteral("surface"));
  auto previous = TFileDialog::SetHook([&](TFileDialog& d) {
    EXPECT_EQ(d.Kind, TFileDialog::TKind::Save);
    EXPECT_EQ(d.Filter, QStringLiteral("Bitmap Files (*.bmp)|*.bmp|All Files (*.*)|*.*"));
    d.FileName = base;
    d.FilterIndex = 2;  // "All Files": the default extension is added
    return true;
  });
  QImage shown;
  ASSERT_TRUE(OpenView(nullptr, [&](Tfrm3DVisu* v, const QImage& pic) {
    shown = pic;
    QTest::mouseClick(v->btnSave, Qt::LeftButton);
    QTest::mouseClick(v->btnCopy, Qt::LeftButton);
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), pic.size());
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32), pic);
  }));
  TFileDialog::SetHook(previous);
  QFile f(base + QStringLiteral(".bmp"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  ASSERT_GT(bytes.size(), 54);
  EXPECT_EQ(bytes.left(2), QByteArray("BM"));
  EXPECT_EQ(quint8(bytes[28]), 24);  // bits per pixel
  const QImage saved(f.fileName());
  ASSERT_EQ(saved.size(), shown.size());
  EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), shown);
  EXPECT_GT(NotBlack(saved), 1000);
}
