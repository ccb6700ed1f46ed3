#include "control/linear_least_squares.h"

#include "records/number_format.h"

#include <cmath>
#include <cstdio>

namespace oxtiva
{

TLogger& LLSLog()
{
    static TLogger logger(QStringLiteral("LLS"));
    return logger;
}

namespace
{

// Sums are kept in extended precision: on a stretch of a few hundred points with X in
// seconds, N*SumX2 - SumX^2 loses many digits in plain doubles.
struct TSums {
    long double N = 0;
    long double X = 0;
    long double Y = 0;
    long double X2 = 0;
    long double Y2 = 0;
    long double XY = 0;
    double MinX = 0;
    double MaxX = 0;
};

TSums Accumulate(const TPointArray& points, TLLSResult& result)
{
    TSums s;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const TPoint& p = points[i];
        if (i == 0) {
            result.MinY = result.MaxY = p.Y;
            s.MinX = s.MaxX = p.X;
        } else {
            if (p.Y < result.MinY) result.MinY = p.Y;
            if (p.Y > result.MaxY) result.MaxY = p.Y;
            if (p.X < s.MinX) s.MinX = p.X;
            if (p.X > s.MaxX) s.MaxX = p.X;
        }
        const long double x = p.X;
        const long double y = p.Y;
        s.X += x;
        s.Y += y;
        s.X2 += x * x;
        s.Y2 += y * y;
        s.XY += x * y;
    }
    s.N = static_cast<long double>(points.size());
    return s;
}

QString Exponent(long double value)
{
    if (std::isnan(value)) return QStringLiteral("NAN");
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17LE", value);
    return QString::fromLatin1(buffer);
}

void LogSpreadOfX(const TSums& s)
{
    TLogger& log = LLSLog();
    if (!log.Enabled()) return;
    long double a = s.X * s.X;
    log.Send(QStringLiteral("sqr(SumX):") + Exponent(a));
    a = a / s.N;
    log.Send(QStringLiteral("a / N:") + Exponent(a));
    a = s.X2 - a;
    log.Send(QStringLiteral("SumX2-a:") + Exponent(a));
    log.Send(QStringLiteral("sqrt(a):") + Exponent(a < 0 ? NAN : std::sqrt(a)));
}

void LogSumsOfY(const TSums& s)
{
    LLSLog().SendValue(QStringLiteral("  SumY2 : "), static_cast<double>(s.Y2));
    LLSLog().SendValue(QStringLiteral("   SumY : "), static_cast<double>(s.Y));
}

bool Fail(const QString& message)
{
    LLSLog().Send(message);
    return false;
}

} // namespace

bool LinearLeastSquares(const TPointArray& aPoints, TLLSResult& aResult)
{
    const TSums s = Accumulate(aPoints, aResult);
    if (s.N * s.X2 == s.X * s.X) return Fail(QStringLiteral("LLS=False, (N*SumX2 = SumX*SumX)"));
    if (s.N * s.Y2 == s.Y * s.Y) return Fail(QStringLiteral("LLS=False, (N*SumY2 = SumY*SumY)"));

    const long double slope = (s.N * s.XY - s.X * s.Y) / (s.N * s.X2 - s.X * s.X);
    const long double intercept = (s.Y - slope * s.X) / s.N;
    aResult.Slope = static_cast<double>(slope);
    aResult.Intercept = static_cast<double>(intercept);
    LogSpreadOfX(s);

    const long double varX = s.X2 - s.X * s.X / s.N;
    if (!(varX > 0)) return Fail(QStringLiteral("LLS=False, sqrt( SumX2-(sqr(SumX)/N) ) "));
    const long double sx = std::sqrt(varX);
    const long double varY = s.Y2 - s.Y * s.Y / s.N;
    if (!(varY > 0)) {
        Fail(QStringLiteral("LLS=False, sqrt( SumY2-(sqr(SumY)/N) ) "));
        LogSumsOfY(s);
        LLSLog().Send(QStringLiteral("      N : ") + QString::number(aPoints.size()));
        return false;
    }
    const long double sy = std::sqrt(varY);

    aResult.R = static_cast<double>((s.XY - s.X * s.Y / s.N) / (sx * sy));
    aResult.N = static_cast<int>(aPoints.size());
    aResult.AverageY = static_cast<double>(s.Y / s.N);
    aResult.RangeX = s.MaxX - s.MinX;
    LogSumsOfY(s);
    LLSLog().SendValue(QStringLiteral("Average : "), aResult.AverageY);

    if (aResult.Intercept == 0)
        return Fail(QStringLiteral("LLS=False, cannot calculate relative rate of change"));
    aResult.RRC = static_cast<double>((intercept + slope * aResult.RangeX) / intercept - 1);
    return true;
}

} // namespace oxtiva
