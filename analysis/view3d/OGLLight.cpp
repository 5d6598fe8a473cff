#include "analysis/view3d/OGLLight.h"

#include <GL/gl.h>

TOGLLight::TOGLLight(unsigned Number) : LightNumber(Number) {}

void TOGLLight::Enable() { glEnable(LightNumber); }

void TOGLLight::SetAmbient(const TGLColor4& C) {
  Ambient = C;
  glLightfv(LightNumber, GL_AMBIENT, &Ambient.Red);
}

void TOGLLight::SetDiffuse(const TGLColor4& C) {
  Diffuse = C;
  glLightfv(LightNumber, GL_DIFFUSE, &Diffuse.Red);
}

void TOGLLight::SetSpecular(const TGLColor4& C) {
  Specular = C;
  glLightfv(LightNumber, GL_SPECULAR, &Specular.Red);
}

void TOGLLight::SetPosition(const TGLVector4& P) {
  Position = P;
  glLightfv(LightNumber, GL_POSITION, &Position.X);
}

void TOGLLight::SetLinearAttenuation(float A) {
  LinearAttenuation = A;
  glLightf(LightNumber, GL_LINEAR_ATTENUATION, LinearAttenuation);
}
