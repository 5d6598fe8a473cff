// Containers, decomposition and least squares, with LAPACK as the reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "LapackOracle.h"
#include "engine/numeric/math2.h"

namespace {

// Row-major m x n into the column-first TMatrix.
TMatrix ToMatrix(const std::vector<double>& a, int m, int n) {
  TMatrix M(n, m);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) M.SetElem(j + 1, i + 1, a[std::size_t(i) * n + j]);
  return M;
}

TVector ToVector(const std::vector<double>& b) {
  TVector v(int(b.size()));
  for (std::size_t i = 0; i < b.size(); ++i) v.SetElem(int(i) + 1, b[i]);
  return v;
}

std::vector<double> Random(std::mt19937& rng, std::size_t n, double lo, double hi) {
  std::uniform_real_distribution<double> d(lo, hi);
  std::vector<double> v(n);
  for (auto& x : v) x = d(rng);
  return v;
}

}  // namespace

TEST(Containers, ConstructorsRefuseEmptySizes) {
  for (int dim : {0, -3}) {
    try {
      TVector v(dim);
      FAIL() << "no exception for " << dim;
    } catch (const EZRTVectorError& e) {
      EXPECT_STREQ(e.what(), "vector dimension zero or negative");
    }
  }
  for (auto d : {std::pair{0, 5}, std::pair{5, 0}, std::pair{-1, 1}}) {
    try {
      TMatrix m(d.first, d.second);
      FAIL() << "no exception";
    } catch (const EZRTMatrixError& e) {
      EXPECT_STREQ(e.what(), "array dimensions zero or negative");
    }
  }
}

TEST(Containers, BlocksBeyondMemoryGiveTheHeapMessage) {
  // 2^31 - 1 squared doubles is far past anything an address space holds.
  try {
    TMatrix m(2147483647, 2147483647);
    FAIL() << "no exception";
  } catch (const EZRTMatrixError& e) {
    EXPECT_STREQ(e.what(), "not enough memory on heap");
  }
}

TEST(Containers, OutOfRangeIsSilentAndNotified) {
  TVector v(4);
  int notes = 0;
  v.OnChange = [&](TVector& s) {
    EXPECT_EQ(&s, &v);
    ++notes;
  };
  for (int i = 0; i <= 5; ++i) EXPECT_EQ(v.GetElem(i), 0.0);
  v.SetElem(5, 7.0);
  v.SetElem(0, 7.0);
  EXPECT_EQ(notes, 0);
  for (int i = 0; i <= 5; ++i) EXPECT_EQ(v.GetElem(i), 0.0);
  v.SetElem(4, 7.0);
  EXPECT_EQ(notes, 1);
  EXPECT_EQ(v.GetElem(4), 7.0);
  EXPECT_EQ(v.GetElem(5), 0.0);

  TMatrix m(3, 2);
  int mnotes = 0;
  m.OnChange = [&](TMatrix&) { ++mnotes; };
  m.SetElem(1, 2, 12.0);
  m.SetElem(3, 1, 31.0);
  m.SetElem(4, 1, 99.0);
  m.SetElem(1, 3, 99.0);
  EXPECT_EQ(mnotes, 2);
  // One-based position 4 and 3 of the block.
  EXPECT_EQ(m.Block()[3], 12.0);
  EXPECT_EQ(m.Block()[2], 31.0);
  EXPECT_EQ(std::count(m.Block().begin(), m.Block().end(), 0.0), 4);
  EXPECT_EQ(m.GetElem(0, 1), 0.0);
  EXPECT_EQ(m.GetElem(3, 3), 0.0);
}

TEST(Math2, SignOfAndMaxOf) {
  EXPECT_EQ(SignOf(-2.0, -0.0), 2.0);
  EXPECT_EQ(SignOf(2.0, -1e-300), -2.0);
  EXPECT_EQ(SignOf(-2.0, 0.0), 2.0);
  EXPECT_EQ(MaxOf(1.0, 2.0), 2.0);
  EXPECT_EQ(MaxOf(3.0, 2.0), 3.0);
}

TEST(Math2, ExactSystemAndStandardErrors) {
  // 2x + y - z = 8, -3x - y + 2z = -11, -2x + y + 2z = -3: x = 2, y = 3, z = -1.
  const std::vector<double> a{2, 1, -1, -3, -1, 2, -2, 1, 2};
  TMatrix A = ToMatrix(a, 3, 3);
  TVector B = ToVector({8, -11, -3}), X(3), S(3);
  ASSERT_TRUE(SVDLeastSquares(A, B, X, &S));
  EXPECT_NEAR(X.GetElem(1), 2.0, 1e-12);
  EXPECT_NEAR(X.GetElem(2), 3.0, 1e-12);
  EXPECT_NEAR(X.GetElem(3), -1.0, 1e-12);
  // (A^T A)^-1 = A^-1 A^-T; A^-1 worked by hand: [[4,3,-1],[-2,-2,1],[5,4,-1]].
  const double inv[3][3] = {{4, 3, -1}, {-2, -2, 1}, {5, 4, -1}};
  for (int j = 0; j < 3; ++j) {
    double d = 0;
    for (int k = 0; k < 3; ++k) d += inv[j][k] * inv[j][k];
    EXPECT_NEAR(S.GetElem(j + 1), std::sqrt(d), 1e-10);
  }
}

TEST(Math2, StandardErrorsOfAnOverdeterminedFit) {
  // sigma[j] is the square root of the j-th diagonal entry of (a^T a)^-1;
  // the inverse here comes from Gauss-Jordan elimination, not from an SVD.
  std::mt19937 rng(31);
  for (int trial = 0; trial < 20; ++trial) {
    const int n = 3, m = 4 + trial;
    const auto a = Random(rng, std::size_t(m) * n, -3, 3);
    const auto b = Random(rng, std::size_t(m), -3, 3);
    double g[3][6] = {};
    for (int r = 0; r < n; ++r) {
      for (int c = 0; c < n; ++c)
        for (int i = 0; i < m; ++i) g[r][c] += a[std::size_t(i) * n + r] * a[std::size_t(i) * n + c];
      g[r][n + r] = 1.0;
    }
    for (int p = 0; p < n; ++p) {
      int best = p;
      for (int r = p + 1; r < n; ++r)
        if (std::fabs(g[r][p]) > std::fabs(g[best][p])) best = r;
      std::swap(g[p], g[best]);
      const double d = g[p][p];
      for (double& x : g[p]) x /= d;
      for (int r = 0; r < n; ++r)
        if (r != p) {
          const double f = g[r][p];
          for (int c = 0; c < 2 * n; ++c) g[r][c] -= f * g[p][c];
        }
    }
    TMatrix A = ToMatrix(a, m, n);
    TVector B = ToVector(b), X(n), S(n);
    ASSERT_TRUE(SVDLeastSquares(A, B, X, &S));
    for (int j = 0; j < n; ++j)
      EXPECT_NEAR(S.GetElem(j + 1), std::sqrt(g[j][n + j]), 1e-10 * std::sqrt(g[j][n + j])) << "trial " << trial;
  }
}

TEST(Math2, DecompositionMatchesLapack) {
  ASSERT_TRUE(Lapack::Available()) << "LAPACK is missing: the cross-check cannot run";
  std::mt19937 rng(5);
  for (int trial = 0; trial < 300; ++trial) {
    const int n = trial % 2 ? 6 : 3;
    const int m = n + int(rng() % 44);
    const auto a = Random(rng, std::size_t(m) * n, -100, 100);
    TMatrix U = ToMatrix(a, m, n), V(n, n);
    TVector W(n);
    ASSERT_TRUE(SVDecompose(U, V, W));
    std::vector<double> w;
    for (int j = 1; j <= n; ++j) {
      EXPECT_GE(W.GetElem(j), 0.0);
      w.push_back(W.GetElem(j));
    }
    std::sort(w.rbegin(), w.rend());
    const auto ref = Lapack::SingularValues(a, m, n);
    for (int j = 0; j < n; ++j) EXPECT_NEAR(w[j], ref[j], 1e-10 * ref[0]);
    // U diag(w) V^T gives a back.
    for (int i = 1; i <= m; ++i)
      for (int j = 1; j <= n; ++j) {
        double s = 0;
        for (int k = 1; k <= n; ++k) s += U.GetElem(k, i) * W.GetElem(k) * V.GetElem(k, j);
        EXPECT_NEAR(s, a[std::size_t(i - 1) * n + (j - 1)], 1e-10);
      }
  }
}

TEST(Math2, LeastSquaresMatchesLapackOnRegistrationSystems) {
  ASSERT_TRUE(Lapack::Available()) << "LAPACK is missing: the cross-check cannot run";
  std::mt19937 rng(8);
  for (int trial = 0; trial < 300; ++trial) {
    const int n = trial % 2 ? 6 : 3;
    const int m = n + int(rng() % 44);
    std::vector<double> a, b;
    for (int i = 0; i < m; ++i) {
      const double X = std::floor(Random(rng, 1, 0, 4096)[0]) + 0.5, Y = std::floor(Random(rng, 1, 0, 4096)[0]);
      const double t[6] = {1, X, Y, X * X, X * Y, Y * Y};
      a.insert(a.end(), t, t + n);
      b.push_back(3 + 0.99 * X - 0.01 * Y + Random(rng, 1, -0.5, 0.5)[0]);
    }
    TMatrix A = ToMatrix(a, m, n);
    TVector B = ToVector(b), X(n), S(n);
    ASSERT_TRUE(SVDLeastSquares(A, B, X, &S));
    const auto ref = Lapack::LeastSquares(a, b, m, n);
    // Compare the fitted values, which are well conditioned even where the
    // quadratic coefficients are not.
    for (int i = 0; i < m; ++i) {
      double ours = 0, theirs = 0;
      for (int j = 0; j < n; ++j) {
        ours += a[std::size_t(i) * n + j] * X.GetElem(j + 1);
        theirs += a[std::size_t(i) * n + j] * ref[std::size_t(j)];
      }
      EXPECT_NEAR(ours, theirs, 1e-6);
    }
  }
}

TEST(Math2, ZeroColumnGetsZeroCoefficient) {
  ASSERT_TRUE(Lapack::Available()) << "LAPACK is missing: the cross-check cannot run";
  std::mt19937 rng(13);
  for (int trial = 0; trial < 200; ++trial) {
    const int n = 3 + int(rng() % 4), m = n + int(rng() % 8);
    const int zero = trial % n;  // the first column among them
    auto a = Random(rng, std::size_t(m) * n, -10, 10);
    for (int i = 0; i < m; ++i) a[std::size_t(i) * n + zero] = 0.0;
    const auto b = Random(rng, std::size_t(m), -10, 10);

    TMatrix U = ToMatrix(a, m, n), V(n, n);
    TVector W(n);
    ASSERT_TRUE(SVDecompose(U, V, W));
    int zeros = 0;
    for (int j = 1; j <= n; ++j) zeros += std::fabs(W.GetElem(j)) < 1e-12;
    EXPECT_EQ(zeros, 1);
    for (int i = 1; i <= m; ++i)
      for (int j = 1; j <= n; ++j) {
        double s = 0;
        for (int k = 1; k <= n; ++k) s += U.GetElem(k, i) * W.GetElem(k) * V.GetElem(k, j);
        ASSERT_NEAR(s, a[std::size_t(i - 1) * n + (j - 1)], 1e-10) << "trial " << trial;
      }

    TMatrix A = ToMatrix(a, m, n);
    TVector B = ToVector(b), X(n);
    ASSERT_TRUE(SVDLeastSquares(A, B, X, nullptr));
    const auto ref = Lapack::LeastSquares(a, b, m, n);
    EXPECT_NEAR(X.GetElem(zero + 1), 0.0, 1e-12);
    for (int j = 0; j < n; ++j) EXPECT_NEAR(X.GetElem(j + 1), ref[std::size_t(j)], 1e-9) << "trial " << trial;
  }
}

TEST(Math2, ValuesComeOutUnsortedAndSmallOnesAreDropped) {
  TMatrix A = ToMatrix({1, 0, 0, 0, 3, 0, 0, 0, 2}, 3, 3), V(3, 3);
  TVector W(3);
  ASSERT_TRUE(SVDecompose(A, V, W));
  EXPECT_DOUBLE_EQ(W.GetElem(1), 1.0);
  EXPECT_DOUBLE_EQ(W.GetElem(2), 3.0);
  EXPECT_DOUBLE_EQ(W.GetElem(3), 2.0);

  // 5e-9 is below 1e-8 of the largest value: that unknown drops out.
  TMatrix B = ToMatrix({1, 0, 0, 0, 5e-9, 0, 0, 0, 1}, 3, 3);
  TVector rhs = ToVector({1, 1, 1}), X(3);
  ASSERT_TRUE(SVDLeastSquares(B, rhs, X, nullptr));
  EXPECT_DOUBLE_EQ(X.GetElem(1), 1.0);
  EXPECT_EQ(X.GetElem(2), 0.0);
  EXPECT_DOUBLE_EQ(X.GetElem(3), 1.0);
  // 2e-8 is kept.
  TMatrix C = ToMatrix({1, 0, 0, 0, 2e-8, 0, 0, 0, 1}, 3, 3);
  ASSERT_TRUE(SVDLeastSquares(C, rhs, X, nullptr));
  EXPECT_NEAR(X.GetElem(2), 5e7, 1e-3);
}

TEST(Math2, FewerEquationsThanUnknownsStillSolveThem) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 200; ++trial) {
    const int n = trial % 2 ? 6 : 3, m = 1 + int(rng() % unsigned(n - 1));
    const auto a = Random(rng, std::size_t(m) * n, -5, 5);
    const auto b = Random(rng, std::size_t(m), -5, 5);
    TMatrix A = ToMatrix(a, m, n);
    TVector B = ToVector(b), X(n);
    SVDLeastSquares(A, B, X, nullptr);
    for (int i = 0; i < m; ++i) {
      double s = 0;
      for (int j = 0; j < n; ++j) s += a[std::size_t(i) * n + j] * X.GetElem(j + 1);
      EXPECT_NEAR(s, b[std::size_t(i)], 1e-8) << "trial " << trial;
    }
  }
}
