#pragma once
// The GL side of the 3-D view: the format of its drawing surface, the
// projection, colour and vector records, and the stroke font's start-up.
// The functions that issue GL calls need the view's context to be current.
#include <QSurfaceFormat>

class QOpenGLWidget;

struct TGLColor4 {
  float Red, Green, Blue, Alpha;
};
struct TGLVector4 {
  float X, Y, Z, W;
};
inline TGLColor4 GLColor4(float R, float G, float B, float A) { return {R, G, B, A}; }
inline TGLVector4 GLVector4(float X, float Y, float Z, float W) { return {X, Y, Z, W}; }

// RGBA 8/8/8, depth 24 (32-bit depth buffers hardly exist; the closest format
// is taken), double-buffered, and a compatibility profile so that immediate
// mode and display lists work. True-colour visuals need no palette.
QSurfaceFormat SetupPixelFormat();
// Gives the widget that format; must come before it is first shown.
void InitGL(QOpenGLWidget* Widget);
// Frees a display list while the widget's context is current; the context
// itself goes with the widget.
void CloseGL(QOpenGLWidget* Widget, unsigned List);

// Projection: 30 degrees vertical field of view, near 0.1, far 500, and the
// viewport. Leaves the matrix mode at GL_PROJECTION. A height of 0 counts as 1.
void ResizeGL(int Width, int Height);

// freeglut's stroke fonts need glutInit, which ends the process when it finds
// no X display. Called before the first label is drawn: it initialises once,
// only on X11 (xcb with DISPLAY set), and says whether the labels can be drawn.
bool StrokeFontReady();
