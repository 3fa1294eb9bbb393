// compare-sweeps DIR_A DIR_B: exit status 0 when the sweeps (or the
// optimisations) in the two folders wrote the same files
// (kly_test::sweepDifferences), else 1 with the names of those that differ;
// for the tests that run the command as a program (under mpirun).
#include <iostream>

#include "kly_SweepFilesCompare.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: compare-sweeps DIR_A DIR_B\n";
    return 2;
  }
  try {
    const auto differ = kly_test::sweepDifferences(argv[1], argv[2]);
    for (const std::string& name : differ) std::cout << "differs: " << name << '\n';
    return differ.empty() ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "compare-sweeps: " << e.what() << '\n';
    return 2;
  }
}
