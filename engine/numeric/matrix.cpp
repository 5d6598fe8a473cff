#include "engine/numeric/matrix.h"

#include <new>

TMatrix::TMatrix(std::int32_t Dim1, std::int32_t Dim2) {
  if (Dim1 < 1 || Dim2 < 1) throw EZRTMatrixError("array dimensions zero or negative");
  try {
    Elements.assign(std::size_t(Dim1) * std::size_t(Dim2), 0.0);
  } catch (const std::bad_alloc&) {
    throw EZRTMatrixError("not enough memory on heap");
  } catch (const std::length_error&) {
    throw EZRTMatrixError("not enough memory on heap");
  }
  FDim1 = Dim1;
  FDim2 = Dim2;
}
