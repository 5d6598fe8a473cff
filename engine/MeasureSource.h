#pragma once
// What the measuring routines need of an image window: its image, its region
// of interest and its photometry apertures. The image window implements it.
#include "engine/DataImage.h"

// A photometry aperture: centre in image pixels, aperture radius and the
// sky annulus between the inner and the outer radius.
struct TApertureRec {
  float X = 0.0f;
  float Y = 0.0f;
  int R = 0;
  int Rin = 0;
  int Rout = 0;
};

class IMeasureSource {
 public:
  virtual ~IMeasureSource() = default;
  virtual const TDataImage& Image() const = 0;
  // The region of interest in image pixels, ordered and clamped to the
  // image; false when there is none.
  virtual bool GetSelection(int& Left, int& Top, int& Right, int& Bottom) const = 0;
  virtual int ApertureCount() const = 0;
  // The aperture at a list index, 0 .. ApertureCount() - 1.
  virtual TApertureRec Aperture(int Index) const = 0;
};
