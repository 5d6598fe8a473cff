#pragma once
// Least squares through a singular value decomposition (Golub-Reinsch).
// Matrices hold the column as the first index and the row as the second: an
// m x n system (m equations, n unknowns) is a TMatrix with Dim1 = n and
// Dim2 = m, whose element (j, i) is the coefficient of unknown j in equation i.
#include "engine/numeric/matrix.h"
#include "engine/numeric/vector.h"

// |a| when b >= 0 (negative zero included), otherwise -|a|.
double SignOf(double a, double b);
// a when a > b, otherwise b.
double MaxOf(double a, double b);

// Overwrites A with U and fills V (n x n) and W (n) so that a = U diag(w) V^T.
// False when a singular value failed to converge in 30 iterations. The
// values come out non-negative and unsorted. A zero divisor or an overflow
// throws EngineFault.
bool SVDecompose(TMatrix& A, TMatrix& V, TVector& W);

// Solves U diag(w) V^T x = b; fills Sigma with the standard errors when given.
// Always true.
bool SVBackSubstitute(const TMatrix& U, const TMatrix& V, const TVector& W, TVector* Sigma, TVector& X,
                      const TVector& B);

// Decomposes A (destroying it), drops singular values below 1e-8 of the
// largest and back-substitutes. X and Sigma stay as they were when the
// decomposition fails to converge.
bool SVDLeastSquares(TMatrix& A, const TVector& B, TVector& X, TVector* Sigma);
