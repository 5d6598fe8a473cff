#include "engine/numeric/vector.h"

#include <new>

TVector::TVector(std::int32_t Dim) {
  if (Dim <= 0) throw EZRTVectorError("vector dimension zero or negative");
  try {
    Elements.assign(std::size_t(Dim), 0.0);
  } catch (const std::bad_alloc&) {
    throw EZRTVectorError("not enough memory on heap");
  } catch (const std::length_error&) {
    throw EZRTVectorError("not enough memory on heap");
  }
  FDim = Dim;
}
