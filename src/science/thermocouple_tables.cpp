#include "science/thermocouple_tables.h"

#include <array>
#include <cstddef>
#include <limits>

namespace oxtiva::thermocouple_tables
{

namespace
{

constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

// The coefficients are written here constant term first, as they are published, and stored
// highest power first.
template <std::size_t N> constexpr std::array<double, N> HighestFirst(const double (&c)[N])
{
    std::array<double, N> reversed{};
    for (std::size_t k = 0; k < N; ++k)
        reversed[k] = c[N - 1 - k];
    return reversed;
}

// Inverse polynomials of the ITS-90 reference functions: EMF in µV to temperature in °C.
// T1's linear term is 0.025949723641258, not the published 2.5949192e-02; the difference stays
// below 0.003 °C over that sub-range.

// J1, µV below 0
constexpr auto J1 =
    HighestFirst<9>({0.0, 0.019528268, -1.2286185e-06, -1.0752178e-09, -5.9086933e-13,
                     -1.7256713e-16, -2.8131513e-20, -2.396337e-24, -8.3823321e-29});
// J2, µV 0 up to below 42919
constexpr auto J2 = HighestFirst<8>({0.0, 0.01978425, -2.001204e-07, 1.036969e-11, -2.549687e-16,
                                     3.585153e-21, -5.344285e-26, 5.09989e-31});
// J3, µV 42919 and above
constexpr auto J3 = HighestFirst<6>(
    {-3113.58187, 0.300543684, -9.9477323e-06, 1.7027663e-10, -1.43033468e-15, 4.73886084e-21});
// K1, µV below 0
constexpr auto K1 =
    HighestFirst<9>({0.0, 0.025173462, -1.1662878e-06, -1.0833638e-09, -8.977354e-13,
                     -3.7342377e-16, -8.6632643e-20, -1.0450598e-23, -5.1920577e-28});
// K2, µV 0 up to below 20644
constexpr auto K2 =
    HighestFirst<10>({0.0, 0.02508355, 7.860106e-08, -2.503131e-10, 8.31527e-14, -1.228034e-17,
                      9.804036e-22, -4.41303e-26, 1.057734e-30, -1.052755e-35});
// K3, µV 20644 and above
constexpr auto K3 = HighestFirst<7>({-131.8058, 0.04830222, -1.646031e-06, 5.464731e-11,
                                     -9.650715e-16, 8.802193e-21, -3.11081e-26});
// E1, µV below 0
constexpr auto E1 =
    HighestFirst<9>({0.0, 0.016977288, -4.351497e-07, -1.5859697e-10, -9.2502871e-14,
                     -2.6084314e-17, -4.1360199e-21, -3.403403e-25, -1.156489e-29});
// E2, µV 0 and above
constexpr auto E2 = HighestFirst<10>({0.0, 0.017057035, -2.3301759e-07, 6.5435585e-12,
                                      -7.3562749e-17, -1.7896001e-21, 8.4036165e-26, -1.3735879e-30,
                                      1.0629823e-35, -3.2447087e-41});
// T1, µV below 0
constexpr auto T1 = HighestFirst<8>({0.0, 0.025949723641258, -2.1316967e-07, 7.9018692e-10,
                                     4.2527777e-13, 1.3304473e-16, 2.0241446e-20, 1.2668171e-24});
// T2, µV 0 and above
constexpr auto T2 = HighestFirst<7>(
    {0.0, 0.025928, -7.602961e-07, 4.637791e-11, -2.165394e-15, 6.048144e-20, -7.293422e-25});
// S1, µV below 1874
constexpr auto S1 = HighestFirst<10>({0.0, 0.18494946, -8.00504062e-05, 1.0223743e-07,
                                      -1.52248592e-10, 1.88821343e-13, -1.59085941e-16,
                                      8.2302788e-20, -2.34181944e-23, 2.7978626e-27});
// S2, µV 1874 up to below 11950
constexpr auto S2 = HighestFirst<10>({12.91507177, 0.1466298863, -1.534713402e-05, 3.145945973e-09,
                                      -4.163257839e-13, 3.187963771e-17, -1.2916375e-21,
                                      2.183475087e-26, -1.447379511e-31, 8.211272125e-36});
// S3, µV 11950 up to below 17536
constexpr auto S3 = HighestFirst<6>({-80.87801117, 0.1621573104, -8.536869453e-06, 4.719686976e-10,
                                     -1.441693666e-14, 2.08161889e-19});
// S4, µV 17536 and above
constexpr auto S4 =
    HighestFirst<5>({53338.75126, -12.35892298, 0.001092657613, -4.265693686e-08, 6.24720542e-13});
// R1, µV below 1923
constexpr auto R1 =
    HighestFirst<11>({0.0, 0.1889138, -9.383529e-05, 1.3068619e-07, -2.270358e-10, 3.5145659e-13,
                      -3.89539e-16, 2.8239471e-19, -1.2607281e-22, 3.1353611e-26, -3.3187769e-30});
// R2, µV 1923 up to below 13228
constexpr auto R2 = HighestFirst<10>({13.34584505, 0.1472644573, -1.844024844e-05, 4.031129726e-09,
                                      -6.24942836e-13, 6.468412046e-17, -4.458750426e-21,
                                      1.994710146e-25, -5.31340179e-30, 6.481976217e-35});
// R3, µV 13228 up to below 19739
constexpr auto R3 = HighestFirst<6>({-81.99599416, 0.1553962042, -8.342197663e-06, 4.279433549e-10,
                                     -1.19157791e-14, 1.492290091e-19});
// R4, µV 19739 and above
constexpr auto R4 = HighestFirst<5>(
    {34061.77836, -7.023729171, 0.0005582903813, -1.952394635e-08, 2.560740231e-13});
// N1, µV below 0
constexpr auto N1 =
    HighestFirst<10>({0.0, 0.038436847, 1.1010485e-06, 5.2229312e-09, 7.2060525e-12, 5.8488586e-15,
                      2.7754916e-18, 7.7075166e-22, 1.1582665e-25, 7.3138868e-30});
// N2, µV 0 up to below 20613
constexpr auto N2 = HighestFirst<8>({0.0, 0.0386896, -1.08267e-06, 4.70205e-11, -2.12169e-18,
                                     -1.17272e-19, 5.3928e-24, -7.98156e-29});
// N3, µV 20613 and above
constexpr auto N3 = HighestFirst<6>(
    {19.72485, 0.03300943, -3.915159e-07, 9.855391e-12, -1.274371e-16, 7.767022e-22});
// B1, µV below 2430.6259445764
constexpr auto B1 =
    HighestFirst<9>({98.423321, 0.699715, -0.00084765304, 1.0052644e-06, -8.3345952e-10,
                     4.5508542e-13, -1.5523037e-16, 2.988675e-20, -2.474286e-24});
// B2, µV 2430.6259445764 and above
constexpr auto B2 =
    HighestFirst<9>({213.15071, 0.28510504, -5.2742887e-05, 9.9160804e-09, -1.2965303e-12,
                     1.119587e-16, -6.0625199e-21, 1.8661696e-25, -2.4878585e-30});
// C1, µV below 14020
constexpr auto C1N = HighestFirst<6>({5.1774306099705, 0.35299919611845, -0.28112574678587,
                                      0.33074239804438, 0.06127341449328, 0.0086016146591642});
constexpr auto C1D = HighestFirst<6>({1.0, -0.92428563928047, 0.39471094715038, -0.092714875699396,
                                      0.010771526370459, -0.003218373357826});
// C2, µV 14020 and above
constexpr auto C2N = HighestFirst<6>({5.1978060475181, -0.87532533264474, -0.81124364723396,
                                      -1.2863566896871, 0.92669914427219, -0.35853751456904});
constexpr auto C2D = HighestFirst<6>({1.0, -1.1276397138831, 0.37729408487177, -0.088631421865134,
                                      0.038190275851135, -0.0086004861251934});
// D1, µV below 28870
constexpr auto D1N = HighestFirst<6>({5.46226544716, -16.319905362466, 9.4545687604265,
                                      14.111087697274, 3.137237128683, 0.14037686769395});
constexpr auto D1D = HighestFirst<6>({1.0, -3.8990325364191, 4.8791769761501, -0.45283511905613,
                                      -0.40321861360257, 0.0040651122288936});
// D2, µV 28870 up to below 38277
constexpr auto D2N = HighestFirst<6>({4.25390840916, 0.51628178174857, -0.57201583695184,
                                      -0.15382072873389, 0.31357097557904, -0.61231506012748});
constexpr auto D2D = HighestFirst<6>({1.0, -1.5200090988065, 1.6067476667216, -1.1614262924291,
                                      0.39036071928776, -0.051297464177067});
// D3, µV 38277 and above
constexpr auto D3N = HighestFirst<2>({7.7083225897176, -5.2403504979922});
constexpr auto D3D = HighestFirst<3>({1.0, -1.1498176695588, 0.31926960669121});
// G1, µV below 30.88
constexpr auto G1N = HighestFirst<5>(
    {0.21883733893434, -0.19638508371953, 0.043411412489143, 0.21696753085275, 0.062168193505153});
constexpr auto G1D = HighestFirst<5>(
    {1.0, 0.3545979121579, -0.22954466160969, -0.091648745935489, -0.0029485192368888});
// G2, µV 30.88 up to below 3720.2
constexpr auto G2N = HighestFirst<5>(
    {7.3154196885329, 3.3613555677209, -2.4045736556184, -1.6280019292528, -0.23839965503992});
constexpr auto G2D = HighestFirst<6>({1.0, -0.23280235517201, -0.37801333622365, 0.069109176178883,
                                      0.054936077567085, 0.003193814255178});
// G3, µV 3720.2 and above
constexpr auto G3N = HighestFirst<6>({7.3370876766561, -1.5549971380794, -1.1531018181605,
                                      -1.6963804429745, 0.23365408361932, 0.32237145883147});
constexpr auto G3D = HighestFirst<6>({1.0, -0.92027199100371, 0.2358015454993, -0.25823561916855,
                                      0.20656985834468, -0.041315683550771});

constexpr TPolynomialPiece JPieces[] = {{kMinusInfinity, J1}, {0, J2}, {42919, J3}};
constexpr TPolynomialPiece KPieces[] = {{kMinusInfinity, K1}, {0, K2}, {20644, K3}};
constexpr TPolynomialPiece EPieces[] = {{kMinusInfinity, E1}, {0, E2}};
constexpr TPolynomialPiece TPieces[] = {{kMinusInfinity, T1}, {0, T2}};
constexpr TPolynomialPiece SPieces[] = {{kMinusInfinity, S1}, {1874, S2}, {11950, S3}, {17536, S4}};
constexpr TPolynomialPiece RPieces[] = {{kMinusInfinity, R1}, {1923, R2}, {13228, R3}, {19739, R4}};
constexpr TPolynomialPiece NPieces[] = {{kMinusInfinity, N1}, {0, N2}, {20613, N3}};
constexpr TPolynomialPiece BPieces[] = {{kMinusInfinity, B1}, {2430.6259445764, B2}};
constexpr TRationalFit CFits[] = {{kMinusInfinity, C1N, C1D}, {14020, C2N, C2D}};
constexpr TRationalFit DFits[] = {{kMinusInfinity, D1N, D1D}, {28870, D2N, D2D}, {38277, D3N, D3D}};
constexpr TRationalFit GFits[] = {
    {kMinusInfinity, G1N, G1D}, {30.88, G2N, G2D}, {3720.2, G3N, G3D}};

} // namespace

const TEmfRange EmfRanges[11] = {
    {-8095, 69553, "J Thermocouple \u00B5V out of range."},
    {-6458, 54886, nullptr},
    {-6458, 54886, "E Thermocouple \u00B5V out of range."},
    {-6258, 20872, "T Thermocouple \u00B5V out of range."},
    {-235.55507149267, 18693.544691, nullptr},
    {-226.46518817384, 21102.70234786, "R Thermocouple \u00B5V out of range."},
    {-4345, 47513, "N Thermocouple \u00B5V out of range."},
    {-2.579382319873, 13820.279215181, "B Thermocouple \u00B5V out of range."},
    // The limits of C, D and G are microvolts too; only their messages say mV.
    {-233, 37065.98, "C Thermocouple mV out of range."},
    {-163.23291, 39500.367, "D Thermocouple mV out of range."},
    {-15.8, 38564.395990718, "G Thermocouple mV out of range."},
};

std::span<const TPolynomialPiece> InversePolynomials(TThermocoupleType type)
{
    switch (type) {
    case tcJ:
        return JPieces;
    case tcK:
        return KPieces;
    case tcE:
        return EPieces;
    case tcT:
        return TPieces;
    case tcS:
        return SPieces;
    case tcR:
        return RPieces;
    case tcN:
        return NPieces;
    case tcB:
        return BPieces;
    default:
        return {};
    }
}

std::span<const TRationalFit> RationalFits(TThermocoupleType type)
{
    switch (type) {
    case tcC:
        return CFits;
    case tcD:
        return DFits;
    case tcG:
        return GFits;
    default:
        return {};
    }
}

} // namespace oxtiva::thermocouple_tables
