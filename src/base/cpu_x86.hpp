// x86-64: whether this processor, and the system, let a program use AVX2 and
// the bit instructions BMI1 and BMI2 that come with it, beyond the SSE2 every
// x86-64 processor has. The x86-64 kernels ask it once and choose their forms
// by the answer (kernels/x86_64/choice.cpp); only functions marked for AVX2
// may use it, and only where it says yes.
#pragma once

namespace plotveil {

inline bool cpu_has_avx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
}

}  // namespace plotveil
