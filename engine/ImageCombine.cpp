#include "engine/ImageCombine.h"

#include <algorithm>
#include <new>

#include "engine/Parallel.h"

std::string CombineSizeMessage(const std::string& Name) {
  return "All images must have the same dimensions. Image " + Name + " is a different size.";
}

void CombineRows(const float* const* Series, int N, std::int64_t Count, int Method, float* Out) {
  if (N < 1) return;
  switch (Method) {
    case cmAdd:
    case cmMean:
      for (std::int64_t i = 0; i < Count; ++i) {
        // The running sum is a Double: each step is formed in extended
        // precision and rounded on the store.
        double sum = 0;
        for (int k = 0; k < N; ++k) sum = double((long double)sum + Series[k][i]);
        Out[i] = Method == cmAdd ? float(sum) : float((long double)sum / N);
      }
      break;
    case cmMedian: {
      // The value at N div 2 of the sorted values: any selection gives the
      // insertion sort's value, the pixels being finite.
      std::vector<float> v(std::size_t(N), 0.0f);
      const auto mid = v.begin() + N / 2;
      for (std::int64_t i = 0; i < Count; ++i) {
        for (int k = 0; k < N; ++k) v[std::size_t(k)] = Series[k][i];
        std::nth_element(v.begin(), mid, v.end());
        Out[i] = *mid;
      }
      break;
    }
    case cmMinimum:
      for (std::int64_t i = 0; i < Count; ++i) {
        float m = 2.0e32f;
        for (int k = 0; k < N; ++k)
          if (Series[k][i] < m) m = Series[k][i];
        Out[i] = m;
      }
      break;
    case cmMaximum:
      for (std::int64_t i = 0; i < Count; ++i) {
        float m = 0.0f;
        for (int k = 0; k < N; ++k)
          if (Series[k][i] > m) m = Series[k][i];
        Out[i] = m;
      }
      break;
    default:
      // An unknown method stores nothing, as the original's case statement.
      break;
  }
}

void CombineImages(const std::vector<const TDataImage*>& Images, const std::vector<std::string>& Names, int Method,
                   TDataImage& Result) {
  Result.FreeData();
  if (Images.size() < 2) throw ECombineError(msgCombineTooFew);
  const int w = Images[0]->Width, h = Images[0]->Height;
  for (std::size_t i = 0; i < Images.size(); ++i) {
    const TDataImage& im = *Images[i];
    if (im.IsColour) throw ECombineError(msgCombineColour);
    if (im.Width != w || im.Height != h || !im.Pixels)
      throw ECombineError(CombineSizeMessage(i < Names.size() ? Names[i] : std::string()));
  }
  if (w <= 0 || h <= 0) throw ECombineError(CombineSizeMessage(Names.empty() ? std::string() : Names[0]));
  if (!Result.Allocate(w, h, 3, false)) throw std::bad_alloc();
  const int n = int(Images.size());
  Parallel::For(
      h,
      [&](std::int64_t y0, std::int64_t y1) {
        std::vector<const float*> rows(std::size_t(n), nullptr);
        for (std::int64_t y = y0; y < y1; ++y) {
          for (int k = 0; k < n; ++k) rows[std::size_t(k)] = Images[std::size_t(k)]->Pixels + y * w;
          CombineRows(rows.data(), n, w, Method, Result.Pixels + y * w);
        }
      },
      4);
}
