#include <nlohmann/json.hpp>
#include "simulation/kly_SpaceCharge.h"
#include "klystron/simulation/kly_DiskSimulation.h"
#include <vector>
