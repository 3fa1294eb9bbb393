#pragma once

#include <string>
#include <string_view>
#include <vector>

// Numbers as the command's messages and summary show them: never "-0.00" or
// "-nan", and quantities with an SI prefix ("2.856 GHz", "-375.8 kW").
namespace kly_text {

// v with `decimals` digits after the point; a value that rounds to zero has
// no sign; NaN gives `none` (a table's "-"), infinities "inf" and "-inf".
std::string fixed(double v, int decimals, std::string_view none = "-");

// v in `digits` significant digits ("%g"); NaN as "nan", no sign of zero.
std::string general(double v, int digits = 6);

// v with the SI prefix (from p to T) that leaves 1 to 999 before the point,
// in 4 significant digits, and the unit: quantity(2.856e9, "Hz") is
// "2.856 GHz", quantity(0.0062, "m") "6.2 mm"; 0 and non-finite values
// without a prefix.
std::string quantity(double v, std::string_view unit);

// A byte count in B, KiB, MiB, GiB or TiB, 3 significant digits.
std::string bytes(double v);

// Text broken into lines of at most `width` characters at spaces (a word
// longer than `width` stands alone on its line); runs of white space count as
// one space. Empty text gives no line.
std::vector<std::string> wrap(std::string_view text, std::size_t width);

// A duration: "0.42 s", "12 min", "3.5 h", "4.7 days".
std::string duration(double seconds);

}  // namespace kly_text
