// A C++ program that uses the installed engine through find_package(klystron):
// a tube described as a value, built, and run through the analytic model,
// beside the same tube described through the setters.
#include <cstdio>

#include "klystron/analytic/kly_Analytic.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/model/kly_Klystron.h"

int main() {
  kly_TubeDescription tube;
  tube.beam = {110000, 90, 2.856e9, 60, true, 0.0095, 0.0062, 0, 0, 0, 0};
  kly_CavityDescription input;
  input.z = 0.0;
  input.frequency = 2.856e9;
  input.m = 0.82;
  input.gapWidth = 0.010;
  input.rq = 110;
  input.qe = 300;
  input.qo = 2500;
  kly_CavityDescription output = input;
  output.z = 0.48;
  output.m = 0.80;
  output.gapWidth = 0.012;
  output.rq = 100;
  output.qe = 25;
  tube.cavities = {input, output};

  kly_Klystron model;
  model.setOperatingParameters(110000, 90, 2.856e9, 60, 0.0095, 0.0062);
  model.addCavity(0.0, 2.856e9, 0.82, 1, 0.010, 110, 2500, 300);
  model.addCavity(0.48, 2.856e9, 0.80, 1, 0.012, 100, 2500, 25);
  if (!(model.getDescription() == tube)) {
    std::puts("the setters describe another tube");
    return 1;
  }

  kly_Analytic analytic;
  analytic.calculateAnalytics(*kly_BuiltTube::build(tube));
  if (!(analytic.getOutputPower() > 0 && analytic.getCavityVoltage(1) > 0)) {
    std::puts("no output from the analytic model");
    return 1;
  }
  std::puts("consumer OK");
  return 0;
}
