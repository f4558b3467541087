#pragma once

#include <cstdint>

namespace dtconv {

// Returned instead of a temperature when an open thermocouple is detected.
inline constexpr double kThermocoupleBurnout = 10000.0;

// Converts a thermocouple voltage to degrees Celsius.
// typeCode: 0 K, 1 J, 2 T, 3 E, 4 N, 5 R, 6 S, 7 B; any other code converts as type K.
// With burnoutDetect, a voltage above 82 mV reads as kThermocoupleBurnout.
// With junctionCompensation, the EMF of the reference junction at referenceTemp (hundredths of a
// degree C, already corrected by the caller) is added before the conversion.
// Out-of-range EMFs give the type's fixed end temperatures; results are clamped to the type's span.
double ThermocoupleToCelsius(double millivolts, int typeCode, bool burnoutDetect,
                             bool junctionCompensation, int16_t referenceTemp);

// EMF in mV of the type's reference junction at the given temperature (compensation polynomial).
double ThermocoupleReferenceMillivolts(int typeCode, double celsius);

// Inverse polynomial of the sub-range that the EMF selects, without the end tests and the clamp.
double ThermocoupleInverseUnclamped(int typeCode, double millivolts);

}  // namespace dtconv
