#include "analysis/view3d/OGLInit.h"

#include <GL/freeglut.h>
#include <GL/glu.h>

#include <QGuiApplication>
#include <QOpenGLWidget>
#include <algorithm>
#include <cstdlib>

QSurfaceFormat SetupPixelFormat() {
  QSurfaceFormat f;
  f.setRenderableType(QSurfaceFormat::OpenGL);
  f.setProfile(QSurfaceFormat::CompatibilityProfile);
  f.setVersion(2, 1);
  f.setRedBufferSize(8);
  f.setGreenBufferSize(8);
  f.setBlueBufferSize(8);
  f.setDepthBufferSize(24);
  f.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  return f;
}

void InitGL(QOpenGLWidget* Widget) { Widget->setFormat(SetupPixelFormat()); }

void CloseGL(QOpenGLWidget* Widget, unsigned List) {
  if (!Widget || !Widget->context()) return;
  Widget->makeCurrent();
  if (List != 0 && glIsList(List)) glDeleteLists(List, 1);
  Widget->doneCurrent();
}

void ResizeGL(int Width, int Height) {
  const int h = std::max(Height, 1);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(30.0, double(Width) / h, 0.1, 500.0);
  glViewport(0, 0, Width, h);
}

bool StrokeFontReady() {
  static int state = -1;  // -1 not tried, 0 not available, 1 ready
  if (state < 0) {
    const char* display = std::getenv("DISPLAY");
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !display || !*display) {
      state = 0;
    } else {
      // Its own argument list, so that it takes none of the program's.
      static char name[] = "corvelle-image";
      static char* argv[] = {name, nullptr};
      int argc = 1;
      glutInit(&argc, argv);
      state = 1;
    }
  }
  return state == 1;
}
