#include "engine/photometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <numbers>
#include <vector>

#include "engine/Checked.h"
#include "engine/Errors.h"

namespace {

const long double Pi = std::numbers::pi_v<long double>;

// An empty or unusable annulus: the aperture cannot be measured.
void Fail(double& Flux, double& ZeroTerm, double& Status) {
  Flux = 0.0;
  ZeroTerm = 0.0;
  Status = FailedMeasure;
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

    // Sized for everything the scan can produce, however large the radii.
    std::vector<double> sky, value, weight;
    const std::size_t side = std::size_t(2 * std::max<std::int64_t>(Rout + 1, 0) + 1);
    sky.reserve(side * side);
    value.reserve(side * side);
    weight.reserve(side * side);

    const std::int64_t R2 = R * R;
    for (std::int64_t j = -(Rout + 1); j <= Rout + 1; ++j) {
      const std::int64_t py = Checked::Trunc((long double)ap.Y + j);
      for (std::int64_t i = -(Rout + 1); i <= Rout + 1; ++i) {
        const std::int64_t px = Checked::Trunc((long double)ap.X + i);
        const float v = (px >= 0 && px < img.Width && py >= 0 && py < img.Height) ? img.GetPixel(int(px), int(py))
                                                                                   : 0.0f;
        const double d = std::sqrt(double(i * i + j * j));
        if (d > double(R) && double(Rin) <= d && d <= double(Rout)) sky.push_back(v);

        const std::int64_t c1 = i * i + j * j, c2 = (i + 1) * (i + 1) + j * j, c3 = i * i + (j + 1) * (j + 1),
                           c4 = (i + 1) * (i + 1) + (j + 1) * (j + 1);
        const std::int64_t cmin = std::min({c1, c2, c3, c4}), cmax = std::max({c1, c2, c3, c4});
        if (cmin > R2) continue;
        if (cmax < R2 && cmin > 0) {
          value.push_back(v);
          weight.push_back(1.0);
          continue;
        }
        int k = 0;
        for (int a = 0; a <= 4; ++a) {
          const long double sxp = i + 0.1L + 0.2L * a;
          for (int b = 0; b <= 4; ++b) {
            const long double syp = j + 0.1L + 0.2L * b;
            if (sxp * sxp + syp * syp <= R2) ++k;
          }
        }
        if (k > 0) {
          value.push_back(double((long double)v * k / 25));
          weight.push_back(double(k / 25.0L));
        } else {
          value.push_back(v);
          weight.push_back(1.0);
        }
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

    // Only the first Round(R^2 pi) entries in scan order count.
    const std::int64_t cap = Checked::Round((long double)R * R * Pi);
    const std::size_t kept = std::min<std::size_t>(value.size(), std::size_t(std::max<std::int64_t>(cap, 0)));
    double flux = 0.0;
    for (std::size_t e = 0; e < kept; ++e) flux = double(flux + ((long double)value[e] - (long double)Sky * weight[e]));
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
