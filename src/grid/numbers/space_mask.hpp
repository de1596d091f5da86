// Where white space lies in a text grid's bytes, 64 at a time: one bit per
// byte, bit i for byte i. White space is the six C white-space bytes (blank,
// tab, LF, VT, FF, CR).
#pragma once

#include <cstdint>

namespace plotveil {

// With the processor's vector instructions where the build has a form for it
// (SSE2 on x86-64, NEON on ARM64), else as space_mask_plain.
std::uint64_t space_mask(const char* bytes);

// From plain 64-bit arithmetic, on any processor: what a build configured
// with PLOTVEIL_PLAIN_SCAN uses, and the reference the vector forms are
// tested against.
std::uint64_t space_mask_plain(const char* bytes);

}  // namespace plotveil
