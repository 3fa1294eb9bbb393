#pragma once

// Large-signal disk simulation of the tube.
class kly_DiskSimulation {
public:
  kly_DiskSimulation() = default;
  virtual ~kly_DiskSimulation() = default;
  kly_DiskSimulation(const kly_DiskSimulation&) = delete;
  kly_DiskSimulation& operator=(const kly_DiskSimulation&) = delete;
};
