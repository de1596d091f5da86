#include "grid/files/header.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/failure.hpp"
#include "base/messages.hpp"
#include "grid/files/text_input.hpp"
#include "grid/numbers/writing/number_format.hpp"

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
  if (format.cell_bytes == sizeof(double)) {
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

}  // namespace

bool read_binary_header(InStream& in, GridEncoding encoding, GridHeader& header) {
  return encoding == GridEncoding::double_precision ? read_binary_values<double>(in, header)
                                                    : read_binary_values<float>(in, header);
}

namespace {

// The no-data value of a text grid whose header leaves its line out.
constexpr double kDefaultNodata = -9999.0;

// What a header keyword names, in any letter case.
enum class Keyword : std::uint8_t {
  other, ncols, nrows, xllcorner, xllcenter, yllcorner, yllcenter, cellsize, nodata_value, dx, dy
};

Keyword keyword_of(const char* word, std::size_t length) {
  static constexpr struct {
    const char* text;
    Keyword keyword;
  } kKeywords[] = {
      {"ncols", Keyword::ncols},         {"nrows", Keyword::nrows},         {"xllcorner", Keyword::xllcorner},
      {"xllcenter", Keyword::xllcenter}, {"yllcorner", Keyword::yllcorner}, {"yllcenter", Keyword::yllcenter},
      {"cellsize", Keyword::cellsize},   {"nodata_value", Keyword::nodata_value},
      {"dx", Keyword::dx},               {"dy", Keyword::dy},
  };
  for (const auto& known : kKeywords) {
    if (std::strlen(known.text) != length) continue;
    std::size_t i = 0;
    while (i < length && lower_case(word[i]) == known.text[i]) ++i;
    if (i == length) return known.keyword;
  }
  return Keyword::other;
}

bool names_centre(Keyword keyword) { return keyword == Keyword::xllcenter || keyword == Keyword::yllcenter; }

// The header index a keyword's value goes to; 0 for none.
int field_of(Keyword keyword) {
  switch (keyword) {
    case Keyword::ncols: return kNcols;
    case Keyword::nrows: return kNrows;
    case Keyword::xllcorner:
    case Keyword::xllcenter: return kXllcorner;
    case Keyword::yllcorner:
    case Keyword::yllcenter: return kYllcorner;
    case Keyword::cellsize: return kCellsize;
    case Keyword::nodata_value: return kNodataValue;
    default: return 0;
  }
}

struct HeaderLine {
  Keyword keyword = Keyword::other;
  double value = 0;
};

// Lines whose keywords are all known go to the fields they name, in any
// order; each field once, and every field but a five-line header's no-data.
bool place_by_keyword(const HeaderLine* lines, int count, GridHeader& header) {
  bool seen[7] = {};
  for (int i = 0; i < count; ++i) {
    const int k = field_of(lines[i].keyword);
    if (seen[k]) return false;
    seen[k] = true;
    header.value[k] = lines[i].value;
  }
  if (count < 6) header.value[kNodataValue] = kDefaultNodata;
  for (int k = kNcols; k < kNodataValue; ++k) {
    if (!seen[k]) return false;
  }
  for (int i = 0; i < count; ++i) {
    if (names_centre(lines[i].keyword)) {
      const int k = field_of(lines[i].keyword);
      header.value[k] = header.value[k] - header.value[kCellsize] / 2;
    }
  }
  return true;
}

// A header with a word that is no keyword is taken by position, as it always
// was: a centre keyword in third or fourth place moves that value to the
// corner, half a cell down.
void place_by_position(const HeaderLine* lines, int count, GridHeader& header) {
  for (int i = 0; i < count; ++i) header.value[i + 1] = lines[i].value;
  if (count < 6) header.value[kNodataValue] = kDefaultNodata;
  for (int k : {kXllcorner, kYllcorner}) {
    if (names_centre(lines[k - 1].keyword)) header.value[k] = header.value[k] - header.value[kCellsize] / 2;
  }
}

// Six keyword-and-number lines. Where the sixth word begins as a number can,
// the header has five lines: no-data is the format's default and that word is
// the first cell. Cells that are not square (dx, dy) fit no header.
bool read_text_header(InStream& in, GridHeader& header) {
  HeaderLine lines[6];
  int count = 0;
  bool all_known = true;
  for (; count < 6; ++count) {
    if (count == kNodataValue - 1 && next_word_is_number(in)) break;
    char word[16];
    std::size_t length = 0;
    // A value with more after its number ("-1-2") would pass the rest on as
    // the first cell.
    if (!read_word(in, word, sizeof word, length) || !read_number(in, lines[count].value) || !at_word_end(in)) {
      return false;
    }
    const Keyword keyword = keyword_of(word, length);
    if (keyword == Keyword::dx || keyword == Keyword::dy) return false;
    lines[count].keyword = keyword;
    all_known = all_known && keyword != Keyword::other;
  }
  if (all_known) return place_by_keyword(lines, count, header);
  place_by_position(lines, count, header);
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

bool grid_size_usable(const GridHeader& header) {
  const double ncols = header.value[kNcols];
  const double nrows = header.value[kNrows];
  // Comparisons written so that NaN fails them.
  return ncols > -1.0 && ncols < kMostRowCells + 1.0 && nrows > kInt32Below && nrows < kInt32Above;
}

GridSize check_grid_size(const GridHeader& header, const std::string& name) {
  const double ncols = header.value[kNcols];
  const double nrows = header.value[kNrows];
  if (!grid_size_usable(header)) {
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
  if (format.text) {
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
  if (format.text) return;
  const std::uint64_t offset = static_cast<std::uint64_t>(format.cell_bytes) * (kCount - 1);
  if (!seek_output(out, offset) || !write_values(out, format, &header.value[kCount], kDeviation - kCount + 1)) {
    fail(ExitCode::write_into_output, msg::error_writing_into, out_name.c_str());
  }
}

}  // namespace plotveil
