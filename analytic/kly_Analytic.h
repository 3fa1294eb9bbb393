#pragma once

// Small-signal model of the tube.
class kly_Analytic {
public:
  kly_Analytic() = default;
  virtual ~kly_Analytic() = default;
  kly_Analytic(const kly_Analytic&) = delete;
  kly_Analytic& operator=(const kly_Analytic&) = delete;
};
