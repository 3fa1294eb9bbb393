// A C++ program that uses the installed engine through find_package(klystron).
#include <cstdio>

#include "model/kly_Klystron.h"

int main() {
  kly_Klystron tube;
  tube.setOperatingParameters(110000, 90, 2.856e9, 60, 0.0095, 0.0062);
  tube.addCavity(0.0, 2.856e9, 0.82, 1, 0.010, 110, 2500, 300);
  tube.addCavity(0.48, 2.856e9, 0.80, 1, 0.012, 100, 2500, 25);
  if (tube.getCavityCount() != 2 || tube.getZ(1) != 0.48) {
    std::puts("unexpected model state");
    return 1;
  }
  std::puts("consumer OK");
  return 0;
}
