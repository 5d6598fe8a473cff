#include "engine/RegisterImages.h"

#include <cmath>
#include <new>
#include <stdexcept>

#include "engine/Checked.h"
#include "engine/Errors.h"
#include "engine/Parallel.h"
#include "engine/numeric/math2.h"

float BilinearPixel(std::int64_t Row, std::int64_t Col, const TDataImage& Image, float FracRow, float FracCol) {
  const std::int64_t w = Image.Width, h = Image.Height;
  if (!Image.Pixels || Col < 0 || Row < 0 || Col >= w || Row >= h || FracCol < 0.0f || FracRow < 0.0f) return 0.0f;
  // A neighbour of weight 0 is not read, so the last column and row are
  // sampled like any other; one of weight above 0 must lie on the image.
  const bool right = FracCol != 0.0f, down = FracRow != 0.0f;
  if ((right && Col + 1 >= w) || (down && Row + 1 >= h)) return 0.0f;
  const float* p = Image.Pixels + std::size_t(Row) * std::size_t(w) + std::size_t(Col);
  const float* q = p + w;
  const long double p01 = right ? p[1] : 0.0f, p10 = down ? q[0] : 0.0f, p11 = right && down ? q[1] : 0.0f;
  const long double fr = FracRow, fc = FracCol;
  const long double v = p[0] * (1 - fr) * (1 - fc) + p01 * (1 - fr) * fc + p10 * (1 - fc) * fr + p11 * fr * fc;
  return Checked::ToSingle(v);
}

namespace {

// The fit puts the points of an identity or an integer shift within rounding
// of whole pixels; one that close to the image's edge lies on it.
constexpr long double EdgeTolerance = 1e-3L;

float OntoEdge(float v, std::int64_t Last) {
  if (v < 0.0f && v >= -EdgeTolerance) return 0.0f;
  if (v > Last && v <= Last + EdgeTolerance) return float(Last);
  return v;
}

void Register(int Terms, int ErrorNumber, const TMarkerPairArray& Markers, std::uint8_t Count,
              const TDataImage& Target, const TDataImage& Reference, TDataImage& Output) {
  try {
    // A colour image has no grey data to sample or to show, and more pairs
    // than the array holds would read past it.
    if (Target.IsColour || Reference.IsColour || Output.IsColour || Count > MaxMarkerPairs) Checked::Fault("refused");

    TMatrix ax(Terms, Count), ay(Terms, Count);
    TVector bx(Count), by(Count), cx(Terms), cy(Terms), sx(Terms), sy(Terms);
    for (int i = 1; i <= Count; ++i) {
      const TMarkerPair& p = Markers[std::size_t(i)];
      const double X = p.RefX, Y = p.RefY;
      const double terms[6] = {1.0, X, Y, X * X, X * Y, Y * Y};
      for (int t = 1; t <= Terms; ++t) {
        ax.SetElem(t, i, terms[t - 1]);
        ay.SetElem(t, i, terms[t - 1]);
      }
      bx.SetElem(i, p.TargetX);
      by.SetElem(i, p.TargetY);
    }
    SVDLeastSquares(ax, bx, cx, &sx);
    SVDLeastSquares(ay, by, cy, &sy);

    long double kx[7] = {}, ky[7] = {};
    for (int t = 1; t <= Terms; ++t) {
      kx[t] = cx.GetElem(t);
      ky[t] = cy.GetElem(t);
    }
    const int W = Output.Width, H = Output.Height;
    if (!Output.Pixels || W <= 0 || H <= 0) {
      ReportInternalError(0);
      return;
    }
    const std::int64_t lastCol = std::int64_t(Target.Width) - 1, lastRow = std::int64_t(Target.Height) - 1;
    auto rows = [&](std::int64_t Begin, std::int64_t End) {
      for (std::int64_t y = Begin; y < End; ++y) {
        float* out = Output.Pixels + std::size_t(y) * std::size_t(W);
        for (std::int64_t x = 0; x < W; ++x) {
          long double ex = kx[1] * 1.0L + kx[2] * x + kx[3] * y;
          long double ey = ky[1] * 1.0L + ky[2] * x + ky[3] * y;
          if (Terms == 6) {
            const std::int64_t xx = x * x, xy = x * y, yy = y * y;
            ex = ex + kx[4] * xx + kx[5] * xy + kx[6] * yy;
            ey = ey + ky[4] * xx + ky[5] * xy + ky[6] * yy;
          }
          float fx = Checked::ToSingle(ex), fy = Checked::ToSingle(ey);
          // A point past the 64-bit range is a fault here, as it always was.
          Checked::Trunc(fx);
          Checked::Trunc(fy);
          fx = OntoEdge(fx, lastCol);
          fy = OntoEdge(fy, lastRow);
          // Outside the target there is nothing to interpolate from: 0, never
          // a value extrapolated from the first two pixels.
          if (fx < 0.0f || fy < 0.0f) {
            out[x] = 0.0f;
            continue;
          }
          const std::int64_t col = std::int64_t(fx), row = std::int64_t(fy);
          const float fracCol = float((long double)fx - col), fracRow = float((long double)fy - row);
          out[x] = BilinearPixel(row, col, Target, fracRow, fracCol);
        }
      }
    };
    // Rows are independent, but a fault must leave the rows after it
    // untouched. When no mapped coordinate can come near the 64-bit range
    // anywhere on the image no fault is possible and the rows may run in
    // parallel.
    const long double mx = W - 1, my = H - 1;
    const long double reach[7] = {0, 1, mx, my, mx * mx, mx * my, my * my};
    long double boundX = 0, boundY = 0;
    for (int t = 1; t <= Terms; ++t) {
      boundX += std::fabs(kx[t]) * reach[t];
      boundY += std::fabs(ky[t]) * reach[t];
    }
    if (boundX < 1e18L && boundY < 1e18L)
      Parallel::For(H, rows, 16);
    else
      rows(0, H);
    ReportInternalError(0);
  } catch (const EngineFault&) {
    ReportInternalError(ErrorNumber);
  } catch (const std::bad_alloc&) {
    ReportInternalError(ErrorNumber);
  } catch (const std::runtime_error&) {
    ReportInternalError(ErrorNumber);
  }
}

}  // namespace

void RegisterLinear(int /*Degree*/, const TMarkerPairArray& Markers, std::uint8_t Count, const TDataImage& Target,
                    const TDataImage& Reference, TDataImage& Output) {
  Register(3, errRegisterLinear, Markers, Count, Target, Reference, Output);
}

void RegisterQuadratic(int /*Degree*/, const TMarkerPairArray& Markers, std::uint8_t Count,
                       const TDataImage& Target, const TDataImage& Reference, TDataImage& Output) {
  Register(6, errRegisterQuadratic, Markers, Count, Target, Reference, Output);
}
