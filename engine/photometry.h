#pragma once
// Aperture photometry: the light inside one aperture of a window with the sky
// taken from an annulus round it, and magnitudes from measured fluxes.
#include "engine/MeasureSource.h"

// A magnitude that has no value.
constexpr double NoMagnitude = -99.0;
// An aperture that could not be measured (it does not fit in the image or
// its annulus holds no sky), and a magnitude that cannot be formed.
constexpr double FailedMeasure = 999.0;

// Measures the aperture at list index Index. Status is written only on
// failure (FailedMeasure); callers set it beforehand. Reports 0, or 201 for
// an index outside the list or a fault.
void MeasureAperture(int Index, double& Flux, double& ZeroTerm, double& Sky, double& Status,
                     const IMeasureSource& Child);

// CompMag - 2.5 log10(Flux / (CompFlux - CompZeroTerm)); FailedMeasure when
// that ratio is not positive.
double CalcMagnitude(double CompMag, double CompFlux, double CompZeroTerm, double Flux, double FluxZeroTerm);

// ZeroPoint - 2.5 log10(Flux / IntegrationTime); NoMagnitude when the flux
// above its zero term is not positive or the time is 0, FailedMeasure when
// the ratio is not positive.
double InstrumentalMagnitude(double Flux, double FluxZeroTerm, double ZeroPoint, double IntegrationTime);
