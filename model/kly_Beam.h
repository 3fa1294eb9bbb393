#pragma once

// Electron beam derived from the operating point. Set up by every rebuild of
// the tube model.
class kly_Beam {
public:
  kly_Beam() = default;
  virtual ~kly_Beam() = default;
  kly_Beam(const kly_Beam&) = default;
  kly_Beam& operator=(const kly_Beam&) = default;
};
