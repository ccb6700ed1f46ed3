#include "science/isotherm_source.h"
#include "science/oxygen_file.h"
#include "science/oxygen_history.h"
#include "science/oxygen_thermodynamics.h"
#include "science/physical_constants.h"
#include "support/qstring_printer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace oxtiva
{
namespace
{

// A sample whose partial molar enthalpy and entropy of oxygen depend linearly on delta:
// its isotherms are exactly straight in ln pO2 against delta, so every interpolation and
// fit below must give the model back to rounding.
struct TLinearModel {
    double H0; // J/mol of O at delta 0
    double H1; // J/mol per unit of delta
    double S0; // J/(mol K)
    double S1;
    double dh(double delta) const { return H0 + H1 * delta; }
    double ds(double delta) const { return S0 + S1 * delta; }
    double pO2(double cellK, double delta) const
    {
        return std::exp(2 * (dh(delta) - cellK * ds(delta)) / (GasConstant * cellK));
    }
};

std::vector<TIsothermSample> Isotherm(const TLinearModel& m, double cellK,
                                      const std::vector<double>& deltas, double spread = 0)
{
    std::vector<TIsothermSample> points;
    for (double delta : deltas) points.push_back({cellK, m.pO2(cellK, delta), delta, spread});
    return points;
}

std::vector<TIsothermSample> Join(std::vector<std::vector<TIsothermSample>> parts)
{
    std::vector<TIsothermSample> all;
    for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct TModelCase {
    const char* Name;
    TLinearModel Model;
    std::vector<double> TemperaturesK;
};

class ThermodynamicsOfExactIsotherms : public ::testing::TestWithParam<TModelCase>
{
};

TEST_P(ThermodynamicsOfExactIsotherms, GiveTheModelsEnthalpyAndEntropyAtEveryDelta)
{
    const TModelCase& c = GetParam();
    std::vector<std::vector<TIsothermSample>> parts;
    // Each temperature's points at deltas of its own, over ranges that overlap in part.
    for (std::size_t i = 0; i < c.TemperaturesK.size(); ++i) {
        const double from = 0.01 + 0.004 * double(i);
        parts.push_back(Isotherm(c.Model, c.TemperaturesK[i],
                                 {from, from + 0.013, from + 0.021, from + 0.04}, 1e-4));
    }
    const TThermodynamics result = FitThermodynamics(Join(parts), 20);
    ASSERT_EQ(result.TemperaturesK.size(), c.TemperaturesK.size());
    ASSERT_EQ(result.Rows.size(), 20u);
    const double lowestShared = 0.01 + 0.004;
    const double highestShared = 0.01 + 0.004 * double(c.TemperaturesK.size() - 2) + 0.04;
    EXPECT_DOUBLE_EQ(result.Rows.front().Delta, lowestShared);
    EXPECT_DOUBLE_EQ(result.Rows.back().Delta, highestShared);
    for (const TThermodynamicsRow& row : result.Rows) {
        SCOPED_TRACE(row.Delta);
        EXPECT_NEAR(row.dhO_kJ, c.Model.dh(row.Delta) / 1000, 1e-6);
        EXPECT_NEAR(row.dsO_J, c.Model.ds(row.Delta), 1e-6);
        EXPECT_EQ(row.FewerThanThree(), row.Temperatures < 3);
        int covered = 0;
        for (std::size_t i = 0; i < c.TemperaturesK.size(); ++i) {
            const double from = 0.01 + 0.004 * double(i);
            const bool reaches = row.Delta >= from && row.Delta <= from + 0.04;
            covered += reaches;
            EXPECT_EQ(std::isnan(row.Log10pO2[i]), !reaches) << "never extrapolated";
            if (reaches)
                EXPECT_NEAR(row.Log10pO2[i],
                            std::log10(c.Model.pO2(c.TemperaturesK[i], row.Delta)), 1e-9);
        }
        EXPECT_EQ(row.Temperatures, covered);
    }
}

// Oxidation gives off heat: dh_O is negative; a reduced sample (higher delta) holds its
// oxygen more loosely.
INSTANTIATE_TEST_SUITE_P(
    Models, ThermodynamicsOfExactIsotherms,
    ::testing::Values(
        TModelCase{"EnthalpyFallingWithDelta", {-120e3, 400e3, -60, 0}, {973.15, 1023.15, 1073.15}},
        TModelCase{"EntropyRisingWithDelta", {-100e3, 0, -70, 900}, {973.15, 1023.15, 1073.15}},
        TModelCase{"BothWithDelta", {-250e3, 600e3, -90, 500},
                   {923.15, 973.15, 1023.15, 1073.15}},
        TModelCase{"TwoTemperaturesOnly", {-100e3, 300e3, -50, 100}, {973.15, 1073.15}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ThermodynamicsFit, ErrorsOfTwoTemperaturesFollowFromTheSpreadsOfDelta)
{
    // Straight isotherms of slope d ln pO2 / d delta = -100 at both temperatures: a spread
    // of delta of 0.001 is 0.1 in ln pO2.
    const double x1 = 1 / 1000.0, x2 = 1 / 1100.0;
    std::vector<TIsothermSample> points;
    for (double cellK : {1000.0, 1100.0})
        for (double delta : {0.0, 0.1})
            points.push_back({cellK, std::exp(-100 * delta - 5 + 1000 / cellK), delta, 0.001});
    const TThermodynamics result = FitThermodynamics(points, 3);
    ASSERT_EQ(result.Rows.size(), 3u);
    const double slopeError = std::sqrt(2) * 0.1 / (x1 - x2);
    const double interceptError = std::hypot(0.1 * x2, 0.1 * x1) / (x1 - x2);
    for (const TThermodynamicsRow& row : result.Rows) {
        EXPECT_NEAR(row.dhO_kJ, GasConstant / 2 * 1000 / 1000, 1e-9);
        EXPECT_NEAR(row.dsO_J, GasConstant / 2 * (5 + 100 * row.Delta), 1e-9);
        EXPECT_NEAR(row.dhO_Error, GasConstant / 2 * slopeError / 1000, 1e-9);
        EXPECT_NEAR(row.dsO_Error, GasConstant / 2 * interceptError, 1e-9);
        EXPECT_TRUE(row.FewerThanThree());
    }
}

TEST(ThermodynamicsFit, PointsOffTheLineWidenTheErrorsBeyondTheirSpreads)
{
    // Three temperatures, the middle one 0.3 off in ln pO2 though its spread says 0.01.
    std::vector<TIsothermSample> points;
    for (double cellK : {1000.0, 1050.0, 1100.0})
        for (double delta : {0.0, 0.1}) {
            const double off = cellK == 1050 ? 0.3 : 0;
            points.push_back({cellK, std::exp(-100 * delta + 1000 / cellK + off), delta, 1e-4});
        }
    const TThermodynamicsRow row = FitThermodynamics(points, 1).Rows.at(0);
    EXPECT_EQ(row.Temperatures, 3);
    EXPECT_FALSE(row.FewerThanThree());
    // The residuals of the fitted line are about 0.1 each: the error of dh_O follows them,
    // not the spreads' 0.01.
    double sxx = 0;
    const double mean = (1 / 1000.0 + 1 / 1050.0 + 1 / 1100.0) / 3;
    for (double cellK : {1000.0, 1050.0, 1100.0}) sxx += std::pow(1 / cellK - mean, 2);
    const double withSpreadsOnly = GasConstant / 2 * 0.01 / std::sqrt(sxx) / 1000;
    EXPECT_GT(row.dhO_Error, 5 * withSpreadsOnly);
}

TEST(ThermodynamicsFit, GivesNothingWhereNoTwoTemperaturesMeet)
{
    const TLinearModel m{-100e3, 300e3, -50, 100};
    const auto points = Join({Isotherm(m, 973.15, {0.01, 0.02}), Isotherm(m, 1073.15, {0.03, 0.04})});
    const TThermodynamics result = FitThermodynamics(points);
    EXPECT_EQ(result.TemperaturesK.size(), 2u);
    EXPECT_TRUE(result.Rows.empty());
    EXPECT_TRUE(FitThermodynamics({}).Rows.empty());
}

struct TGroupCase {
    const char* Name;
    std::vector<double> CellK;
    std::vector<double> Means;
};

class TemperatureGroups : public ::testing::TestWithParam<TGroupCase>
{
};

TEST_P(TemperatureGroups, HoldPointsWithinTwoKelvinNamedByTheirMean)
{
    std::vector<TIsothermSample> points;
    for (double cellK : GetParam().CellK) points.push_back({cellK, 1e-3, 0.01, 0});
    const std::vector<TIsothermGroup> groups = GroupByTemperature(points);
    ASSERT_EQ(groups.size(), GetParam().Means.size());
    std::size_t total = 0;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        EXPECT_NEAR(groups[i].CellK, GetParam().Means[i], 1e-9);
        total += groups[i].Points.size();
    }
    EXPECT_EQ(total, points.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TemperatureGroups,
    ::testing::Values(TGroupCase{"OneTemperature", {973.0, 974.0, 972.5}, {973.1666666666667}},
                      TGroupCase{"ThreeFurnaceSettings",
                                 {1073.4, 973.1, 1023.0, 973.9, 1022.2, 1072.6},
                                 {973.5, 1022.6, 1073.0}},
                      TGroupCase{"JustApart", {973.0, 975.5}, {973.0, 975.5}},
                      TGroupCase{"None", {}, {}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(IsothermCurve, StaysWithinItsPointsAndPassesThroughThem)
{
    // A step-like isotherm, where an ordinary cubic spline would overshoot.
    TIsothermGroup group{1000, {}};
    const std::vector<double> deltas = {0.00, 0.01, 0.02, 0.03, 0.05, 0.08};
    const std::vector<double> logs = {-1.0, -1.1, -3.9, -4.0, -4.0, -4.5};
    for (std::size_t i = 0; i < deltas.size(); ++i)
        group.Points.push_back({1000, std::pow(10, logs[i]), deltas[i], 0});
    const TIsothermCurve curve(group);
    for (std::size_t i = 0; i < deltas.size(); ++i)
        EXPECT_NEAR(curve.At(deltas[i])->Log10pO2, logs[i], 1e-12);
    double before = curve.At(0)->Log10pO2;
    for (double delta = 0; delta <= 0.08; delta += 0.0005) {
        const double value = curve.At(delta)->Log10pO2;
        EXPECT_LE(value, before + 1e-12) << "monotone at " << delta;
        before = value;
    }
    EXPECT_NEAR(curve.At(0.04)->Log10pO2, -4.0, 1e-12) << "flat between equal points";
    EXPECT_FALSE(curve.At(-0.001)) << "nothing below its points";
    EXPECT_FALSE(curve.At(0.0801)) << "nothing above its points";
}

TEST(IsothermCurve, TakesPointsAtOneDeltaAsTheirMean)
{
    TIsothermGroup group{1000, {{1000, 1e-2, 0.01, 0.001}, {1000, 1e-4, 0.01, 0.003},
                                {1000, 1e-5, 0.02, 0.001}}};
    const TIsothermCurve curve(group);
    EXPECT_NEAR(curve.At(0.01)->Log10pO2, -3, 1e-12);
    EXPECT_NEAR(curve.At(0.01)->DeltaSpread, 0.002, 1e-12);
}

TEST(IsothermFile, IsReadByItsColumnNamesWhateverElseItHolds)
{
    // Columns in another order, a time with its offset from UTC, and columns of mean and
    // spread this reader does not know.
    const QByteArray bytes =
        "# Isotherm of Ce (Zr) 2 (CeO2), saved 2026-12-11 10:00 with Ce (Zr) 2_0003.csv\r\n"
        "# R = 0.082057 L atm/(mol K); F = 96485 C/mol\r\n"
        "# b0 = 1.98 mol/mol, initial oxygen content; from 2026-12-11T09:00:00.000+01:00\r\n"
        "# n0 = 0.0058 mol of compound; from 2026-12-11T09:00:00.000+01:00\r\n"
        "# bs = 2 mol/mol, nominal stoichiometric oxygen content; from 2026-12-11T09:00\r\n"
        "# b0 = 1.97 mol/mol, initial oxygen content; from 2026-12-11T09:30:00.000+01:00\r\n"
        "step,time,time_s,pO2_atm,pO2_spread,cell_T_C,cell_T_spread,b,b_spread,points,delta\r\n"
        "1,2026-12-11T09:10:00.000+01:00,600,0.001,1e-5,700.5,0.2,1.99,0.0004,12,0.01\r\n"
        "2,2026-12-11T09:20:00.000+01:00,1200,1e-4,1e-6,700.25,0.2,1.98,,12,0.02\r\n"
        "3,2026-12-11T09:30:00.000+01:00,1800,,,700,0.2,1.97,0.0001,12,0.03\r\n";
    TIsothermSource source;
    QString error;
    ASSERT_TRUE(ParseIsothermFile(bytes, source, error)) << error.toStdString();
    EXPECT_EQ(source.SampleName, QStringLiteral("Ce (Zr) 2"));
    EXPECT_EQ(source.SampleFormula, QStringLiteral("CeO2"));
    EXPECT_EQ(source.Constants, (QStringList{QStringLiteral("b0 = 1.97"),
                                             QStringLiteral("n0 = 0.0058"),
                                             QStringLiteral("bs = 2")}));
    ASSERT_EQ(source.Points.size(), 2u) << "the row without pO2 is passed over";
    EXPECT_DOUBLE_EQ(source.Points[0].CellK, 700.5 + ZeroCelsiusK);
    EXPECT_DOUBLE_EQ(source.Points[0].pO2, 0.001);
    EXPECT_DOUBLE_EQ(source.Points[0].Delta, 0.01);
    EXPECT_DOUBLE_EQ(source.Points[0].DeltaSpread, 0.0004);
    EXPECT_DOUBLE_EQ(source.Points[1].DeltaSpread, 0);

    TIsothermSource other;
    EXPECT_FALSE(ParseIsothermFile("time,time_s,grid_row,cell_T_C,pO2_atm\r\n", other, error));
    EXPECT_FALSE(ParseIsothermFile("# only comments\r\n", other, error));
}

TEST(IsothermFile, GivesTheRunningExperimentsPointsBack)
{
    TOxygenHistory history;
    TOxygenBalanceConstants c;
    c.HotVolumeL = 0.012;
    c.ColdEndK = 303.15;
    c.b0 = 1.98;
    c.n0 = 0.01;
    c.bs = 2;
    history.SetConstants(c);
    history.Add({0, 10, 0, 1073.15, 0.21});
    history.Add({10, 20, 0.5, 1073.2, 1e-3});
    history.Add({20, 30, 0.6, 1073.4, 1e-3});
    history.MarkStepCompleted(1, 15);
    history.Add({30, 40, 0.8, 1023.15, 1e-4});
    history.MarkStepCompleted(2);
    TOxygenFileContent content;
    content.SampleName = QStringLiteral("=Ceria"); // written so a spreadsheet shows it as text
    content.SampleFormula = QStringLiteral("CeO2");
    content.History = &history;
    TIsothermSource read;
    QString error;
    ASSERT_TRUE(ParseIsothermFile(BuildIsothermFile(content), read, error));
    const TIsothermSource live =
        IsothermOfHistory(history, QStringLiteral("this run"), QStringLiteral("=Ceria"),
                          QStringLiteral("CeO2"));
    EXPECT_EQ(read.SampleName, live.SampleName);
    EXPECT_EQ(read.Constants, live.Constants);
    ASSERT_EQ(read.Points.size(), 2u);
    ASSERT_EQ(live.Points.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_NEAR(read.Points[i].CellK, live.Points[i].CellK, 1e-9);
        EXPECT_DOUBLE_EQ(read.Points[i].pO2, live.Points[i].pO2);
        EXPECT_DOUBLE_EQ(read.Points[i].Delta, live.Points[i].Delta);
        EXPECT_DOUBLE_EQ(read.Points[i].DeltaSpread, live.Points[i].DeltaSpread);
    }
    EXPECT_GT(live.Points[0].DeltaSpread, 0) << "the first step's window held two points";
}

} // namespace
} // namespace oxtiva
