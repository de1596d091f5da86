#include "grid/encoding.hpp"

#include <cstring>

#include "base/failure.hpp"
#include "base/messages.hpp"

namespace plotveil {
namespace {

void rewind_or_fail(InStream& in, bool text, const std::string& name) {
  if (!rewind_input(in, text)) fail(ExitCode::input_file, msg::could_not_open_input, name.c_str());
}

}  // namespace

GridEncoding detect_encoding(InStream& in, const std::string& name) {
  unsigned char probe[96];
  std::size_t got = read_input(in, probe, 4);
  if (got == 4 && std::memcmp(probe, "ncol", 4) == 0) {
    rewind_or_fail(in, true, name);
    return GridEncoding::ascii;
  }

  rewind_or_fail(in, false, name);
  got = read_input(in, probe, 96);
  if (got >= 48) {
    double nodata;
    std::memcpy(&nodata, probe + 40, sizeof nodata);
    if (nodata == kBinaryNodata) {
      rewind_or_fail(in, false, name);
      return GridEncoding::double_precision;
    }
  }
  if (got >= 24) {
    float nodata;
    std::memcpy(&nodata, probe + 20, sizeof nodata);
    if (nodata == static_cast<float>(kBinaryNodata)) {
      rewind_or_fail(in, false, name);
      return GridEncoding::single_precision;
    }
  }
  fail(ExitCode::input_file, msg::unrecognised_format, name.c_str());
}

}  // namespace plotveil
