#pragma once
// The rendered 24-bit bottom-up buffer as a QImage, in one pass.
#include <QImage>

#include "engine/QVRFastBMP.h"

QImage FastBMPToQImage(const TFastBMP& Bitmap);
