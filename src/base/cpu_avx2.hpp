// x86-64: whether this processor, and the system, let a program use AVX2.
// Asked once; only functions marked for AVX2 may use it when it says yes.
#pragma once

namespace plotveil {

inline bool cpu_has_avx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}

}  // namespace plotveil
