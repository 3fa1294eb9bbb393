#pragma once

// Row-pointer arrays of doubles: element (i, j) of a 2-D array is a[i][j],
// element (i, j, k) of a 3-D array is a[i][j][k]. Each array is one block of
// elements with its row pointers beside it, so a request the memory cannot
// hold fails at once with std::bad_alloc instead of part-way through.
// Elements start at 0. Release each array with the matching free
// function and the outer dimensions it was allocated with; null is ignored.
// A negative dimension throws std::invalid_argument.
namespace kly {

double* allocate1D(int n);
void free1D(double* block);

double** allocate2D(int rows, int cols);
void free2D(double** array, int rows);

double*** allocate3D(int ni, int nj, int nk);
void free3D(double*** array, int ni, int nj);

}  // namespace kly
