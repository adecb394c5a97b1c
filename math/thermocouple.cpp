// The ITS-90 thermocouple reference functions (NIST Monograph 175), types K, J and T.
#include "math/thermocouple.h"

#include <cmath>
#include <initializer_list>

namespace velmora {

namespace {

struct Piece {
    double from; // of the input: °C forward, mV inverse
    double to;
    std::initializer_list<double> coefficients; // of ascending powers
};

double Polynomial(std::initializer_list<double> coefficients, double x) {
    double sum = 0;
    double power = 1;
    for (const double c : coefficients) {
        sum += c * power;
        power *= x;
    }
    return sum;
}

// Forward functions, emf in mV of t in °C.
const Piece kForwardK[] = {
    {-270,
     0,
     {0.0, 0.394501280250E-01, 0.236223735980E-04, -0.328589067840E-06, -0.499048287770E-08,
      -0.675090591730E-10, -0.574103274280E-12, -0.310888728940E-14, -0.104516093650E-16,
      -0.198892668780E-19, -0.163226974860E-22}},
    {0,
     1372,
     {-0.176004136860E-01, 0.389212049750E-01, 0.185587700320E-04, -0.994575928740E-07,
      0.318409457190E-09, -0.560728448890E-12, 0.560750590590E-15, -0.320207200030E-18,
      0.971511471520E-22, -0.121047212750E-25}},
};
// Type K's forward function above 0 °C has an exponential term besides.
constexpr double kKExponential[] = {0.118597600000E+00, -0.118343200000E-03, 0.126968600000E+03};

const Piece kForwardJ[] = {
    {-210,
     760,
     {0.0, 0.503811878150E-01, 0.304758369300E-04, -0.856810657200E-07, 0.132281952950E-09,
      -0.170529583370E-12, 0.209480906970E-15, -0.125383953360E-18, 0.156317256970E-22}},
    {760,
     1200,
     {0.296456256810E+03, -0.149761277860E+01, 0.317871039240E-02, -0.318476867010E-05,
      0.157208190040E-08, -0.306913690560E-12}},
};

const Piece kForwardT[] = {
    {-270,
     0,
     {0.0, 0.387481063640E-01, 0.441944343470E-04, 0.118443231050E-06, 0.200329735540E-07,
      0.901380195590E-09, 0.226511565930E-10, 0.360711542050E-12, 0.384939398830E-14,
      0.282135219250E-16, 0.142515947790E-18, 0.487686622860E-21, 0.107955392700E-23,
      0.139450270620E-26, 0.797951539270E-30}},
    {0,
     400,
     {0.0, 0.387481063640E-01, 0.332922278800E-04, 0.206182434040E-06, -0.218822568460E-08,
      0.109968809280E-10, -0.308157587720E-13, 0.454791352900E-16, -0.275129016730E-19}},
};

// Inverse functions, t in °C of emf in mV.
const Piece kInverseK[] = {
    {-5.891,
     0,
     {0.0, 2.5173462E+01, -1.1662878E+00, -1.0833638E+00, -8.9773540E-01, -3.7342377E-01,
      -8.6632643E-02, -1.0450598E-02, -5.1920577E-04}},
    {0,
     20.644,
     {0.0, 2.508355E+01, 7.860106E-02, -2.503131E-01, 8.315270E-02, -1.228034E-02, 9.804036E-04,
      -4.413030E-05, 1.057734E-06, -1.052755E-08}},
    {20.644,
     54.886,
     {-1.318058E+02, 4.830222E+01, -1.646031E+00, 5.464731E-02, -9.650715E-04, 8.802193E-06,
      -3.110810E-08}},
};

const Piece kInverseJ[] = {
    {-8.095,
     0,
     {0.0, 1.9528268E+01, -1.2286185E+00, -1.0752178E+00, -5.9086933E-01, -1.7256713E-01,
      -2.8131513E-02, -2.3963370E-03, -8.3823321E-05}},
    {0,
     42.919,
     {0.0, 1.978425E+01, -2.001204E-01, 1.036969E-02, -2.549687E-04, 3.585153E-06, -5.344285E-08,
      5.099890E-10}},
    {42.919,
     69.553,
     {-3.11358187E+03, 3.00543684E+02, -9.94773230E+00, 1.70276630E-01, -1.43033468E-03,
      4.73886084E-06}},
};

const Piece kInverseT[] = {
    {-5.603,
     0,
     {0.0, 2.5949192E+01, -2.1316967E-01, 7.9018692E-01, 4.2527777E-01, 1.3304473E-01,
      2.0241446E-02, 1.2668171E-03}},
    {0,
     20.872,
     {0.0, 2.592800E+01, -7.602961E-01, 4.637791E-02, -2.165394E-03, 6.048144E-05, -7.293422E-07}},
};

// The inverse functions' ranges are given to the microvolt: an emf within
// half a microvolt of an end is that end (the forward function's -200 °C of
// type K is -5.8914 mV), anything further out has no temperature.
constexpr double kMillivoltEdge = 0.0005;

template <size_t N>
const Piece* PieceFor(const Piece (&pieces)[N], double x, double edge = 0) {
    if (!std::isfinite(x)) {
        return nullptr;
    }
    for (const Piece& piece : pieces) {
        if (x >= piece.from - edge && x <= piece.to + edge) {
            return &piece;
        }
    }
    return nullptr;
}

} // namespace

std::optional<ThermocoupleType> ThermocoupleNamed(std::string_view name) {
    if (name == "K" || name == "k") {
        return ThermocoupleType::K;
    }
    if (name == "J" || name == "j") {
        return ThermocoupleType::J;
    }
    if (name == "T" || name == "t") {
        return ThermocoupleType::T;
    }
    return std::nullopt;
}

std::optional<double> ThermocoupleMillivolts(ThermocoupleType type, double celsius) {
    const Piece* piece = nullptr;
    switch (type) {
    case ThermocoupleType::K:
        piece = PieceFor(kForwardK, celsius);
        break;
    case ThermocoupleType::J:
        piece = PieceFor(kForwardJ, celsius);
        break;
    case ThermocoupleType::T:
        piece = PieceFor(kForwardT, celsius);
        break;
    }
    if (!piece) {
        return std::nullopt;
    }
    double emf = Polynomial(piece->coefficients, celsius);
    if (type == ThermocoupleType::K && celsius > 0) {
        const double offset = celsius - kKExponential[2];
        emf += kKExponential[0] * std::exp(kKExponential[1] * offset * offset);
    }
    return emf;
}

std::optional<double> ThermocoupleCelsius(ThermocoupleType type, double millivolts) {
    const Piece* piece = nullptr;
    switch (type) {
    case ThermocoupleType::K:
        piece = PieceFor(kInverseK, millivolts, kMillivoltEdge);
        break;
    case ThermocoupleType::J:
        piece = PieceFor(kInverseJ, millivolts, kMillivoltEdge);
        break;
    case ThermocoupleType::T:
        piece = PieceFor(kInverseT, millivolts, kMillivoltEdge);
        break;
    }
    if (!piece) {
        return std::nullopt;
    }
    return Polynomial(piece->coefficients, millivolts);
}

std::optional<double> ThermocoupleTemperature(ThermocoupleType type, double measuredMillivolts,
                                              double coldJunctionCelsius) {
    const std::optional<double> coldJunction = ThermocoupleMillivolts(type, coldJunctionCelsius);
    if (!coldJunction) {
        return std::nullopt;
    }
    return ThermocoupleCelsius(type, measuredMillivolts + *coldJunction);
}

} // namespace velmora
