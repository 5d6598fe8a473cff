#pragma once
// One GL light. Creating it sends nothing; each setter stores its value and
// passes it on at once, so the context must be current.
#include "analysis/view3d/OGLInit.h"

class TOGLLight {
 public:
  explicit TOGLLight(unsigned LightNumber);
  void Enable();
  void SetAmbient(const TGLColor4& C);
  void SetDiffuse(const TGLColor4& C);
  void SetSpecular(const TGLColor4& C);
  // In eye space: the model-view matrix at the time of the call applies.
  void SetPosition(const TGLVector4& P);
  void SetLinearAttenuation(float A);

  unsigned LightNumber;
  TGLColor4 Ambient = {0, 0, 0, 1};
  TGLColor4 Diffuse = {1, 1, 1, 1};
  TGLColor4 Specular = {1, 1, 1, 1};
  TGLVector4 Position = {0, 0, 1, 0};
  // Kept, never sent: GL's own defaults are the same.
  TGLVector4 SpotDirection = {0, 0, -1, 1};
  float SpotExponent = 0;
  float SpotCutoff = 180;
  float LinearAttenuation = 0;
};
