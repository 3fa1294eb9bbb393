#pragma once

#include <locale>
#include <sstream>
#include <string>

namespace kly {

// A number as the engine's messages write it: ten significant digits, in the
// classic locale whatever the program's.
inline std::string formatNumber(double v) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out.precision(10);
  out << v;
  return out.str();
}

}  // namespace kly
