#pragma once

#include <Eigen/Dense>

#include <cmath>

#include <vector>

namespace oxtiva
{

// Least squares for balances that accumulate: an error in one point's charge is carried
// into every later point, so the residuals of a fit to the running totals wander and
// ordinary standard errors come out many times too small. The fits therefore take the
// increments between successive points of a stretch, whose errors do not accumulate, and
// give errors that hold even so for what stays correlated or uneven among them: the
// increments of running means share half a point with their neighbours, and the large
// increments of a change of pO2 carry larger errors than those of a hold.
// RmsResidual is that of the unweighted fit, in the units of the increments.
struct TIncrementFit {
    bool Solved = false;
    Eigen::VectorXd Coefficients;
    // Each increment weighted by its variance, a floor and a share of its size (the error
    // of a charge grows with the charge), so that the few large increments of a change of
    // pO2 neither swamp the many of a hold nor decide an error alone; then Newey-West
    // (Bartlett weights over Lags neighbours) over the weighted residuals, pooled. An
    // increment of leverage near 1 leaves the errors unknown: infinite.
    Eigen::MatrixXd Covariance;
    int Lags = 0;
    // Of the residuals within each stretch: near 2 for independent errors, near 1 for the
    // shared half point of running means, near 0 where the residuals wander (a law that
    // does not hold, a sample that still moves).
    double DurbinWatson = 2;
    // The largest correlation between two fitted constants that the points' layout alone
    // makes: near 1, the data cannot tell the two apart.
    double LargestCorrelation = 0;
    double RmsResidual = 0;
    int Increments = 0;


    double Error(int i) const;
};

// Below this Durbin-Watson statistic the residuals are said to wander.
inline constexpr double WanderingDurbinWatson = 0.5;

// Fits aY = aX * beta over the increments; aStretch gives each row's stretch, and only
// rows of the same stretch that follow each other count as neighbours.
TIncrementFit FitIncrements(const Eigen::MatrixXd& aX, const Eigen::VectorXd& aY,
                            const std::vector<int>& aStretch);

} // namespace oxtiva
