#pragma once
// The target shapes the histogram specification dialog draws: points (x, y)
// in the order they are added to the chart.
#include <QPointF>
#include <vector>

// Item 0..5: "Equalisation", "Gaussian", "Exponential", "Parabolic", "Cubic",
// "Linear"; Centre and Width are the slider positions (Gaussian only).
std::vector<QPointF> HistogramTargetCurve(int Item, int Centre, int Width);
