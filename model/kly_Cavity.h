#pragma once

// Computed model of one cavity, made by the rebuild of the tube model.
class kly_Cavity {
public:
  kly_Cavity() = default;
};
