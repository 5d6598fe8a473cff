#pragma once
// A one-based matrix of doubles. Element (i, j) lies at position
// (j - 1) * Dim1 + i of the block: the first index runs fastest. Reads
// outside the ranges give 0.0, writes there are dropped.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

class EZRTMatrixError : public std::runtime_error {
 public:
  explicit EZRTMatrixError(const std::string& Message) : std::runtime_error(Message) {}
};

class TMatrix {
 public:
  using TNotify = std::function<void(TMatrix& Sender)>;

  // Dim1 < 1 or Dim2 < 1 throws "array dimensions zero or negative"; no
  // memory throws "not enough memory on heap". Every element starts at 0.0.
  TMatrix(std::int32_t Dim1, std::int32_t Dim2);

  std::int32_t Dim1() const { return FDim1; }
  std::int32_t Dim2() const { return FDim2; }
  double GetElem(std::int32_t i, std::int32_t j) const noexcept {
    return Inside(i, j) ? Elements[Position(i, j)] : 0.0;
  }
  void SetElem(std::int32_t i, std::int32_t j, double Value) {
    if (!Inside(i, j)) return;
    Elements[Position(i, j)] = Value;
    Changed();
  }
  void Changed() {
    if (OnChange) OnChange(*this);
  }
  // The block itself, zero-based, in storage order.
  const std::vector<double>& Block() const { return Elements; }

  TNotify OnChange;

 private:
  bool Inside(std::int32_t i, std::int32_t j) const noexcept {
    return i >= 1 && i <= FDim1 && j >= 1 && j <= FDim2;
  }
  std::size_t Position(std::int32_t i, std::int32_t j) const noexcept {
    return std::size_t(j - 1) * std::size_t(FDim1) + std::size_t(i - 1);
  }

  std::int32_t FDim1 = 0, FDim2 = 0;
  std::vector<double> Elements;
};
