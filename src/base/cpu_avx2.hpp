// x86-64: whether this processor, and the system, let a program use AVX2,
// and the bit instructions BMI1 and BMI2 that come with it. Asked once; only
// functions marked for them may use them when it says yes.
#pragma once

namespace plotveil {

inline bool cpu_has_avx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
  }();
  return has;
}

}  // namespace plotveil
