#pragma once
// Aligns a target image to a reference from pairs of markers on the same
// stars: a polynomial from reference to target coordinates fitted by least
// squares, then a bilinear resampling of the target into the reference's
// geometry.
#include <array>
#include <cstdint>

#include "engine/DataImage.h"

struct TMarkerPair {
  float TargetX = 0.0f;
  float TargetY = 0.0f;
  float RefX = 0.0f;
  float RefY = 0.0f;
};

// Entry 0 is unused; pairs occupy 1..Count, so at most 49 fit.
using TMarkerPairArray = std::array<TMarkerPair, 50>;
constexpr int MaxMarkerPairs = 49;

// Terms 1, X, Y. Reports 44 on failure, 0 on success.
void RegisterLinear(int Degree, const TMarkerPairArray& Markers, std::uint8_t Count, const TDataImage& Target,
                    const TDataImage& Reference, TDataImage& Output);
// Terms 1, X, Y, X*X, X*Y, Y*Y. Reports 45 on failure, 0 on success.
void RegisterQuadratic(int Degree, const TMarkerPairArray& Markers, std::uint8_t Count, const TDataImage& Target,
                       const TDataImage& Reference, TDataImage& Output);

// Bilinear value of Image's grey plane at (Col + FracCol, Row + FracRow),
// fractions in [0, 1); 0.0 when that point lies outside the image. On the
// last column or row the neighbour beyond has weight 0.
float BilinearPixel(std::int64_t Row, std::int64_t Col, const TDataImage& Image, float FracRow, float FracCol);
