#pragma once

#include <vector>

// Figures a designer reads off sweep curves, from the sampled points alone.
// Points whose values are not finite (failed points, a drive of 0 W on a log
// scale) are left out; the others are taken in order of the swept value.

// The saturation point of a transfer curve: the largest output power.
struct kly_Saturation {
  bool found = false;  // some point is usable
  // The largest sample is an end of the range: at the highest drive the
  // output still rises (saturation lies above the range), at the lowest it
  // already falls (below it). The figures are then that sample's.
  bool atEnd = false;
  double drive = 0;        // [W]
  double outputPower = 0;  // [W]
  double gain = 0;         // output over drive [dB]
  double efficiency = 0;   // the efficiency curve at that drive (NaN without one)
};

// The 1 dB compression point: where the gain has fallen 1 dB below the
// small-signal gain, taken as the gain at the lowest drive.
struct kly_Compression {
  bool measured = false;       // some point has a drive and an output power above 0, so a gain
  bool found = false;          // the gain falls that far within the range
  double smallSignalGain = 0;  // [dB], at the lowest drive
  double drive = 0;            // [W]
  double outputPower = 0;      // [W]
};

// A band of a frequency response: where the gain stays within `drop` dB of
// its largest sample, on the contiguous stretch of samples around it.
struct kly_Band {
  bool found = false;
  double drop = 0;           // [dB]
  double peakGain = 0;       // the largest sampled gain [dB]
  double peakFrequency = 0;  // [Hz]
  double lower = 0;          // band edges [Hz]
  double upper = 0;
  bool lowerOpen = false;  // the band reaches the lowest sampled frequency: its edge lies beyond
  bool upperOpen = false;  // ... the highest
  double width() const { return upper - lower; }
};

class kly_SweepAnalysis {
public:
  // The largest output power of a drive sweep. Between samples the curve is
  // taken as the parabola through the largest sample and its two neighbours,
  // in output power [W] against log10 of the drive, and its vertex gives the
  // saturated drive and output power; the efficiency there is interpolated
  // linearly in log10 of the drive. `efficiency` may be empty.
  static kly_Saturation saturation(const std::vector<double>& drive, const std::vector<double>& outputPower,
                                   const std::vector<double>& efficiency = {});

  // The drive at which the gain (10 log10 of output over drive) first falls
  // 1 dB (`compression`) below the gain at the lowest drive, in order of
  // increasing drive. The gain is interpolated linearly in the drive in dBm
  // between the last sample above that level and the first at or below it;
  // the output power there follows as drive plus gain.
  static kly_Compression compression(const std::vector<double>& drive, const std::vector<double>& outputPower,
                                     double compression = 1.0);

  // The band within `drop` dB of the largest sampled gain around it. Each
  // edge is interpolated linearly in frequency between the last sample
  // inside the band and the first outside; a band that reaches an end of the
  // samples is cut there and marked open.
  static kly_Band band(const std::vector<double>& frequency, const std::vector<double>& gain, double drop);
};
