#include "numeric/kly_Arrays.h"

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>

namespace kly {
namespace {

std::size_t checkedDimension(int n, const char* name) {
  if (n < 0) throw std::invalid_argument(std::string("array dimension ") + name + " is negative: " + std::to_string(n));
  return static_cast<std::size_t>(n);
}

}  // namespace

double* allocate1D(int n) { return new double[checkedDimension(n, "n")]; }

void free1D(double* block) { delete[] block; }

double** allocate2D(int rows, int cols) {
  const std::size_t r = checkedDimension(rows, "rows");
  const std::size_t c = checkedDimension(cols, "cols");
  auto pointers = std::make_unique<double*[]>(r);
  // Without rows no pointer could lead free2D to the element block: make none.
  if (r == 0) return pointers.release();
  auto data = std::make_unique<double[]>(r * c);  // r * c cannot overflow: both fit in 31 bits
  // make_unique value-initialises; that costs one pass and leaves no uninitialised reads behind.
  for (std::size_t i = 0; i < r; ++i) pointers[i] = data.get() + i * c;
  data.release();
  return pointers.release();
}

void free2D(double** array, int rows) {
  if (array == nullptr) return;
  if (rows > 0) delete[] array[0];
  delete[] array;
}

double*** allocate3D(int ni, int nj, int nk) {
  const std::size_t a = checkedDimension(ni, "ni");
  const std::size_t b = checkedDimension(nj, "nj");
  const std::size_t c = checkedDimension(nk, "nk");
  if (a != 0 && b != 0 && c > static_cast<std::size_t>(-1) / sizeof(double) / a / b) throw std::bad_array_new_length();
  auto top = std::make_unique<double**[]>(a);
  // A block that no pointer reaches could not be released by free3D: with
  // ni = 0 make no row pointers, with nj = 0 no elements.
  if (a == 0) return top.release();
  auto rows = std::make_unique<double*[]>(a * b);
  if (b == 0) {
    for (std::size_t i = 0; i < a; ++i) top[i] = rows.get();
    rows.release();
    return top.release();
  }
  auto data = std::make_unique<double[]>(a * b * c);
  for (std::size_t i = 0; i < a; ++i) {
    top[i] = rows.get() + i * b;
    for (std::size_t j = 0; j < b; ++j) top[i][j] = data.get() + (i * b + j) * c;
  }
  data.release();
  rows.release();
  return top.release();
}

void free3D(double*** array, int ni, int nj) {
  if (array == nullptr) return;
  if (ni > 0) {
    if (nj > 0) delete[] array[0][0];
    delete[] array[0];
  }
  delete[] array;
}

}  // namespace kly
