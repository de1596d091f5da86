#include "grid/files/encoding.hpp"

#include <cstring>

#include "base/failure.hpp"
#include "base/messages.hpp"
#include "grid/files/text_input.hpp"

namespace plotveil {

std::optional<GridEncoding> recognise_encoding(const unsigned char* bytes, std::size_t count) {
  if (count >= 4 && lower_case(static_cast<char>(bytes[0])) == 'n' && lower_case(static_cast<char>(bytes[1])) == 'c' &&
      lower_case(static_cast<char>(bytes[2])) == 'o' && lower_case(static_cast<char>(bytes[3])) == 'l') {
    return GridEncoding::ascii;
  }
  if (count >= 48) {
    double nodata;
    std::memcpy(&nodata, bytes + 40, sizeof nodata);
    if (nodata == kBinaryNodata) return GridEncoding::double_precision;
  }
  if (count >= 24) {
    float nodata;
    std::memcpy(&nodata, bytes + 20, sizeof nodata);
    if (nodata == static_cast<float>(kBinaryNodata)) return GridEncoding::single_precision;
  }
  return std::nullopt;
}

GridEncoding detect_encoding(InStream& in, const std::string& name) {
  unsigned char probe[kEncodingProbeSize];
  std::size_t got = read_input(in, probe, sizeof probe);
  std::optional<GridEncoding> encoding = recognise_encoding(probe, got);
  if (!rewind_input(in, encoding == GridEncoding::ascii)) {
    fail(ExitCode::input_file, msg::could_not_open_input, name.c_str());
  }
  if (!encoding) fail(ExitCode::input_file, msg::unrecognised_format, name.c_str());
  return *encoding;
}

}  // namespace plotveil
