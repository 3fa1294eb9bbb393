#pragma once

#include <array>

// Bessel functions and the zeros of J0 used by the beam, cavity and
// space-charge models. Each approximation is the published one named below,
// with its published coefficients, so results match other implementations of
// the same formulas to the last bit.
namespace kly {

// n! in 32-bit integer arithmetic, n >= 1 (exact up to 12!; used up to 9!).
int factorial(int n);

// J0 by its power series truncated after the (x/2)^18 term: accurate only for
// small |x| (about 1e-10 at |x| = 2, 1e-5 at |x| = 4).
double besselJ0Series(double x);

// J1: rational approximation for |x| < 8, asymptotic form from |x| = 8 on
// (Numerical Recipes, bessj1); absolute error about 1e-8.
double besselJ1(double x);

// I0 and I1: Abramowitz & Stegun 9.8.1 to 9.8.4, breakpoint |x| = 3.75 (taken
// by the large-argument form). I0 is even, I1 odd.
double besselI0(double x);
double besselI1(double x);

// K0 and K1 for x > 0: Abramowitz & Stegun 9.8.5 to 9.8.8, series form for
// x < 2, asymptotic form from x = 2 on.
double besselK0(double x);
double besselK1(double x);

// The first 100 positive zeros of J0, ten significant digits, increasing.
extern const std::array<double, 100> besselJ0Zeros;

}  // namespace kly
