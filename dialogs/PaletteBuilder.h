#pragma once
// The pseudo-colour palette made from colour points, the hue/saturation/value
// picker it is chosen on, and the stored form of the points.
#include <QImage>
#include <QString>
#include <vector>

#include "engine/DataImage.h"

// Room for this many colour points.
constexpr int MaxColourPoints = 128;

// Spreads the points over the 256 entries: segments of Round(255 / (n - 1))
// entries, each channel stepped from one point towards the next with the value
// advanced before it is stored; entries after the last segment take its last
// colour; the last 256 mod step entries repeat the one before them; Reverse
// mirrors the whole palette. Fewer than two points change nothing (false).
bool BuildPaletteEntries(const std::vector<TRGBPixel>& Points, bool Reverse, TPaletteEntries& Palette);

// The 255 x 180 picker: row y has the hue 360 y / 180; the left half runs
// from black to the full hue, the right half from it towards white.
QImage DrawColourPickerImage(int Width = 255, int Height = 180);

// "r,g,b,r,g,b,..." in decimal.
QString FormatPalettePoints(const std::vector<TRGBPixel>& Points);
// The points of a stored "Pal" text of Count points: false (Points untouched)
// unless Count is 1..MaxColourPoints and the text holds exactly 3 x Count
// whole numbers.
bool ParsePalettePoints(const QString& Text, int Count, std::vector<TRGBPixel>& Points);
