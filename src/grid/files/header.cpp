#include "grid/files/header.hpp"

#include <cmath>
#include <cstdio>

#include "base/failure.hpp"
#include "base/messages.hpp"
#include "grid/files/text_input.hpp"
#include "grid/numbers/number_format.hpp"

namespace plotveil {
namespace {

[[noreturn]] void fail_header(const std::string& name) {
  fail(ExitCode::usage_or_setup, msg::error_reading_header, name.c_str());
}

template <typename Cell>
bool read_binary_values(InStream& in, GridHeader& header) {
  Cell cells[12];
  if (read_input(in, cells, sizeof cells) < sizeof cells) return false;
  for (int k = 1; k <= 12; ++k) header.value[k] = static_cast<double>(cells[k - 1]);
  return true;
}

// Values of a binary header as the output format holds them: doubles as they
// are, or each narrowed to a float. False when the stream did not take them.
bool write_values(OutStream& out, OutputFormat format, const double* values, int count) {
  if (format == OutputFormat::double_precision) {
    const std::size_t size = static_cast<std::size_t>(count) * sizeof(double);
    return write_output(out, values, size) == size;
  }
  float cells[12];
  for (int k = 0; k < count; ++k) cells[k] = static_cast<float>(values[k]);
  const std::size_t size = static_cast<std::size_t>(count) * sizeof(float);
  return write_output(out, cells, size) == size;
}

// Whole numbers of the text header, truncated toward zero.
char* put_integer(char* out, double value) {
  return out + std::snprintf(out, 16, "%ld", static_cast<long>(static_cast<std::int32_t>(value)));
}

// Both bounds of a truncation into a 32-bit signed integer, exclusive.
constexpr double kInt32Below = -2147483649.0;
constexpr double kInt32Above = 2147483648.0;

}  // namespace

bool read_binary_header(InStream& in, GridEncoding encoding, GridHeader& header) {
  return encoding == GridEncoding::double_precision ? read_binary_values<double>(in, header)
                                                    : read_binary_values<float>(in, header);
}

namespace {

// The no-data value of a text grid whose header leaves its line out.
constexpr double kDefaultNodata = -9999.0;

// "xllcenter" or "yllcenter" in any letter case: the value is a cell centre.
bool names_centre(const char* word, std::size_t length) {
  if (length != 9) return false;
  const char* centre = "xllcenter";
  for (std::size_t i = 0; i < 9; ++i) {
    char c = word[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != centre[i] && !(i == 0 && c == 'y')) return false;
  }
  return true;
}

// Six word-and-number pairs taken by position. Where the sixth word begins
// as a number can, the header has five lines: no-data is the format's
// default and that word is the first cell. A third or fourth keyword naming
// a cell centre moves that value to the corner, half a cell down.
bool read_text_header(InStream& in, GridHeader& header) {
  bool centre[7] = {};
  for (int k = 1; k <= 6; ++k) {
    if (k == kNodataValue && next_word_is_number(in)) {
      header.value[k] = kDefaultNodata;
      break;
    }
    char word[16];
    std::size_t length = 0;
    if (!read_word(in, word, sizeof word, length) || !read_number(in, header.value[k])) return false;
    centre[k] = (k == kXllcorner || k == kYllcorner) && names_centre(word, length);
  }
  for (int k : {kXllcorner, kYllcorner}) {
    if (centre[k]) header.value[k] = header.value[k] - header.value[kCellsize] / 2;
  }
  return true;
}

bool read_header_values(InStream& in, GridEncoding encoding, GridHeader& header) {
  if (encoding != GridEncoding::ascii) return read_binary_header(in, encoding, header);
  return read_text_header(in, header);
}

// The cells of a row, or the rows of a grid, that a run takes from a usable
// ncols or nrows.
double count_used(double value) { return value >= 1 ? std::trunc(value) : 0; }

bool holds_count(double value) {
  // Comparisons written so that NaN passes: check_grid_size refuses it.
  if (!(value > kInt32Below && value < kInt32Above)) return true;
  return count_used(static_cast<float>(value)) == count_used(value);
}

}  // namespace

void read_header(InStream& in, GridEncoding encoding, const std::string& name, GridHeader& header) {
  if (!read_header_values(in, encoding, header)) fail_header(name);
}

bool peek_header(InStream& in, GridEncoding encoding, GridHeader& header) {
  bool whole = read_header_values(in, encoding, header);
  return rewind_input(in, in.text) && whole;
}

bool single_header_holds_size(const GridHeader& header) {
  return holds_count(header.value[kNcols]) && holds_count(header.value[kNrows]);
}

std::string format_parameter(double value) {
  if (std::isfinite(value)) {
    char text[400];  // "%f" of the largest double is 316 bytes
    std::snprintf(text, sizeof text, "%f", value);
    return text;
  }
  char text[kMaxNumberText];
  return std::string(text, format_number(value, text));
}

void compare_headers(const GridHeader& first, const GridHeader& second,
                     const std::string& first_name, const std::string& second_name) {
  for (int k = 1; k <= 6; ++k) {
    if (first.value[k] == second.value[k]) continue;
    fail(ExitCode::header_mismatch, msg::parameter_mismatch, k,
         format_parameter(first.value[k]).c_str(), first_name.c_str(), second_name.c_str(),
         format_parameter(second.value[k]).c_str());
  }
}

GridSize check_grid_size(const GridHeader& header, const std::string& name) {
  double ncols = header.value[kNcols];
  double nrows = header.value[kNrows];
  // Comparisons written so that NaN fails them.
  bool usable = ncols > -1.0 && ncols < 2147483647.0 && nrows > kInt32Below && nrows < kInt32Above;
  if (!usable) {
    char cols[kMaxNumberText + 1];
    char rows[kMaxNumberText + 1];
    *format_number(ncols, cols) = '\0';
    *format_number(nrows, rows) = '\0';
    fail(ExitCode::usage_or_setup, msg::unusable_size, name.c_str(), cols, rows);
  }
  return GridSize{static_cast<std::int32_t>(nrows)};
}

char* format_text_header(const GridHeader& header, char* out) {
  out = put(out, "ncols\t");
  out = put_integer(out, header.value[kNcols]);
  out = put(out, "\r\nnrows\t");
  out = put_integer(out, header.value[kNrows]);
  out = put(out, "\r\nxllcorner\t");
  out = format_exact_number(header.value[kXllcorner], out);
  out = put(out, "\r\nyllcorner\t");
  out = format_exact_number(header.value[kYllcorner], out);
  out = put(out, "\r\ncellsize\t");
  out = format_exact_number(header.value[kCellsize], out);
  out = put(out, "\r\nnodata_value\t");
  out = format_exact_number(header.value[kNodataValue], out);
  return put(out, "\r\n");
}

void write_header(OutStream& out, OutputFormat format, const GridHeader& header,
                  const std::string& out_name) {
  bool written = false;
  if (format == OutputFormat::text) {
    char text[256];
    char* end = format_text_header(header, text);
    std::size_t size = static_cast<std::size_t>(end - text);
    written = write_output(out, text, size) == size;
  } else {
    written = write_values(out, format, &header.value[1], 12);
  }
  if (!written) fail(ExitCode::write_into_output, msg::error_writing_into, out_name.c_str());
}

void store_statistics(OutStream& out, OutputFormat format, const GridHeader& header,
                      const std::string& out_name) {
  if (format == OutputFormat::text) return;
  const std::uint64_t offset = static_cast<std::uint64_t>(cell_size(format)) * (kCount - 1);
  if (!seek_output(out, offset) || !write_values(out, format, &header.value[kCount], kDeviation - kCount + 1)) {
    fail(ExitCode::write_into_output, msg::error_writing_into, out_name.c_str());
  }
}

}  // namespace plotveil
