#pragma once
// A one-based vector of doubles. Reads outside 1..Dim give 0.0 and writes
// there are dropped: the least-squares code leans on that for systems with
// fewer equations than unknowns.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

class EZRTVectorError : public std::runtime_error {
 public:
  explicit EZRTVectorError(const std::string& Message) : std::runtime_error(Message) {}
};

class TVector {
 public:
  using TNotify = std::function<void(TVector& Sender)>;

  // Dim <= 0 throws "vector dimension zero or negative"; no memory throws
  // "not enough memory on heap". Every element starts at 0.0.
  explicit TVector(std::int32_t Dim);

  std::int32_t Dim() const { return FDim; }
  double GetElem(std::int32_t i) const noexcept {
    return i >= 1 && i <= FDim ? Elements[std::size_t(i - 1)] : 0.0;
  }
  void SetElem(std::int32_t i, double Value) {
    if (i < 1 || i > FDim) return;
    Elements[std::size_t(i - 1)] = Value;
    Changed();
  }
  void Changed() {
    if (OnChange) OnChange(*this);
  }

  TNotify OnChange;

 private:
  std::int32_t FDim = 0;
  std::vector<double> Elements;
};
