// The 3-D view opened as a user opens it (Statistics > 3D Visualisation, the
// properties, OK), read back from the framebuffer and the GL state. Needs X11
// with GLX: the test program runs under Xvfb.
#include <GL/gl.h>
#include <GL/glu.h>

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QStatusTipEvent>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "analysis/view3d/OGLInit.h"
#include "analysis/view3d/SurfacePropertiesForm.h"
#include "analysis/view3d/VisualisationForm.h"
#include "app/Child.h"
#include "app/FloatEdit.h"
#include "app/Main.h"
#include "app/StartUp.h"
#include "platform/FileDialog.h"

namespace {
// A Gaussian star of peak 1000 on a floor of 10.
float Star(int x, int y, int W, int H) {
  const double s = std::min(W, H) / 8.0, dx = x - (W - 1) / 2.0, dy = y - (H - 1) / 2.0;
  return float(10.0 + 1000.0 * std::exp(-(dx * dx + dy * dy) / (2 * s * s)));
}

// Calls Act once Wanted is the open modal window; polls the event loop and
// gives up after about 20 s (the test then fails on what Act did not do).
void WhenModal(QWidget* Wanted, std::function<void()> Act) {
  // Owned by the application, so a poll still pending at the end is freed.
  auto* timer = new QTimer(qApp);
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, Act, Wanted] {
    const bool open = QApplication::activeModalWidget() == Wanted && Wanted->isVisible();
    if (!open && ++*tries < 2000) return;
    timer->stop();
    timer->deleteLater();
    if (open) Act();
  });
  timer->start(10);
}

// A point of model space on the picture (row 0 at the top), through the
// matrices of the last paint.
QPoint OnPicture(double X, double Y, double Z, int Height) {
  GLdouble mv[16], pr[16], wx, wy, wz;
  GLint vp[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  glGetDoublev(GL_PROJECTION_MATRIX, pr);
  glGetIntegerv(GL_VIEWPORT, vp);
  gluProject(X, Y, Z, mv, pr, vp, &wx, &wy, &wz);
  return QPointF(wx, Height - 1 - wy).toPoint();
}
int Count(const QImage& Img, QRect Area, bool (*Test)(QRgb)) {
  int n = 0;
  Area = Area.normalized().intersected(Img.rect());
  for (int y = Area.top(); y <= Area.bottom(); ++y)
    for (int x = Area.left(); x <= Area.right(); ++x) n += Test(Img.pixel(x, y));
  return n;
}
bool IsWhite(QRgb c) { return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200; }
bool IsBlack(QRgb c) { return qRed(c) < 8 && qGreen(c) < 8 && qBlue(c) < 8; }
int NotBlack(const QImage& Img) { return Img.width() * Img.height() - Count(Img, Img.rect(), IsBlack); }
void Shot(const QImage& Img, const char* Name) {
  if (const char* dir = std::getenv("CORVELLE_SCREENSHOT_DIR")) Img.save(QDir(QString::fromLocal8Bit(dir)).filePath(QLatin1String(Name)));
}

class SurfaceViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb")) << "run under xvfb-run with QT_QPA_PLATFORM=xcb";
    MainForm = Form = new TMainForm;
    CreateForms(Form);
    Form->show();
    PreviousBox = MessageBox::SetHook([this](TMsgDlgType, const QString& Text, unsigned) {
      Boxes.push_back(Text);
      return int(mrOk);
    });
  }
  void TearDown() override {
    MessageBox::SetHook(PreviousBox);
    for (TChildForm* child : Form->MDIChildren()) {
      child->setAttribute(Qt::WA_DeleteOnClose, false);
      delete child;
    }
    FreeForms();
    delete Form;
    MainForm = nullptr;
  }
  void Image(int W, int H, const std::function<float(int, int)>& F) {
    auto* child = new TChildForm;
    child->DataImage->Allocate(W, H, 3, false);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) child->DataImage->SetPixel(x, y, F(x, y));
    child->UpdateImage();
  }
  void StarImage(int W, int H) { Image(W, H, [W, H](int x, int y) { return Star(x, y, W, H); }); }
  // Statistics > 3D Visualisation; Setup acts in the properties; OK; Inside
  // acts in the view after its first paint, with its context current; Escape
  // closes the view. False when the view did not open.
  bool OpenView(const std::function<void(TfrmSurfaceProperties*)>& Setup,
                const std::function<void(Tfrm3DVisu*, const QImage&)>& Inside) {
    bool opened = false;
    WhenModal(frmSurfaceProperties, [&] {
      if (Setup) Setup(frmSurfaceProperties);
      WhenModal(frm3DVisu, [&] {
        opened = true;
        const QImage picture = frm3DVisu->ViewPicture();
        frm3DVisu->View()->makeCurrent();
        Inside(frm3DVisu, picture);
        QTest::keyClick(frm3DVisu, Qt::Key_Escape);
      });
      QTest::mouseClick(frmSurfaceProperties->btnOK, Qt::LeftButton);
      LeftOpen = frmSurfaceProperties->isVisible();  // a refused image
      if (LeftOpen) QTest::mouseClick(frmSurfaceProperties->btnCancel, Qt::LeftButton);
    });
    Form->Action(QStringLiteral("Statistics3DVisu"))->trigger();
    return opened;
  }
  TMainForm* Form = nullptr;
  bool LeftOpen = false;
  std::vector<QString> Boxes;
  MessageBox::THook PreviousBox;
};

// The keyboard on the closed list: each key is the user's choice.
void ChoosePalette(TfrmSurfaceProperties* D, int Item) {
  D->cmbPalette->setFocus();
  while (D->cmbPalette->currentIndex() < Item) QTest::keyClick(D->cmbPalette, Qt::Key_Down);
  while (D->cmbPalette->currentIndex() > Item) QTest::keyClick(D->cmbPalette, Qt::Key_Up);
}
}  // namespace

TEST_F(SurfaceViewTest, StarIsDrawnLitAndLabelled) {
  StarImage(256, 256);
  ASSERT_TRUE(OpenView([](TfrmSurfaceProperties* d) { ChoosePalette(d, 3); },  // Fire
                       [](Tfrm3DVisu* v, const QImage& pic) {
    Shot(pic, "view3d-fire.png");
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    ASSERT_EQ(pic.size(), v->View()->size() * v->View()->devicePixelRatioF());
    const TSurfaceGeometry& g = v->Geometry();
    // The peak: the top of Fire's table is white, and the light keeps it bright.
    const QPoint peak = OnPicture(0, g.NormMax, 0, pic.height());
    EXPECT_GT(Count(pic, QRect(peak - QPoint(2, 2), QSize(5, 5)),
                    [](QRgb c) { return qRed(c) >= 170 && qGreen(c) >= 170 && qBlue(c) >= 170; }), 0);
    // The floor near the front left corner: the bottom of the table, red.
    const QRgb floor = pic.pixel(OnPicture(float(6 - g.cx) / 128, 0, float(g.Rows - 7 - g.cy) / 128, pic.height()));
    EXPECT_TRUE(qRed(floor) > 60 && qRed(floor) > 2 * qGreen(floor) && qRed(floor) > 2 * qBlue(floor));
    // Lit: shades everywhere, not a few flat colours.
    QSet<QRgb> colours;
    for (int y = 0; y < pic.height(); y += 2)
      for (int x = 0; x < pic.width(); x += 2) colours.insert(pic.pixel(x, y));
    EXPECT_GT(colours.size(), 50);
    // The data maximum written left of the value axis's top.
    const float L = float(-g.cx) / 128, F = float(-g.cy) / 128, o = 0.03f * SurfaceValueLabels(g.DataMax)[0].size();
    // (short of the tick, which ends 0.015 left of the axis)
    const QRect label(OnPicture(L - o, g.NormMax, F, pic.height()), OnPicture(L - 0.025, g.NormMax + 0.03, F, pic.height()));
    EXPECT_GT(Count(pic, label, IsWhite), 10);
  }));
  EXPECT_TRUE(Boxes.empty());
  EXPECT_FALSE(frmSurfaceProperties->isVisible());  // closed with the view
}

TEST_F(SurfaceViewTest, GLStateAndProjection) {
  StarImage(200, 120);
  ASSERT_TRUE(OpenView(nullptr, [](Tfrm3DVisu* v, const QImage&) {
    GLint i[2] = {};
    glGetIntegerv(GL_DEPTH_FUNC, i);
    glGetIntegerv(GL_PERSPECTIVE_CORRECTION_HINT, i + 1);
    EXPECT_EQ(i[0], GL_LEQUAL);
    EXPECT_EQ(i[1], GL_NICEST);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST) && glIsEnabled(GL_COLOR_MATERIAL) && glIsEnabled(GL_LIGHT0));
    EXPECT_FALSE(glIsEnabled(GL_POLYGON_SMOOTH));
    EXPECT_TRUE(glIsList(v->SurfaceList()));
    // Light 0 and the back material (its shininess is for the front only).
    const std::tuple<bool, GLenum, std::vector<float>> values[] = {
        {true, GL_AMBIENT, {0.5f, 0.5f, 0.5f, 1}}, {true, GL_DIFFUSE, {0.5f, 0.5f, 0.5f, 1}},
        {true, GL_SPECULAR, {1, 1, 1, 1}},         {true, GL_LINEAR_ATTENUATION, {0.002f}},
        {false, GL_SPECULAR, {1, 1, 1, 1}},        {false, GL_SHININESS, {0}}};
    for (const auto& [light, name, want] : values) {
      std::vector<float> got(4);
      light ? glGetLightfv(GL_LIGHT0, name, got.data()) : glGetMaterialfv(GL_BACK, name, got.data());
      got.resize(want.size());
      EXPECT_EQ(got, want) << name;
    }
    // 30 degrees, near 0.1, far 500; a height of 0 counts as 1.
    for (const auto& [w, h, aspect] : {std::tuple{400, 300, 4.0 / 3}, std::tuple{300, 0, 300.0}}) {
      ResizeGL(w, h);
      GLdouble p[16];
      GLint vp[4];
      glGetDoublev(GL_PROJECTION_MATRIX, p);
      glGetIntegerv(GL_VIEWPORT, vp);
      const double t = 1 / std::tan(M_PI / 12), n = 0.1, fa = 500;
      const double want[16] = {t / aspect, 0, 0, 0, 0, t, 0, 0, 0, 0, (fa + n) / (n - fa), -1, 0, 0, 2 * fa * n / (n - fa), 0};
      for (int k = 0; k < 16; ++k) EXPECT_NEAR(p[k], want[k], 1e-5) << w << "x" << h << " [" << k << "]";
      EXPECT_EQ(vp[3], std::max(h, 1));
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }));
}

TEST_F(SurfaceViewTest, PropertiesAsTheUserSetsThem) {
  struct TCase {
    const char* Name;
    float Pixel;  // 0: the star; else a flat image of this value
    int W, Exaggeration, Shininess;
    const char* X;    // typed into Position X with the spotlight on
    const char* Box;  // the refusal, or nullptr when the view opens
    float Top, Material, Light[4];
  };
  const TCase cases[] = {
      {"defaults", 0, 200, 300, 100, nullptr, nullptr, 0.5f, 28, {0.5f, 1.5f, 0.5f, 0}},
      {"None and More", 0, 200, 100, 128, nullptr, nullptr, 0.25f, 0, {0.5f, 1.5f, 0.5f, 0}},
      {"Most and Less", 0, 200, 400, 0, nullptr, nullptr, 1.0f, 128, {0.5f, 1.5f, 0.5f, 0}},
      {"spotlight", 0, 200, 300, 100, "-2.5", nullptr, 0.5f, 28, {-2.5f, 1.5f, 0.5f, 4}},
      {"narrow", 0, 3, 300, 100, nullptr, "This image is too narrow", 0, 0, {}},
      {"dark", -1, 200, 300, 100, nullptr, "Three dimensional visualisation needs an image with values above zero.", 0, 0, {}},
      {"flat", 7, 200, 300, 100, nullptr, "Three dimensional visualisation needs an image whose values are not all the same.", 0, 0, {}},
      {"colour", 0, 0, 300, 100, nullptr, "Three dimensional visualisation is not supported for colour images.", 0, 0, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.W == 0) {
      auto* child = new TChildForm;
      child->DataImage->Allocate(64, 64, 0, true);
      child->UpdateImage();
    } else if (c.Pixel != 0) {
      Image(c.W, 300, [&c](int, int) { return c.Pixel; });
    } else {
      StarImage(c.W, 300);
    }
    Boxes.clear();
    bool seen = false;
    OpenView(
        [&](TfrmSurfaceProperties* d) {
          // Sliders by keyboard: an end, then pages of 10 and steps of 1.
          d->trkVertExag->setFocus();
          QTest::keyClick(d->trkVertExag, Qt::Key_End);
          for (int p = 400; p > c.Exaggeration; p -= 10) QTest::keyClick(d->trkVertExag, Qt::Key_PageDown);
          d->trkShininess->setFocus();
          QTest::keyClick(d->trkShininess, Qt::Key_Home);
          for (int p = 0; p + 10 <= c.Shininess; p += 10) QTest::keyClick(d->trkShininess, Qt::Key_PageUp);
          for (int p = c.Shininess / 10 * 10; p < c.Shininess; ++p) QTest::keyClick(d->trkShininess, Qt::Key_Right);
          if (d->chkSpotLight->isChecked() != (c.X != nullptr)) QTest::keyClick(d->chkSpotLight, Qt::Key_Space);
          for (QWidget* w : std::initializer_list<QWidget*>{d->fedX, d->fedY, d->fedZ, d->lblX, d->lblY, d->lblZ})
            EXPECT_EQ(w->isEnabled(), c.X != nullptr);
          if (c.X) {
            d->fedX->selectAll();
            QTest::keyClicks(d->fedX, QString::fromLatin1(c.X));
          }
        },
        [&](Tfrm3DVisu* v, const QImage&) {
          seen = true;
          EXPECT_NEAR(v->Geometry().NormMax, c.Top, 1e-6);
          GLfloat s = -1, pos[4] = {};
          glGetMaterialfv(GL_FRONT, GL_SHININESS, &s);
          glGetLightfv(GL_LIGHT0, GL_POSITION, pos);
          EXPECT_FLOAT_EQ(s, c.Material);
          EXPECT_EQ(std::vector<float>(pos, pos + 4), std::vector<float>(c.Light, c.Light + 4));
        });
    EXPECT_EQ(seen, c.Box == nullptr);
    EXPECT_EQ(LeftOpen, c.Box != nullptr);
    EXPECT_EQ(Boxes.size(), c.Box ? 1u : 0u);
    EXPECT_TRUE(!c.Box || (!Boxes.empty() && Boxes[0].startsWith(QLatin1String(c.Box))));
  }
}

TEST_F(SurfaceViewTest, ColourChoicesAndNames) {
  TfrmSurfaceProperties* d = frmSurfaceProperties;
  bool accept = false;
  StandardDialogs::SetColourHook([&](QColor& c) {
    if (accept) c = QColor(200, 30, 40);
    return accept;
  });
  const QColor teal(0, 128, 128), red(200, 30, 40);
  const std::tuple<const char*, std::function<void()>, bool, QColor> steps[] = {
      {"as the dialog opens", [] {}, false, teal},
      {"palette chosen", [&] { ChoosePalette(d, 2); }, true, teal},
      {"Set... cancelled", [&] { QTest::mouseClick(d->btnSetColour, Qt::LeftButton); }, false, teal},
      {"palette again", [&] { ChoosePalette(d, 4); }, true, teal},
      {"Set... OK", [&] { accept = true, QTest::mouseClick(d->btnSetColour, Qt::LeftButton); }, false, red},
  };
  d->show();
  for (const auto& [name, act, palette, swatch] : steps) {
    act();
    EXPECT_EQ(d->rdoUseColourPal->isChecked(), palette) << name;
    EXPECT_EQ(d->rdoCustomColour->isChecked(), !palette) << name;
    EXPECT_EQ(d->SwatchColour(), swatch) << name;
  }
  d->hide();
  StandardDialogs::SetColourHook(nullptr);
  // Every label has its box, every control and tool a spoken name.
  for (QWidget* w : d->findChildren<QWidget*>() + frm3DVisu->findChildren<QWidget*>()) {
    auto* l = qobject_cast<QLabel*>(w);
    EXPECT_TRUE(!l || l->buddy()) << l->text().toStdString();
    const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QSlider*>(w) ||
                         qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QToolBar*>(w);
    EXPECT_TRUE(!control || !w->accessibleName().isEmpty()) << w->objectName().toStdString();
  }
}

TEST_F(SurfaceViewTest, MouseAndToolbar) {
  StarImage(300, 200);
  ASSERT_TRUE(OpenView(nullptr, [this](Tfrm3DVisu* v, const QImage& first) {
    Shot(first, "view3d-start.png");
    QWidget* view = v->View();
    auto drag = [view](QPoint From, QPoint To) {
      QTest::mousePress(view, Qt::LeftButton, {}, From);
      QTest::mouseMove(view, To);
      QTest::mouseRelease(view, Qt::LeftButton, {}, To);
    };
    // Each angle := saved angle - (press - pointer) / 2: half the pointer's travel.
    drag({100, 100}, {220, 130});
    EXPECT_EQ(std::make_pair(v->AngleX, v->AngleY), std::make_pair(20 - (100 - 130) / 2.0f, 0 - (100 - 220) / 2.0f));
    const QImage turned = v->ViewPicture();
    Shot(turned, "view3d-turned.png");
    EXPECT_NE(turned, first);
    EXPECT_GT(NotBlack(turned), NotBlack(first) / 2);
    // A drag that has not moved, or moved one pixel, keeps the view where it was.
    drag({50, 50}, {50, 50});
    EXPECT_EQ(std::make_pair(v->AngleX, v->AngleY), std::make_pair(35.0f, 60.0f));
    drag({50, 50}, {51, 49});
    EXPECT_EQ(std::make_pair(v->AngleX, v->AngleY), std::make_pair(34.5f, 60.5f));
    // Buttons move by 0.05; Reset brings back the first picture.
    for (const auto& [b, dx, dy, dz] : {std::tuple{v->btnUp, 0.f, .05f, 0.f}, {v->btnDown, 0.f, -.05f, 0.f},
                                         {v->btnLeft, -.05f, 0.f, 0.f}, {v->btnRight, .05f, 0.f, 0.f},
                                         {v->btnZoomIn, 0.f, 0.f, .05f}, {v->btnZoomOut, 0.f, 0.f, -.05f}}) {
      const float x = v->TransX, y = v->TransY, z = v->TransZ;
      QTest::mouseClick(b, Qt::LeftButton);
      EXPECT_TRUE(std::fabs(v->TransX - x - dx) + std::fabs(v->TransY - y - dy) + std::fabs(v->TransZ - z - dz) < 1e-6)
          << b->objectName().toStdString();
    }
    QTest::mouseClick(v->btnReset, Qt::LeftButton);
    EXPECT_EQ(v->ViewPicture(), first);
    // Zoom in and look down (70 degrees): the floor is solid, then seen through the wireframe.
    drag({100, 100}, {100, 200});
    for (int k = 0; k < 20; ++k) QTest::mouseClick(v->btnZoomIn, Qt::LeftButton);
    const QImage filled = v->ViewPicture();
    EXPECT_GT(NotBlack(filled), NotBlack(first) * 2);
    view->setFocus();
    v->View()->makeCurrent();
    const TSurfaceGeometry& g = v->Geometry();
    const QRect patch(OnPicture(float(14 - g.cx) / 128, 0, float(g.Rows - 9 - g.cy) / 128, first.height()),
                      OnPicture(float(20 - g.cx) / 128, 0, float(g.Rows - 15 - g.cy) / 128, first.height()));
    ASSERT_GT(patch.normalized().width() * patch.normalized().height(), 50);
    EXPECT_EQ(Count(filled, patch, IsBlack), 0);
    QTest::mouseClick(v->btnWireframe, Qt::LeftButton);
    const QImage wire = v->ViewPicture();
    Shot(wire, "view3d-wire.png");
    EXPECT_GT(Count(wire, patch, IsBlack), patch.normalized().width() * patch.normalized().height() / 10);
    QTest::mouseClick(v->btnShaded, Qt::LeftButton);
    EXPECT_EQ(v->ViewPicture(), filled);
    // A button's hint reaches the main window's status bar.
    QStatusTipEvent tip(v->btnCopy->statusTip());
    QCoreApplication::sendEvent(v->btnCopy, &tip);
    EXPECT_EQ(Form->PanelText(0), QStringLiteral("Copy to the clipboard"));
  }));
  // The view keeps its position until Reset.
  ASSERT_TRUE(OpenView(nullptr, [](Tfrm3DVisu* v, const QImage&) {
    EXPECT_NEAR(v->TransZ, -2.0f, 1e-5);
    QTest::mouseClick(v->btnReset, Qt::LeftButton);
    EXPECT_EQ(std::make_tuple(v->TransZ, v->AngleX, v->SavedAngleX), std::make_tuple(-3.0f, 20.0f, 20.0f));
  }));
}

TEST_F(SurfaceViewTest, SaveAndCopy) {
  StarImage(256, 256);
  QTemporaryDir dir;
  auto previous = TFileDialog::SetHook([&](TFileDialog& d) {
    EXPECT_EQ(d.Filter, QStringLiteral("Bitmap Files (*.bmp)|*.bmp|All Files (*.*)|*.*"));
    d.FileName = dir.filePath(QStringLiteral("surface"));  // ".bmp" is added
    d.FilterIndex = 2;
    return true;
  });
  QImage shown;
  ASSERT_TRUE(OpenView(nullptr, [&](Tfrm3DVisu* v, const QImage& pic) {
    shown = pic;
    QTest::mouseClick(v->btnSave, Qt::LeftButton);
    QTest::mouseClick(v->btnCopy, Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), pic);
  }));
  TFileDialog::SetHook(previous);
  QFile f(dir.filePath(QStringLiteral("surface.bmp")));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(quint8(f.readAll().at(28)), 24);  // bits per pixel
  EXPECT_EQ(QImage(f.fileName()).convertToFormat(QImage::Format_RGB32), shown);
  EXPECT_GT(NotBlack(shown), 1000);
}

namespace {
// Counts the paints a widget receives.
class TPaintCounter : public QObject {
 public:
  explicit TPaintCounter(QWidget* Watched) { Watched->installEventFilter(this); }
  int Paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* Event) override {
    if (Event->type() == QEvent::Paint) ++Paints;
    return false;
  }
};
}  // namespace

// The rendering buttons set by the program (setChecked), not clicked: the view
// is drawn again in the chosen way.
TEST_F(SurfaceViewTest, RenderingSetByTheProgramRepaintsTheView) {
  StarImage(300, 200);
  ASSERT_TRUE(OpenView(nullptr, [](Tfrm3DVisu* v, const QImage& shaded) {
    for (QToolButton* b : {v->btnWireframe, v->btnShaded}) {
      SCOPED_TRACE(b->objectName().toStdString());
      TPaintCounter counter(v->View());
      b->setChecked(true);
      QTest::qWait(50);
      EXPECT_GT(counter.Paints, 0);
      EXPECT_EQ(v->ViewPicture() == shaded, b == v->btnShaded);
    }
  }));
}
