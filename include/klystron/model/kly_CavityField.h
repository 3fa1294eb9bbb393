#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "klystron/core/kly_Constants.h"

// Axial gap field of a cavity read from a two-dimensional field solver's
// text file: a grid of Nz axial points on each of Nr radial lines, with the
// axial field at every point. The field is converted to metres, normalised so
// that its integral over z at a chosen radius is 1, and tabulated at the
// radial sample positions (rings) the disk simulation uses.
//
// File layout: anything up to the token "increments:", then the number of
// axial increments and either the number of radial increments or "X" (the
// field on the axis only); then a unit token, "(m)", "(ft)", "(in)", "(cm)" or
// "(mm)" (any other token means metres), then the points radial line by radial
// line, six numbers each: z, r, the axial field and three numbers not used.
// With a radial count the unit token is the first token after the two lines
// that follow the increments line; with "X" it is the first token of the next
// line. A line skipped in the header may hold at most 99 characters.
//
// The axial grid must be uniform: every point lies within 1 % of the spacing
// of its place on the uniform grid from the smallest to the largest z. The
// radial grid is taken to start on the axis.
class kly_CavityField {
public:
  static constexpr int kMaxRings = kly::kMaxFieldRings;

  kly_CavityField() = default;

  // Reads the file and loads its text (loadText). Throws kly_FileError
  // naming the file for one that cannot be opened or read or is a directory.
  void load(const std::string& fileName, double shift, std::span<const double> samplePositions,
            double normalisationRadius);

  // Parses the text of a field file, moves it by `shift` (see shift),
  // normalises it at `normalisationRadius` [m] and tabulates it at the sample
  // positions [m] (1 to kMaxRings of them). `source` names the text in
  // messages. Throws kly_FileError naming the source, the line and the
  // problem when the text cannot be parsed, and std::invalid_argument for a
  // count of sample positions outside 1 to kMaxRings. On failure the object
  // keeps what it held.
  void loadText(std::string_view text, const std::string& source, double shift, std::span<const double> samplePositions,
                double normalisationRadius);

  // Subtracts d [m] from every z coordinate; nothing when d is 0. Throws
  // kly_FileError, and changes nothing, when the moved positions can no
  // longer hold the axial grid: a spacing below the resolution of doubles
  // around the new position. A d that is not finite is applied as it is.
  void shift(double d);

  // Normalised axial field [1/m] at z [m] for sample index ring: linear
  // interpolation along the uniform grid, 0 unless zmin < z < zmax. Throws
  // std::out_of_range for a ring outside 0 to getRings() - 1.
  double getField(double z, int ring) const;
  // Integral over z of the tabulated field at sample index ring (dimensionless).
  double getFieldIntegral(int ring) const;
  // Coupling coefficient of the field at the first sample position for the
  // propagation constant beta [rad/m].
  double getCoupling(double beta) const;

  double getZMin() const { return zmin_; }  // [m]
  double getZMax() const { return zmax_; }  // [m]
  int getAxialPointCount() const { return nz_; }
  int getRadialLineCount() const { return nr_; }
  int getRings() const { return rings_; }  // number of sample positions tabulated
  double getUnitsPerMetre() const { return unitsPerMetre_; }

private:
  double& at(std::vector<double>& table, int i, int j) const { return table[static_cast<std::size_t>(i) * nr_ + j]; }
  double at(const std::vector<double>& table, int i, int j) const {
    return table[static_cast<std::size_t>(i) * nr_ + j];
  }
  double profile(int i, int q) const { return profile_[static_cast<std::size_t>(i) * rings_ + q]; }
  void checkRing(int ring) const;
  // Steps of a load: the grid as read, in metres; the normalisation; the
  // tabulation; the check that the normalised profile is usable.
  void takeGrid(int nz, int nr, double unitsPerMetre, const std::vector<double>& z, const std::vector<double>& r,
                const std::vector<double>& e);
  void normalise(double radius, const std::string& fileName);
  void tabulate(std::span<const double> samplePositions);
  void checkFinite(double normalisationRadius, double firstSamplePosition) const;

  std::string fileName_;  // of the last load, for messages
  int nz_ = 1;
  int nr_ = 1;
  double unitsPerMetre_ = 1.0;
  std::vector<double> z_;  // [m], [axial][radial]
  std::vector<double> r_;  // [m]
  std::vector<double> e_;  // axial field, normalised after load [1/m]
  double zmin_ = 0;        // [m]
  double zmax_ = 0;        // [m]
  double rmin_ = 0;        // [m]
  double rmax_ = 0;        // [m]
  double dz_ = 0;          // [m]
  double dr_ = 0;          // [m]
  int rings_ = 0;
  std::vector<double> profile_;  // [axial][sample] [1/m]
  std::array<double, kMaxRings> integrals_{};
};
