// Where white space lies in a text grid's bytes, 64 at a time: one bit per
// byte, bit i for byte i. White space is the six C white-space bytes (blank,
// tab, LF, VT, FF, CR).
#pragma once

#include <cstdint>

namespace plotveil {

// In the form of the build's processor kind (kernels/<kind>/): with the
// vector instructions every processor of the kind has (SSE2 on x86-64, NEON
// on ARM64), else as space_mask_portable.
std::uint64_t space_mask(const char* bytes);

// From plain 64-bit arithmetic, on any processor: built into every build
// (kernels/portable/), the reference the other forms are tested against.
std::uint64_t space_mask_portable(const char* bytes);

}  // namespace plotveil
