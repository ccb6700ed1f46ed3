#include "science/increment_fit.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace oxtiva
{

namespace
{

// The usual Newey-West choice, at least one neighbour since running means share one.
int NeweyWestLags(int n)
{
    return std::max(1, int(std::floor(4 * std::pow(n / 100.0, 2.0 / 9.0))));
}

// The two-sided 97.5 % point of Student's t over 1.96: how much wider two errors must be
// to cover as often as the normal law says, when the error comes from df residuals.
double StudentWidening(double df)
{
    struct TPoint {
        double df, t;
    };
    static constexpr TPoint table[] = {{1, 12.706}, {2, 4.303}, {3, 3.182}, {4, 2.776},
                                       {5, 2.571}, {6, 2.447}, {8, 2.306}, {10, 2.228},
                                       {15, 2.131}, {20, 2.086}, {30, 2.042}, {60, 2.000},
                                       {120, 1.980}};
    if (!(df > 1)) return table[0].t / 1.96;
    for (std::size_t i = 1; i < std::size(table); ++i)
        if (df <= table[i].df) {
            // Linear in 1/df, as t nearly is.
            const TPoint& a = table[i - 1];
            const TPoint& b = table[i];
            const double share = (1 / df - 1 / a.df) / (1 / b.df - 1 / a.df);
            return (a.t + share * (b.t - a.t)) / 1.96;
        }
    return 1 + (table[std::size(table) - 1].t / 1.96 - 1) * 120 / df;
}

double DurbinWatson(const Eigen::VectorXd& e, const std::vector<int>& stretch)
{
    double steps = 0;
    const double squares = e.squaredNorm();
    for (Eigen::Index i = 1; i < e.size(); ++i)
        if (stretch[i] == stretch[i - 1]) steps += (e[i] - e[i - 1]) * (e[i] - e[i - 1]);
    return squares > 0 ? steps / squares : 2;
}

struct TSolved {
    Eigen::VectorXd Beta;
    Eigen::MatrixXd Inverse; // (X'X)^-1
    Eigen::VectorXd Residuals;
};

// Least squares through the singular values; false when the columns (scaled to unit
// length) are nearly collinear.
bool Solve(const Eigen::MatrixXd& x, const Eigen::VectorXd& y, TSolved& out)
{
    const Eigen::JacobiSVD<Eigen::MatrixXd> svd(x, Eigen::ComputeThinU | Eigen::ComputeThinV);
    const Eigen::VectorXd& singular = svd.singularValues();
    if (!(singular[x.cols() - 1] > 1e-8 * singular[0])) return false;
    out.Beta = svd.solve(y);
    out.Inverse = svd.matrixV() * singular.array().square().inverse().matrix().asDiagonal() *
                  svd.matrixV().transpose();
    out.Residuals = y - x * out.Beta;
    return true;
}

// The variance of each increment as a + b y^2: a floor, and a share of the increment
// itself, as the error of a charge grows with the charge. a and b from the squared
// residuals (each scaled by its leverage) by least squares, neither below 0.
Eigen::VectorXd IncrementVariances(const Eigen::VectorXd& y, const Eigen::VectorXd& e,
                                   const Eigen::VectorXd& leverage)
{
    const Eigen::Index n = y.size();
    Eigen::VectorXd r2(n), y2 = y.array().square();
    for (Eigen::Index i = 0; i < n; ++i)
        r2[i] = e[i] * e[i] / std::max(1 - leverage[i], 1e-6);
    const double my = y2.mean(), mr = r2.mean();
    const double syy = (y2.array() - my).square().sum();
    double b = syy > 0 ? ((y2.array() - my) * (r2.array() - mr)).sum() / syy : 0;
    double a = mr - b * my;
    if (b < 0) {
        b = 0;
        a = mr;
    } else if (a < 0) {
        a = 0;
        b = y2.squaredNorm() > 0 ? y2.dot(r2) / y2.squaredNorm() : 0;
    }
    Eigen::VectorXd v = (a + b * y2.array()).matrix();
    const double floor = 1e-12 * std::max(v.maxCoeff(), 1e-300);
    for (double& value : v)
        value = value > floor ? value : std::max(floor, 1e-300);
    return v;
}

} // namespace

double TIncrementFit::Error(int i) const
{
    return Solved ? std::sqrt(std::max(0.0, Covariance(i, i))) : 0;
}

TIncrementFit FitIncrements(const Eigen::MatrixXd& aX, const Eigen::VectorXd& aY,
                            const std::vector<int>& aStretch)
{
    TIncrementFit fit;
    const Eigen::Index n = aX.rows();
    const Eigen::Index k = aX.cols();
    fit.Increments = int(n);
    if (n <= k || k == 0) return fit;
    // Columns scaled to unit length, so that "nearly singular" means nearly collinear
    // whatever the units.
    const Eigen::VectorXd norms = aX.colwise().norm().transpose();
    if (!(norms.minCoeff() > 0)) return fit;
    const Eigen::MatrixXd x = aX * norms.cwiseInverse().asDiagonal();
    TSolved plain;
    if (!Solve(x, aY, plain)) return fit;
    const Eigen::VectorXd leverage = (x * plain.Inverse).cwiseProduct(x).rowwise().sum();

    // Weighted by the variance each increment carries, so that the few large increments
    // of a change of pO2 do not swamp the many of a hold; the variances from the residuals
    // of the fit before, a few times over.
    TSolved weighted = plain;
    Eigen::VectorXd weightedLeverage = leverage;
    Eigen::VectorXd weight = Eigen::VectorXd::Ones(n);
    Eigen::MatrixXd xw = x;
    for (int pass = 0; pass < 3; ++pass) {
        const Eigen::VectorXd rawResiduals = weighted.Residuals.cwiseQuotient(weight);
        weight = IncrementVariances(aY, rawResiduals, weightedLeverage).cwiseSqrt().cwiseInverse();
        xw = weight.asDiagonal() * x;
        if (!Solve(xw, weight.asDiagonal() * aY, weighted)) return fit;
        weightedLeverage = (xw * weighted.Inverse).cwiseProduct(xw).rowwise().sum();
    }
    const Eigen::VectorXd& e = weighted.Residuals;

    // Newey-West over the weighted residuals, each scaled by its leverage (HC2), with
    // Bartlett weights over neighbours of the same stretch.
    Eigen::MatrixXd scaled(n, k);
    for (Eigen::Index i = 0; i < n; ++i)
        scaled.row(i) = xw.row(i) * (e[i] / std::sqrt(std::max(1 - weightedLeverage[i], 1e-6)));
    fit.Lags = NeweyWestLags(int(n));
    Eigen::MatrixXd meat = scaled.transpose() * scaled;
    for (int lag = 1; lag <= fit.Lags; ++lag) {
        Eigen::MatrixXd sum = Eigen::MatrixXd::Zero(k, k);
        for (Eigen::Index i = lag; i < n; ++i)
            if (aStretch[i] == aStretch[i - lag])
                sum += scaled.row(i).transpose() * scaled.row(i - lag);
        meat += (1 - lag / double(fit.Lags + 1)) * (sum + sum.transpose());
    }
    Eigen::MatrixXd covariance =
        weighted.Inverse * meat * weighted.Inverse * (double(n) / double(n - k));
    // A constant decided by a few increments has its error from a few residuals only: their
    // effective number (Satterthwaite, from each one's share of the constant's variance)
    // widens it as Student's t would, so that two errors cover as often as they claim.
    const Eigen::MatrixXd influence = weighted.Inverse * xw.transpose();
    Eigen::VectorXd widen(k);
    for (Eigen::Index j = 0; j < k; ++j) {
        double sum = 0, squares = 0;
        for (Eigen::Index i = 0; i < n; ++i) {
            const double a = std::pow(influence(j, i) * scaled.row(i).norm() /
                                          std::max(xw.row(i).norm(), 1e-300),
                                      2);
            sum += a;
            squares += a * a;
        }
        widen[j] = StudentWidening(squares > 0 ? sum * sum / squares - 1 : 0);
    }
    covariance = widen.asDiagonal() * covariance * widen.asDiagonal();
    // An increment that alone decides a direction leaves no residual to tell its error
    // by: unknown.
    if (std::max(leverage.maxCoeff(), weightedLeverage.maxCoeff()) > 0.99)
        covariance.diagonal().setConstant(INFINITY);

    const Eigen::VectorXd unscale = norms.cwiseInverse();
    fit.Coefficients = weighted.Beta.cwiseProduct(unscale);
    fit.Covariance = unscale.asDiagonal() * covariance * unscale.asDiagonal();
    for (Eigen::Index i = 0; i < k; ++i)
        for (Eigen::Index j = 0; j < i; ++j) {
            const double c =
                plain.Inverse(i, j) / std::sqrt(plain.Inverse(i, i) * plain.Inverse(j, j));
            if (std::isfinite(c))
                fit.LargestCorrelation = std::max(fit.LargestCorrelation, std::abs(c));
        }
    fit.DurbinWatson = DurbinWatson(e, aStretch);
    fit.RmsResidual = std::sqrt(plain.Residuals.squaredNorm() / double(n));
    fit.Solved = true;
    return fit;
}

} // namespace oxtiva
