// plotveil-hdr: writes the .hdr sidecar of single and double grids, so
// that GIS software opens them. A command of its own with the usual manners:
// options, errors on standard error, exit 0 on success, 1 when a grid was
// refused or its sidecar not written, 2 on a usage error.
#pragma once

namespace plotveil {

int run_sidecar_command(int argc, const char* const* argv);

// A failed allocation: said on standard error, exit 1.
[[noreturn]] void sidecar_without_memory();

}  // namespace plotveil
