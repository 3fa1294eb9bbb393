#pragma once

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "kly_Files.h"

// Small synthetic field files for the tests.
namespace kly_test {

// A field file in millimetres on a uniform grid from z = -5 mm to 5 mm with
// radial lines 1 mm apart: E = exp(-(z / 2 mm)^2) (1 + 0.1 j^2) on line j.
// With radialToken "X" there is one line and the unit follows the
// increments line; otherwise the unit comes two lines after it. The points
// start on line 4 ("X") or 6.
inline std::string gridFile(int axial, const std::string& radialToken, int lines) {
  std::ostringstream s;
  s << "Synthetic gap field\n";
  if (radialToken == "X") {
    s << "Number of Z increments: " << axial << " X\n";
  } else {
    s << "Number of Z and R increments: " << axial << " " << radialToken << "\n";
    s << "   Zmin= -5.0  Zmax= 5.0\n";
    s << "       Z          R          Ez          Er         |E|          H\n";
  }
  s << "(mm) (mm) (MV/m) (MV/m) (MV/m) (A/m)\n";
  for (int j = 0; j < lines; ++j) {
    for (int i = 0; i <= axial; ++i) {
      const double z = -5.0 + 10.0 * i / axial;
      s << z << " " << j << " " << std::exp(-(z / 2) * (z / 2)) * (1 + 0.1 * j * j) << " 0 0 0\n";
    }
  }
  return s.str();
}

// Replaces the whole of line `line` (from 1).
inline std::string replaceLine(const std::string& text, int line, const std::string& with) {
  std::istringstream in(text);
  std::ostringstream out;
  std::string l;
  for (int n = 1; std::getline(in, l); ++n) out << (n == line ? with : l) << "\n";
  return out.str();
}

}  // namespace kly_test
