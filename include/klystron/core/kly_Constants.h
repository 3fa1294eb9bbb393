#pragma once

// Physical constants and model limits, each declared once for the engine, the
// JNI layer and the tools. The constants are the values the computations use,
// to the last digit: results are fixed by them.
namespace kly {

// ---- Physical constants --------------------------------------------------------

inline constexpr double kSpeedOfLight = 299792458.0;    // c [m/s]
inline constexpr double kChargeToMass = 1.75882012e11;  // electron charge-to-mass ratio e/m [C/kg]
inline constexpr double kEpsilon0 = 8.854187817e-12;    // vacuum permittivity [F/m]
// Electron rest energy over e [V], the rounded value the beam averages of the
// cavity parameters use (the beam itself takes its relativistic factor from e/m and c).
inline constexpr double kRestEnergyVolts = 511000.0;

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr double kFourPi = 12.566370614359172;
inline constexpr double kSqrtPi = 1.7724538509055159;
static_assert(kTwoPi == 2 * kPi && kFourPi == 4 * kPi);

// ---- Model limits --------------------------------------------------------------

inline constexpr int kMaxCavities = 20;               // cavities the result tables of both models hold
inline constexpr int kMaxRings = 20;                  // rings (strips of a sheet beam) per disk of the simulation
inline constexpr int kMaxFieldRings = 50;             // radial positions a field profile is tabulated at
inline constexpr int kMaxHarmonic = 4;                // largest |harmonic| of a cavity the simulation takes
inline constexpr int kHarmonics = kMaxHarmonic + 1;   // harmonics 0 to 4 of the simulated induced currents
inline constexpr int kProfilePoints = 200;            // positions of the I1/I0 profiles of both models
inline constexpr int kSpaceChargeTablePoints = 1000;  // axial distances of the space-charge table

// ---- Thresholds ----------------------------------------------------------------

// External Q from which a cavity counts as having no external load: it is no
// output and its circuit is loaded by its walls alone.
inline constexpr double kNoExternalLoadQe = 90000.0;
// Relative change of the output cavity's voltage between two passes below
// which the simulation has converged.
inline constexpr double kConvergence = 1e-6;

}  // namespace kly
