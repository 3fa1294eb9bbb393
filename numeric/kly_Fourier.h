#pragma once

#include <complex>

// Complex amplitude of single harmonics of a sequence of equally spaced
// samples covering exactly one period. The amplitude of harmonic h >= 1 is
// c_h = (2/N) * sum_i x_i * exp(-j*2*pi*h*i/N), so that samples
// A*cos(2*pi*h*i/N + phi) give A*exp(j*phi) (cosine convention, the one the
// gap voltages and harmonic currents use); harmonic 0 is the mean value.
//
// The samples are not copied: the caller keeps the array alive and unchanged
// while it asks for coefficients.
class Fourier {
public:
  Fourier() = default;
  virtual ~Fourier() = default;

  // Stores the samples (not owned) and their count; computes nothing.
  // A null pointer or a count below 1 throws std::invalid_argument.
  void setSamples(const double* samples, int count);

  // Complex amplitude of harmonic h >= 0 of the stored samples, in the units of
  // the samples. Throws std::invalid_argument for h < 0 and kly_StateError
  // before setSamples.
  std::complex<double> coefficient(int h) const;

  int getCount() const { return count; }  // number of samples per period

private:
  int count = 0;
  const double* samples = nullptr;
};
