#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Edits (insertions, deletions, substitutions) that turn a into b, letter
// case aside.
std::size_t kly_editDistance(std::string_view a, std::string_view b);

// The first of `known` fewer than `limit` edits away from `word`, the closest
// one; empty when there is none. Finds the word a typo most likely meant.
std::string kly_closest(std::string_view word, const std::vector<std::string_view>& known, std::size_t limit);
