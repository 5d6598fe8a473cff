#include "engine/numeric/math2.h"

#include <cmath>

#include "engine/Checked.h"

// Plain double arithmetic throughout: the negligibility tests |x| + anorm ==
// anorm depend on it. The original stopped at a zero divisor or an overflow;
// the checked steps below throw there instead of carrying infinities on.

namespace {

double Dv(double a, double b) {
  if (b == 0.0) Checked::Fault("division by zero");
  const double q = a / b;
  if (!std::isfinite(q)) Checked::Fault(std::isnan(q) ? "invalid operation" : "overflow");
  return q;
}

double Root(double x) {
  if (!std::isfinite(x)) Checked::Fault(std::isnan(x) ? "invalid operation" : "overflow");
  if (x < 0.0) Checked::Fault("invalid operation");
  return std::sqrt(x);
}

// Row/column views over the column-first storage.
struct TRowView {
  TMatrix& M;
  double operator()(int Row, int Col) const { return M.GetElem(Col, Row); }
  void Set(int Row, int Col, double Value) const { M.SetElem(Col, Row, Value); }
};

}  // namespace

double SignOf(double a, double b) { return b >= 0.0 ? std::fabs(a) : -std::fabs(a); }

double MaxOf(double a, double b) { return a > b ? a : b; }

bool SVDecompose(TMatrix& AMat, TMatrix& VMat, TVector& W) {
  const int n = AMat.Dim1();
  const int m = AMat.Dim2();
  TRowView a{AMat}, v{VMat};
  TVector rv1(n);
  bool result = true;

  double g = 0.0, scale = 0.0, anorm = 0.0, s = 0.0, f = 0.0, h = 0.0;
  int l = 0;

  // Householder reduction to bidiagonal form.
  for (int i = 1; i <= n; ++i) {
    l = i + 1;
    rv1.SetElem(i, scale * g);
    g = s = scale = 0.0;
    if (i <= m) {
      for (int k = i; k <= m; ++k) scale += std::fabs(a(k, i));
      if (scale != 0.0) {
        for (int k = i; k <= m; ++k) {
          a.Set(k, i, Dv(a(k, i), scale));
          s += a(k, i) * a(k, i);
        }
        f = a(i, i);
        g = -SignOf(Root(s), f);
        h = f * g - s;
        a.Set(i, i, f - g);
        if (i != n) {
          for (int j = l; j <= n; ++j) {
            s = 0.0;
            for (int k = i; k <= m; ++k) s += a(k, i) * a(k, j);
            f = Dv(s, h);
            for (int k = i; k <= m; ++k) a.Set(k, j, a(k, j) + f * a(k, i));
          }
        }
        for (int k = i; k <= m; ++k) a.Set(k, i, a(k, i) * scale);
      }
    }
    W.SetElem(i, scale * g);
    g = s = scale = 0.0;
    if (i <= m && i != n) {
      for (int k = l; k <= n; ++k) scale += std::fabs(a(i, k));
      if (scale != 0.0) {
        for (int k = l; k <= n; ++k) {
          a.Set(i, k, Dv(a(i, k), scale));
          s += a(i, k) * a(i, k);
        }
        f = a(i, l);
        g = -SignOf(Root(s), f);
        h = f * g - s;
        a.Set(i, l, f - g);
        for (int k = l; k <= n; ++k) rv1.SetElem(k, Dv(a(i, k), h));
        if (i != m) {
          for (int j = l; j <= m; ++j) {
            s = 0.0;
            for (int k = l; k <= n; ++k) s += a(j, k) * a(i, k);
            for (int k = l; k <= n; ++k) a.Set(j, k, a(j, k) + s * rv1.GetElem(k));
          }
        }
        for (int k = l; k <= n; ++k) a.Set(i, k, a(i, k) * scale);
      }
    }
    anorm = MaxOf(std::fabs(W.GetElem(i)) + std::fabs(rv1.GetElem(i)), anorm);
  }

  // Accumulation of the right-hand transformations.
  l = n + 1;
  for (int i = n; i >= 1; --i) {
    if (i < n) {
      if (g != 0.0) {
        for (int j = l; j <= n; ++j) v.Set(j, i, Dv(Dv(a(i, j), a(i, l)), g));
        for (int j = l; j <= n; ++j) {
          s = 0.0;
          for (int k = l; k <= n; ++k) s += a(i, k) * v(k, j);
          for (int k = l; k <= n; ++k) v.Set(k, j, v(k, j) + s * v(k, i));
        }
      }
      for (int j = l; j <= n; ++j) {
        v.Set(i, j, 0.0);
        v.Set(j, i, 0.0);
      }
    }
    v.Set(i, i, 1.0);
    g = rv1.GetElem(i);
    l = i;
  }

  // Accumulation of the left-hand transformations. Rows past m read as zero
  // and take no writes, which keeps systems with fewer equations defined.
  for (int i = n; i >= 1; --i) {
    l = i + 1;
    g = W.GetElem(i);
    if (i < n)
      for (int j = l; j <= n; ++j) a.Set(i, j, 0.0);
    if (g != 0.0) {
      g = Dv(1.0, g);
      if (i != n) {
        for (int j = l; j <= n; ++j) {
          s = 0.0;
          for (int k = l; k <= m; ++k) s += a(k, i) * a(k, j);
          f = Dv(s, a(i, i)) * g;
          for (int k = i; k <= m; ++k) a.Set(k, j, a(k, j) + f * a(k, i));
        }
      }
      for (int j = i; j <= m; ++j) a.Set(j, i, a(j, i) * g);
    } else {
      for (int j = i; j <= m; ++j) a.Set(j, i, 0.0);
    }
    a.Set(i, i, a(i, i) + 1.0);
  }

  // Diagonalisation of the bidiagonal form by implicit-shift QR sweeps.
  for (int k = n; k >= 1; --k) {
    for (int its = 1; its <= 30; ++its) {
      bool cancel = true;
      int nm = 0;
      for (l = k; l >= 1; --l) {
        nm = l - 1;
        if (std::fabs(rv1.GetElem(l)) + anorm == anorm) {
          cancel = false;
          break;
        }
        if (std::fabs(W.GetElem(nm)) + anorm == anorm) break;
      }
      if (cancel) {
        // rv1[i] is carried along and the sweep stops at the first negligible
        // f; skipping such an f instead leaves a wrong decomposition whenever
        // a column is zero.
        double c = 0.0;
        s = 1.0;
        for (int i = l; i <= k; ++i) {
          f = s * rv1.GetElem(i);
          rv1.SetElem(i, c * rv1.GetElem(i));
          if (std::fabs(f) + anorm == anorm) break;
          g = W.GetElem(i);
          h = Root(f * f + g * g);
          W.SetElem(i, h);
          h = Dv(1.0, h);
          c = g * h;
          s = -f * h;
          for (int j = 1; j <= m; ++j) {
            const double y = a(j, nm);
            const double z = a(j, i);
            a.Set(j, nm, y * c + z * s);
            a.Set(j, i, -y * s + z * c);
          }
        }
      }
      double z = W.GetElem(k);
      if (l == k) {
        if (z < 0.0) {
          W.SetElem(k, -z);
          for (int j = 1; j <= n; ++j) v.Set(j, k, -v(j, k));
        }
        break;
      }
      if (its == 30) result = false;
      double x = W.GetElem(l);
      nm = k - 1;
      double y = W.GetElem(nm);
      g = rv1.GetElem(nm);
      h = rv1.GetElem(k);
      f = Dv((y - z) * (y + z) + (g - h) * (g + h), 2.0 * h * y);
      g = Root(f * f + 1.0);
      f = Dv((x - z) * (x + z) + h * (Dv(y, f + SignOf(g, f)) - h), x);
      double c = 1.0;
      s = 1.0;
      for (int j = l; j <= nm; ++j) {
        const int i = j + 1;
        g = rv1.GetElem(i);
        y = W.GetElem(i);
        h = s * g;
        g = c * g;
        z = Root(f * f + h * h);
        rv1.SetElem(j, z);
        c = Dv(f, z);
        s = Dv(h, z);
        f = x * c + g * s;
        g = -x * s + g * c;
        h = y * s;
        y = y * c;
        for (int jj = 1; jj <= n; ++jj) {
          const double xv = v(jj, j);
          const double zv = v(jj, i);
          v.Set(jj, j, xv * c + zv * s);
          v.Set(jj, i, -xv * s + zv * c);
        }
        z = Root(f * f + h * h);
        W.SetElem(j, z);
        if (z != 0.0) {
          z = Dv(1.0, z);
          c = f * z;
          s = h * z;
        }
        f = c * g + s * y;
        x = -s * g + c * y;
        for (int jj = 1; jj <= m; ++jj) {
          const double ya = a(jj, j);
          const double za = a(jj, i);
          a.Set(jj, j, ya * c + za * s);
          a.Set(jj, i, -ya * s + za * c);
        }
      }
      rv1.SetElem(l, 0.0);
      rv1.SetElem(k, f);
      W.SetElem(k, x);
    }
  }
  return result;
}

bool SVBackSubstitute(const TMatrix& U, const TMatrix& V, const TVector& W, TVector* Sigma, TVector& X,
                      const TVector& B) {
  const int n = U.Dim1();
  const int m = U.Dim2();
  auto u = [&](int Row, int Col) { return U.GetElem(Col, Row); };
  auto v = [&](int Row, int Col) { return V.GetElem(Col, Row); };
  TVector tmp(n);
  for (int j = 1; j <= n; ++j) {
    double s = 0.0;
    if (W.GetElem(j) != 0.0) {
      for (int i = 1; i <= m; ++i) s += u(i, j) * B.GetElem(i);
      s = Dv(s, W.GetElem(j));
    }
    tmp.SetElem(j, s);
  }
  for (int j = 1; j <= n; ++j) {
    double s = 0.0;
    for (int jj = 1; jj <= n; ++jj) s += v(j, jj) * tmp.GetElem(jj);
    X.SetElem(j, s);
  }
  if (Sigma) {
    TVector wti(n);
    for (int k = 1; k <= n; ++k) {
      const double w = W.GetElem(k);
      wti.SetElem(k, w != 0.0 ? Dv(1.0, w * w) : 0.0);
    }
    for (int j = 1; j <= n; ++j) {
      double s = 0.0;
      for (int k = 1; k <= n; ++k) s += v(j, k) * v(j, k) * wti.GetElem(k);
      Sigma->SetElem(j, Root(s));
    }
  }
  return true;
}

bool SVDLeastSquares(TMatrix& A, const TVector& B, TVector& X, TVector* Sigma) {
  const int n = A.Dim1();
  TMatrix V(n, n);
  TVector W(n);
  const bool result = SVDecompose(A, V, W);
  if (result) {
    double wmax = 0.0;
    for (int j = 1; j <= n; ++j)
      if (W.GetElem(j) > wmax) wmax = W.GetElem(j);
    const double thresh = 1.0E-8 * wmax;
    for (int j = 1; j <= n; ++j)
      if (W.GetElem(j) < thresh) W.SetElem(j, 0.0);
    SVBackSubstitute(A, V, W, Sigma, X, B);
  }
  return result;
}
