#include "engine/photometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "engine/Checked.h"
#include "engine/Errors.h"

namespace {

// An empty or unusable annulus: the aperture cannot be measured.
void Fail(double& Flux, double& ZeroTerm, double& Status) {
  Flux = 0.0;
  ZeroTerm = 0.0;
  Status = FailedMeasure;
}

// A pixel's value; 0 outside the image.
float PixelOr0(const TDataImage& Image, std::int64_t X, std::int64_t Y) {
  return (X >= 0 && X < Image.Width && Y >= 0 && Y < Image.Height) ? Image.GetPixel(int(X), int(Y)) : 0.0f;
}

}  // namespace

void MeasureAperture(int Index, double& Flux, double& ZeroTerm, double& Sky, double& Status,
                     const IMeasureSource& Child) {
  if (Index < 0 || Index >= Child.ApertureCount()) {
    ReportInternalError(errMeasureAperture);
    return;
  }
  try {
    const TApertureRec ap = Child.Aperture(Index);
    const TDataImage& img = Child.Image();
    const std::int64_t R = ap.R, Rin = ap.Rin, Rout = ap.Rout;
    const std::int64_t cx = Checked::Round(ap.X), cy = Checked::Round(ap.Y);
    if (cx - Rout < 0 || cx + Rout > img.Width - 1 || cy - Rout < 0 || cy + Rout > img.Height - 1) {
      Fail(Flux, ZeroTerm, Status);
      return;
    }

    std::vector<double> sky;
    const std::size_t side = std::size_t(2 * std::max<std::int64_t>(Rout + 1, 0) + 1);
    sky.reserve(side * side);

    // The star is summed over the pixels' own squares, centred on the pixel
    // positions the centroids give, each weighted by its share of the circle;
    // a square merely anchored at the aperture's centre would pair its light
    // with a pixel up to 1.5 pixels away.
    const long double R2 = (long double)R * R;
    auto nearest = [](long double a) { return a > 0 ? a : (a + 1 < 0 ? -(a + 1) : 0.0L); };
    auto farthest = [](long double a) { return std::max(std::fabs(a), std::fabs(a + 1)); };
    std::vector<std::pair<double, double>> star;  // value, weight; summed once the sky is known
    star.reserve(side * side);
    for (std::int64_t j = -(Rout + 1); j <= Rout + 1; ++j) {
      const std::int64_t py = Checked::Trunc((long double)ap.Y + j);
      const std::int64_t qy = cy + j;
      const long double b = qy - 0.5L - ap.Y;
      for (std::int64_t i = -(Rout + 1); i <= Rout + 1; ++i) {
        const std::int64_t px = Checked::Trunc((long double)ap.X + i);
        const double d = std::sqrt(double(i * i + j * j));
        if (d > double(R) && double(Rin) <= d && d <= double(Rout)) sky.push_back(PixelOr0(img, px, py));

        const std::int64_t qx = cx + i;
        const long double a = qx - 0.5L - ap.X;
        const long double na = nearest(a), nb = nearest(b);
        if (na * na + nb * nb > R2) continue;
        const float v = PixelOr0(img, qx, qy);
        const long double fa = farthest(a), fb = farthest(b);
        if (fa * fa + fb * fb < R2) {
          star.emplace_back(v, 1.0);
          continue;
        }
        int k = 0;
        for (int m = 0; m <= 4; ++m) {
          const long double sxp = a + 0.1L + 0.2L * m;
          for (int n = 0; n <= 4; ++n) {
            const long double syp = b + 0.1L + 0.2L * n;
            if (sxp * sxp + syp * syp <= R2) ++k;
          }
        }
        // A square that only grazes the circle holds none of it.
        if (k > 0) star.emplace_back(double((long double)v * k / 25), double(k / 25.0L));
      }
    }

    // An annulus that yields no sky sample has no sky to subtract.
    if (sky.empty()) {
      Fail(Flux, ZeroTerm, Status);
      return;
    }
    std::sort(sky.begin(), sky.end());
    const std::size_t n = sky.size(), m = n / 2, q = n / 4;
    double sum = 0.0;
    for (std::size_t s = m - q; s <= m + q; ++s) sum = double((long double)sum + sky[s]);
    Sky = double((long double)sum / (long double)(2 * q + 1));

    // Every square of the aperture counts: their weights make up its area.
    double flux = 0.0;
    for (const auto& [value, weight] : star) flux = double(flux + ((long double)value - (long double)Sky * weight));
    Flux = flux;
    ZeroTerm = 0.0;
    ReportInternalError(0);
  } catch (const EngineFault&) {
    ReportInternalError(errMeasureAperture);
  } catch (const std::bad_alloc&) {
    ReportInternalError(errMeasureAperture);
  }
}

double CalcMagnitude(double CompMag, double CompFlux, double CompZeroTerm, double Flux, double /*FluxZeroTerm*/) {
  // A sky-subtracted flux at or below zero has no magnitude.
  const long double denominator = (long double)CompFlux - CompZeroTerm;
  if (denominator == 0) return FailedMeasure;
  const long double ratio = Flux / denominator;
  if (!(ratio > 0) || !std::isfinite(ratio)) return FailedMeasure;
  return double(CompMag - 2.5L * std::log10(ratio));
}

double InstrumentalMagnitude(double Flux, double FluxZeroTerm, double ZeroPoint, double IntegrationTime) {
  if ((long double)Flux - FluxZeroTerm <= 0 || IntegrationTime == 0) return NoMagnitude;
  const long double ratio = (long double)Flux / IntegrationTime;
  if (!(ratio > 0) || !std::isfinite(ratio)) return FailedMeasure;
  return double(ZeroPoint - 2.5L * std::log10(ratio));
}
