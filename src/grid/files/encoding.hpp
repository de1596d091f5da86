// Recognising an input grid's encoding from its first bytes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "grid/files/byte_streams.hpp"
#include "grid/grid_types.hpp"

namespace plotveil {

// The bytes recognition looks at: a whole double header.
inline constexpr std::size_t kEncodingProbeSize = 96;

// Text when the bytes begin with "ncol" in any letter case; otherwise double when they hold a
// whole double header's first 48 bytes and its no-data value (bytes 40-47) is
// exactly -9999; otherwise single when bytes 20-23 hold the single -9999.
// `count` is how many of the file's first bytes `bytes` holds: only bytes the
// file has count. Nothing when no test passes.
std::optional<GridEncoding> recognise_encoding(const unsigned char* bytes, std::size_t count);

// recognise_encoding on the stream's first bytes. Leaves the stream at byte 0
// (in text mode for a text grid); an unrecognised file ends the run with code 98.
GridEncoding detect_encoding(InStream& in, const std::string& name);

}  // namespace plotveil
