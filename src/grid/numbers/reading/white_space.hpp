// White space in a text grid: the six C white-space bytes (blank, tab, LF,
// VT, FF, CR); a CR LF line end is white space like any other.
#pragma once

#include <cstdint>

namespace plotveil {

inline bool is_text_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Where white space lies in 64 bytes: one bit per byte, bit i for byte i.
// In the form of the build's processor kind (kernels/<kind>/): with the
// vector instructions every processor of the kind has (SSE2 on x86-64, NEON
// on ARM64), else as space_mask_portable.
std::uint64_t space_mask(const char* bytes);

// From plain 64-bit arithmetic, on any processor: built into every build
// (kernels/portable/), the reference the other forms are tested against.
std::uint64_t space_mask_portable(const char* bytes);

}  // namespace plotveil
