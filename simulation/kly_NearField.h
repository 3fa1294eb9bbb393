#pragma once

// The finite near field of the space-charge interaction between the disks of
// the disk simulation (docs/near-field.md).
//
// A disk stands for the charge that passes in 1/N_d of an RF period, spread
// over Delta = u0 / (f N_d) along the axis (sigma Delta in the rest-frame
// units of the table's separations). The tabulated field is that of an
// infinitely thin disk: between two rings of one disk, which start at the
// same place, it rises from 0 within a fraction of a millimetre, and on a
// ring itself it jumps. The finite field is the thin field convolved with a
// kernel w of unit area and width 2 Delta either side,
//   E_f(x) = int w(s) E(x - s) ds,
// the cubic convolution kernel (a = -1/2) of spacing Delta:
//   w(s) = K(|s| / Delta) / Delta,  K(t) = 1.5 t^3 - 2.5 t^2 + 1        (t < 1),
//                                   K(t) = -0.5 t^3 + 2.5 t^2 - 4 t + 2 (1 <= t < 2).
// Its translates by multiples of Delta add up to 1 everywhere, so the disks
// of an undisturbed ring act on any ring, whatever its offset, as the
// continuous beam does (a uniform shift of one ring against another costs no
// force); it reproduces quadratics (zero second moment), so where the thin
// field is smooth on the scale of Delta it is changed only at fourth order.
// E_f is odd, continuous and 0 at zero separation.

#include <cstddef>
#include <vector>

namespace kly_nearField {

// The near field reaches this many thicknesses either side of a disk.
constexpr double kReach = 2.0;

// The kernels a field can be convolved with.
enum class Kernel {
  cubic,  // the cubic convolution kernel above: the finite near field
  slab,   // the triangle (1 - |s| / Delta) / Delta: two uniform slabs of thickness Delta,
          // for comparison (it changes the smooth field at second order)
};

// w(s) [1/m] at separation s [m] for disks of thickness `thickness` [m].
double kernel(Kernel kind, double s, double thickness);

// One column of a space-charge table: thin[k], k = 0 .. n-1, the field's
// magnitude at separation k * spacing [m], thin[0] = 0, linear between grid
// points, odd in the separation and 0 beyond (n - 1) * spacing. Returns the
// convolved column on the same grid, integrated exactly for that
// piecewise-linear field; element 0 is 0.
std::vector<double> regularise(const std::vector<double>& thin, double spacing, double thickness,
                               Kernel kind = Kernel::cubic);

// regularise for many columns of `points` values on one grid: the weights of
// the grid's hats are found once. apply(thin) gives regularise(thin, spacing,
// thickness, kind) to the last bit, for a column of `points` values
// (std::invalid_argument for another length).
class Convolution {
public:
  Convolution(std::size_t points, double spacing, double thickness, Kernel kind = Kernel::cubic);
  std::vector<double> apply(const std::vector<double>& thin) const;

  // The hat at grid distance j, -reach() <= j <= reach(), weighs weight(j)
  // at the points of the column and half(j) at its last one.
  int reach() const { return J_; }
  double weight(int j) const { return weight_[static_cast<std::size_t>(j + J_)]; }
  double half(int j) const { return half_[static_cast<std::size_t>(j + J_)]; }

private:
  std::size_t points_;
  int J_ = 0;                          // the hats reach J grid points either side
  std::vector<double> weight_, half_;  // [j + J], j = -J .. J
};

}  // namespace kly_nearField
