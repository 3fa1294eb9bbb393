// A tool that reaches into the engine's private headers.
#include <fmt/format.h>
#include "klystron/simulation/kly_DiskSimulation.h"
#include "numeric/kly_Fourier.h"
#include "tools/kly_Other.h"
