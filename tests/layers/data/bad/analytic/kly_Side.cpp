// The analytic model using the simulation beside it.
#include "klystron/model/kly_Beam.h"
#include "simulation/kly_SpaceCharge.h"
