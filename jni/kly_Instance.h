#pragma once

#include "klystron/analytic/kly_Analytic.h"
#include "klystron/model/kly_Klystron.h"
#include "klystron/simulation/kly_DiskSimulation.h"

// The native side of one Java Klystron object: one allocation holding the tube
// model and its two calculations, constructed in this order and destroyed in
// reverse order.
struct kly_Instance {
  kly_Klystron klystron;
  kly_Analytic analytic;
  kly_DiskSimulation simulation;
};
