#include "bench/kly_BenchTubes.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

kly_BenchTube::kly_BenchTube(const std::string& name)
    : name_(name), tube_(kly_TubeFile::read(std::string(KLY_EXAMPLES_DIR) + "/" + name + ".json").description) {
  if (!tube_.simulation) throw std::invalid_argument(name + ": the tube file has no simulation section");
}

kly_BenchTube::~kly_BenchTube() {
  std::error_code ignored;
  if (!scratch_.empty()) std::filesystem::remove_all(scratch_, ignored);
}

std::string kly_BenchCounts::label() const {
  return std::to_string(disks) + "x" + std::to_string(rings) + "x" + std::to_string(steps);
}

kly_BenchCounts kly_BenchTube::exampleCounts() const {
  const kly_SimulationSettings& s = *tube_.simulation;
  return {s.disks, s.rings, s.steps, s.maxIterations};
}

kly_TubeDescription kly_BenchTube::description(int rings) const {
  kly_TubeDescription tube = tube_;
  for (kly_CavityDescription& cavity : tube.cavities)
    if (cavity.fieldRings < rings) cavity.fieldRings = rings;
  return tube;
}

void kly_BenchTube::simulate(kly_DiskSimulation& simulation, const kly_BenchCounts& counts,
                             const kly_SimulationOptions& options) const {
  kly_SimulationSettings settings = *tube_.simulation;
  settings.disks = counts.disks;
  settings.rings = counts.rings;
  settings.steps = counts.steps;
  settings.maxIterations = counts.maxIterations;
  if (settings.importBeam) settings.importBeam->file = beamFileFor(counts.disks);
  simulation.simulate(*kly_BuiltTube::build(description(counts.rings)), settings, options);
}

// The example's beam file, or for more disks than it has rows, one with row
// d at the fraction d * rows / disks of the way along the example's rows,
// interpolated linearly; past the last row the bunch continues with the
// first row one period later.
std::string kly_BenchTube::beamFileFor(int disks) const {
  const kly_BeamImportSettings& import = *tube_.simulation->importBeam;
  std::ifstream in(import.file);
  std::string header, line;
  std::vector<double> beta, time;
  int steps = 0;
  while (std::getline(in, line)) {
    header += line + "\n";
    std::istringstream words(line);
    std::string word;
    while (words >> word)
      if (word == "steps:") words >> steps;
    if (line.find("Time") != std::string::npos) break;
  }
  double label, b, t;
  while (in >> label >> b >> t) {
    beta.push_back(b);
    time.push_back(t);
  }
  const int rows = static_cast<int>(beta.size());
  if (disks <= rows) return import.file;
  if (rows < 1 || steps < 1) throw std::runtime_error(import.file + ": no beam rows to interpolate");

  std::ostringstream out;
  out.precision(17);
  const std::size_t counts = header.find("disks:");
  const std::size_t end = header.find("rings:", counts);
  out << header.substr(0, counts) << "disks: " << disks << " " << header.substr(end);
  for (int d = 0; d < disks; ++d) {
    const double x = static_cast<double>(d) * rows / disks;
    const int i = static_cast<int>(x);
    const double w = x - i;
    const int j = (i + 1) % rows;
    const double tj = time[static_cast<std::size_t>(j)] - (i + 1 == rows ? steps : 0);
    out << d << " " << (1 - w) * beta[static_cast<std::size_t>(i)] + w * beta[static_cast<std::size_t>(j)] << " "
        << (1 - w) * time[static_cast<std::size_t>(i)] + w * tj << "\n";
  }
  if (scratch_.empty()) {
    scratch_ = std::filesystem::temp_directory_path() / ("klystron-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(scratch_);
  }
  const std::filesystem::path file = scratch_ / (name_ + "-" + std::to_string(disks) + "-disks.txt");
  std::ofstream(file) << out.str();
  return file.string();
}

const std::vector<std::string>& kly_benchTubeNames() {
  static const std::vector<std::string> names = {"sband-round", "xband-sheet", "sband-prebunched"};
  return names;
}
