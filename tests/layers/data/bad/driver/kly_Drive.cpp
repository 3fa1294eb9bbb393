#include <nlohmann/json.hpp>
#include <vector>
#include "klystron/simulation/kly_DiskSimulation.h"
#include "simulation/kly_SpaceCharge.h"
