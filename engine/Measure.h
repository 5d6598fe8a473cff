#pragma once
// Centre of light of a star: over a window's region of interest, or in a
// small box about a clicked point.
#include "engine/MeasureSource.h"

// The plain mean position of the region's pixels above 1.1 times the region's
// mean. False and (0, 0) when there is no region or no centroid, each with its
// warning; False and (0, 0) without a message on any other failure.
bool CalcCentroid(float& X, float& Y, const IMeasureSource& Child);

// The centroid weighted by the raw values above 1.1 times the box mean, in a
// box of BoxSize about (X, Y) clamped to the image. X, Y carry the starting
// point in and the centroid out; False and (0, 0) on failure, never a message.
bool MeasureStarCentroid(float& X, float& Y, int BoxSize, const IMeasureSource& Child);
