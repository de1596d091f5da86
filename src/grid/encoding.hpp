// Recognising an input grid's encoding from its first bytes.
#pragma once

#include <string>

#include "grid/byte_streams.hpp"
#include "grid/grid_types.hpp"

namespace plotveil {

// Text when the file begins with the four bytes "ncol"; otherwise double when it
// holds a whole double header whose no-data value (bytes 40-47) is exactly
// -9999; otherwise single when bytes 20-23 hold the single -9999. Only bytes the
// file has count. Leaves the stream at byte 0 (in text mode for a text grid);
// an unrecognised file ends the run with code 98.
GridEncoding detect_encoding(InStream& in, const std::string& name);

}  // namespace plotveil
