#pragma once
// Point-spread functions for the deconvolutions: modelled (Gaussian,
// exponential) or extracted from a star. Each is a new floating-point grey
// image of the requested size with its complex plane allocated and its centre
// moved to pixel (0, 0). Not normalised. Null after a reported failure.
#include <memory>

#include "engine/DataImage.h"

std::unique_ptr<TDataImage> CreateGaussianPSF(int Width, int Height, float Radius);
std::unique_ptr<TDataImage> CreateExponentialPSF(int Width, int Height, float Radius);
// A point-reflected copy of the pixels of Image within Radius of (X, Y).
// Pixels outside Image count as 0; positions outside the frame are left out.
std::unique_ptr<TDataImage> ExtractPSF(int Width, int Height, int Radius, float X, float Y, const TDataImage& Image);
