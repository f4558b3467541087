#include "analog/thermocouple.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace dtconv {
namespace {

struct ThermocoupleType {
  double reference[6];  // E_ref(t) in mV, t in degrees C, constant term first
  struct {
    double lowEmf, lowResult;    // EMF at or below lowEmf converts to lowResult
    double highEmf, highResult;  // EMF at or above highEmf converts to highResult
    double minCelsius, maxCelsius;
  } ends;
  // Upper EMF of every sub-range but the last. A split at 0 mV puts 0 in the upper sub-range;
  // any other split keeps its own EMF in the lower one.
  struct {
    int count;
    double emf[3];
  } subRanges;
  double inverse[4][11];  // t(E), constant term first, zero padded
};

// Indexed by type code. Inverse coefficients are the ITS-90 ones as printed.
constexpr ThermocoupleType kTypes[] = {
    // Type K
    {{-0.000327743182, 0.0394169321, 2.67563051e-05, -1.12687856e-07},
     {-5.891, -200.0, 54.886, 1370.0, -200.0, 1370.0},
     {3, {0.0, 20.644}},
     {// -200 to 0 C
      {0.0000000E+00, 2.5173462E+01, -1.1662878E+00, -1.0833638E+00, -8.9773540E-01, -3.7342377E-01,
       -8.6632643E-02, -1.0450598E-02, -5.1920577E-04},
      // 0 to 500 C
      {0.000000E+00, 2.508355E+01, 7.860106E-02, -2.503131E-01, 8.315270E-02, -1.228034E-02,
       9.804036E-04, -4.413030E-05, 1.057734E-06, -1.052755E-08},
      // 500 to 1372 C
      {-1.318058E+02, 4.830222E+01, -1.646031E+00, 5.464731E-02, -9.650715E-04, 8.802193E-06,
       -3.110810E-08}}},
    // Type J
    {{-2.53104884e-05, 0.0503604812, 3.06449931e-05, -7.43398595e-08},
     {-8.095, -210.0, 69.553, 1200.0, -210.0, 1200.0},
     {3, {0.0, 42.919}},
     {// -210 to 0 C
      {0.0000000E+00, 1.9528268E+01, -1.2286185E+00, -1.0752178E+00, -5.9086933E-01, -1.7256713E-01,
       -2.8131513E-02, -2.3963370E-03, -8.3823321E-05},
      // 0 to 760 C
      {0.000000E+00, 1.978425E+01, -2.001204E-01, 1.036969E-02, -2.549687E-04, 3.585153E-06,
       -5.344285E-08, 5.099890E-10},
      // 760 to 1200 C
      {-3.11358187E+03, 3.00543684E+02, -9.94773230E+00, 1.70276630E-01, -1.43033468E-03,
       4.73886084E-06}}},
    // Type T
    {{-0.000196993635, 0.0386651647, 4.14246042e-05, -3.70698356e-08, 8.71909596e-10,
      -5.23758921e-12},
     {-5.603, -200.0, 20.872, 400.0, -200.0, 400.0},
     {2, {0.0}},
     {// -200 to 0 C
      {0.0000000E+00, 2.5949192E+01, -2.1316967E-01, 7.9018692E-01, 4.2527777E-01, 1.3304473E-01,
       2.0241446E-02, 1.2668171E-03},
      // 0 to 400 C
      {0.000000E+00, 2.592800E+01, -7.602961E-01, 4.637791E-02, -2.165394E-03, 6.048144E-05,
       -7.293422E-07}}},
    // Type E
    {{-0.00014651151, 0.0586026021, 5.00857518e-05, -9.59112987e-08, 9.13540073e-10,
      -3.7387837e-12},
     {-8.825, -200.0, 76.373, 1000.0, -200.0, 1000.0},
     {2, {0.0}},
     {// -200 to 0 C
      {0.0000000E+00, 1.6977288E+01, -4.3514970E-01, -1.5859697E-01, -9.2502871E-02, -2.6084314E-02,
       -4.1360199E-03, -3.4034030E-04, -1.1564890E-05},
      // 0 to 1000 C
      {0.0000000E+00, 1.7057035E+01, -2.3301759E-01, 6.5435585E-03, -7.3562749E-05, -1.7896001E-06,
       8.4036165E-08, -1.3735879E-09, 1.0629823E-11, -3.2447087E-14}}},
    // Type N
    {{-0.00103963028, 0.0260814761, 1.21476502e-05, 1.79727623e-08, 9.73350516e-10,
      -7.06745564e-12},
     {-3.990, -200.0, 47.513, 1300.0, -200.0, 1300.0},
     {3, {0.0, 20.613}},
     {// -200 to 0 C
      {0.0000000E+00, 3.8436847E+01, 1.1010485E+00, 5.2229312E+00, 7.2060525E+00, 5.8488586E+00,
       2.7754916E+00, 7.7075166E-01, 1.1582665E-01, 7.3138868E-03},
      // 0 to 600 C
      {0.00000E+00, 3.86896E+01, -1.08267E+00, 4.70205E-02, -2.12169E-06, -1.17272E-04, 5.39280E-06,
       -7.98156E-08},
      // 600 to 1300 C
      {1.972485E+01, 3.300943E+01, -3.915159E-01, 9.855391E-03, -1.274371E-04, 7.767022E-07}}},
    // Type R
    {{-6.92513259e-06, 0.00528405123, 1.39624754e-05, -2.08367009e-08},
     {-0.226, 0.0, 21.103, 1760.0, 0.0, 1760.0},
     {4, {1.923, 11.361, 19.739}},
     {// -50 to 250 C
      {0.0000000E+00, 1.8891380E+02, -9.3835290E+01, 1.3068619E+02, -2.2703580E+02, 3.5145659E+02,
       -3.8953900E+02, 2.8239471E+02, -1.2607281E+02, 3.1353611E+01, -3.3187769E+00},
      // 250 to 1200 C
      {1.334584505E+01, 1.472644573E+02, -1.844024844E+01, 4.031129726E+00, -6.249428360E-01,
       6.468412046E-02, -4.458750426E-03, 1.994710149E-04, -5.313401790E-06, 6.481976217E-08},
      // 1064 to 1664.5 C
      {-8.199599416E+01, 1.553962042E+02, -8.342197663E+00, 4.279433549E-01, -1.191577910E-02,
       1.492290091E-04},
      // 1664.5 to 1768.1 C
      {3.406177836E+04, -7.023729171E+03, 5.582903813E+02, -1.952394635E+01, 2.560740231E-01}}},
    // Type S
    {{-5.67082229e-06, 0.00539798083, 1.26335744e-05, -2.0411693e-08},
     {-0.235, 0.0, 18.693, 1760.0, 0.0, 1760.0},
     {4, {1.874, 10.332, 17.536}},
     {// -50 to 250 C
      {0.00000000E+00, 1.84949460E+02, -8.00504062E+01, 1.02237430E+02, -1.52248592E+02,
       1.88821343E+02, -1.59085941E+02, 8.23027880E+01, -2.34181944E+01, 2.79786260E+00},
      // 250 to 1200 C
      {1.291507177E+01, 1.466298863E+02, -1.534713402E+01, 3.145945973E+00, -4.163257839E-01,
       3.187963771E-02, -1.291637500E-03, 2.183475087E-05, -1.447379511E-07, 8.211272125E-09},
      // 1064 to 1664.5 C
      {-8.087801117E+01, 1.621573104E+02, -8.536869453E+00, 4.719686976E-01, -1.441693666E-02,
       2.081618890E-04},
      // 1664.5 to 1768.1 C
      {5.333875126E+04, -1.235892298E+04, 1.092657613E+03, -4.265693686E+01, 6.247205420E-01}}},
    // Type B
    {{-2.89118866e-07, -0.000246755894, 5.90602057e-06, -1.18951636e-09},
     {0.291, 400.0, 13.82, 1800.0, 400.0, 1800.0},
     {2, {2.431}},
     {// 250 to 700 C
      {9.8423321E+01, 6.9971500E+02, -8.4765304E+02, 1.0052644E+03, -8.3345952E+02, 4.5508542E+02,
       -1.5523037E+02, 2.9886750E+01, -2.4742860E+00},
      // 700 to 1820 C
      {2.1315071E+02, 2.8510504E+02, -5.2742887E+01, 9.9160804E+00, -1.2965303E+00, 1.1195870E-01,
       -6.0625199E-03, 1.8661696E-04, -2.4878585E-06}}},
};

template <std::size_t N>
double Horner(const double (&c)[N], double x) {
  double acc = 0.0;
  for (std::size_t i = N; i-- > 0;) acc = acc * x + c[i];
  return acc;
}

const ThermocoupleType& TypeFor(int typeCode) {
  constexpr int kCount = static_cast<int>(std::size(kTypes));
  return kTypes[typeCode >= 0 && typeCode < kCount ? typeCode : 0];
}

double Inverse(const ThermocoupleType& type, double emf) {
  int i = 0;
  for (; i + 1 < type.subRanges.count; ++i) {
    const double split = type.subRanges.emf[i];
    if (split == 0.0 ? emf < 0.0 : emf <= split) break;
  }
  return Horner(type.inverse[i], emf);
}

}  // namespace

double ThermocoupleReferenceMillivolts(int typeCode, double celsius) {
  return Horner(TypeFor(typeCode).reference, celsius);
}

double ThermocoupleInverseUnclamped(int typeCode, double millivolts) {
  return Inverse(TypeFor(typeCode), millivolts);
}

double ThermocoupleToCelsius(double millivolts, int typeCode, bool burnoutDetect,
                             bool junctionCompensation, int16_t referenceTemp) {
  if (burnoutDetect && millivolts > 82.0) return kThermocoupleBurnout;
  const ThermocoupleType& type = TypeFor(typeCode);
  double emf = millivolts;
  if (junctionCompensation) emf += Horner(type.reference, referenceTemp * 0.01);
  const auto& ends = type.ends;
  if (emf <= ends.lowEmf) return ends.lowResult;
  if (emf >= ends.highEmf) return ends.highResult;
  return std::clamp(Inverse(type, emf), ends.minCelsius, ends.maxCelsius);
}

}  // namespace dtconv
