#include "tools/kly_Closest.h"

#include <algorithm>
#include <cctype>

std::size_t kly_editDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      const bool same =
          std::tolower(static_cast<unsigned char>(a[i - 1])) == std::tolower(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string kly_closest(std::string_view word, const std::vector<std::string_view>& known, std::size_t limit) {
  std::string_view best;
  std::size_t bestDistance = limit;
  for (std::string_view k : known) {
    const std::size_t d = kly_editDistance(word, k);
    if (d < bestDistance) {
      best = k;
      bestDistance = d;
    }
  }
  return std::string(best);
}
