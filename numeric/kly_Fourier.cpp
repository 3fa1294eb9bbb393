#include "numeric/kly_Fourier.h"

#include <stdexcept>
#include <string>

#include "klystron/core/kly_Constants.h"
#include "klystron/core/kly_Errors.h"

void Fourier::setSamples(const double* samples, int count) {
  if (samples == nullptr) throw std::invalid_argument("harmonic analysis: the sample array is null");
  if (count < 1)
    throw std::invalid_argument("harmonic analysis: sample count " + std::to_string(count) + " is below 1");
  this->samples = samples;
  this->count = count;
}

std::complex<double> Fourier::coefficient(int h) const {
  if (h < 0) throw std::invalid_argument("harmonic analysis: harmonic number " + std::to_string(h) + " is negative");
  if (samples == nullptr) throw kly_StateError("harmonic analysis: no samples were set");
  std::complex<double> sum = 0.0;
  for (int i = 0; i < count; ++i) {
    // h*i in integer arithmetic (64 bits, so that no harmonic of a long record overflows), then as a double.
    const long long hi = static_cast<long long>(h) * i;
    const std::complex<double> phasor(0.0, -kly::kTwoPi * static_cast<double>(hi) / count);
    sum += samples[i] * std::exp(phasor);
  }
  sum = sum * (2.0 / count);
  if (h == 0) sum = sum / 2.0;
  return sum;
}
