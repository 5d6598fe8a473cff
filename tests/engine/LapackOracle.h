#pragma once
// LAPACK as an independent reference for the decomposition and the fits.
// Without LAPACK the cross-checks fail rather than pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#ifdef CORVELLE_HAVE_LAPACK
extern "C" {
void dgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a, const int* lda, double* s,
             double* u, const int* ldu, double* vt, const int* ldvt, double* work, const int* lwork, int* info);
void dgelsd_(const int* m, const int* n, const int* nrhs, double* a, const int* lda, double* b, const int* ldb,
             double* s, const double* rcond, int* rank, double* work, const int* lwork, int* iwork, int* info);
}
#endif

namespace Lapack {

inline bool Available() {
#ifdef CORVELLE_HAVE_LAPACK
  return true;
#else
  return false;
#endif
}

// Singular values, descending, of the m x n row-major matrix a.
inline std::vector<double> SingularValues(std::vector<double> a, int m, int n) {
  std::vector<double> s(std::min(m, n));
#ifdef CORVELLE_HAVE_LAPACK
  std::vector<double> colMajor(std::size_t(m) * n);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) colMajor[std::size_t(j) * m + i] = a[std::size_t(i) * n + j];
  int lwork = -1, info = 0, one = 1;
  double query = 0;
  dgesvd_("N", "N", &m, &n, colMajor.data(), &m, s.data(), nullptr, &one, nullptr, &one, &query, &lwork, &info);
  lwork = int(query);
  std::vector<double> work(static_cast<std::size_t>(lwork));
  dgesvd_("N", "N", &m, &n, colMajor.data(), &m, s.data(), nullptr, &one, nullptr, &one, work.data(), &lwork,
          &info);
  EXPECT_EQ(info, 0);
#else
  (void)a;
  ADD_FAILURE() << "LAPACK is missing: the cross-check cannot run";
#endif
  return s;
}

// Minimum-norm least-squares solution of a x = b (a m x n row-major), with
// singular values at or below rcond times the largest treated as zero.
inline std::vector<double> LeastSquares(const std::vector<double>& a, const std::vector<double>& b, int m, int n,
                                        double rcond = 1e-8) {
  std::vector<double> x(n);
#ifdef CORVELLE_HAVE_LAPACK
  std::vector<double> colMajor(std::size_t(m) * n);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) colMajor[std::size_t(j) * m + i] = a[std::size_t(i) * n + j];
  const int ldb = std::max(m, n), nrhs = 1;
  std::vector<double> rhs(ldb, 0.0);
  std::copy(b.begin(), b.end(), rhs.begin());
  std::vector<double> s(std::min(m, n));
  int rank = 0, info = 0, lwork = -1;
  double query = 0;
  int iquery = 0;
  dgelsd_(&m, &n, &nrhs, colMajor.data(), &m, rhs.data(), &ldb, s.data(), &rcond, &rank, &query, &lwork, &iquery,
          &info);
  lwork = int(query);
  std::vector<double> work(static_cast<std::size_t>(lwork));
  std::vector<int> iwork(std::size_t(std::max(1, iquery)) * 2 + 64 * std::size_t(std::max(m, n)));
  dgelsd_(&m, &n, &nrhs, colMajor.data(), &m, rhs.data(), &ldb, s.data(), &rcond, &rank, work.data(), &lwork,
          iwork.data(), &info);
  EXPECT_EQ(info, 0);
  std::copy(rhs.begin(), rhs.begin() + n, x.begin());
#else
  (void)a;
  (void)b;
  (void)m;
  (void)rcond;
  ADD_FAILURE() << "LAPACK is missing: the cross-check cannot run";
#endif
  return x;
}

}  // namespace Lapack
