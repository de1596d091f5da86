#include "grid/rows.hpp"

#include "base/failure.hpp"
#include "base/messages.hpp"
#include "grid/number_format.hpp"
#include "grid/text_input.hpp"

namespace plotveil {
namespace {

[[noreturn]] void fail_short_row(const std::string& name, std::int64_t row, std::int64_t read) {
  fail(ExitCode::short_input_row, msg::error_reading_row, name.c_str(), static_cast<int>(row),
       static_cast<int>(read));
}

[[noreturn]] void fail_row_write(std::int64_t row, const std::string& out_name) {
  fail(ExitCode::write_row, msg::error_writing_row, static_cast<int>(row), out_name.c_str());
}

void write_text_row(OutStream& out, const double* cells, const RowShape& shape, std::int64_t row,
                    const std::string& out_name) {
  // Room for one number and its separator.
  constexpr std::size_t kCellRoom = kMaxNumberText + 2;
  for (std::int32_t c = 1; c <= shape.width; ++c) {
    char* p = reserve_output(out, kCellRoom);
    if (p == nullptr) fail_row_write(row, out_name);
    char* end = format_number(cells[c], p);
    if (c < shape.width || !shape.line_end) {
      *end++ = '\t';
    } else {
      *end++ = '\r';
      *end++ = '\n';
    }
    out.used += static_cast<std::size_t>(end - p);
  }
}

}  // namespace

RowShape row_shape(double ncols) {
  RowShape shape;
  shape.width = static_cast<std::int32_t>(ncols);
  shape.line_end = ncols == static_cast<double>(shape.width);
  return shape;
}

void read_row(InStream& in, GridEncoding encoding, const std::string& name, const RowShape& shape,
              double* cells, float* narrow, std::int64_t row) {
  const std::size_t width = static_cast<std::size_t>(shape.width);
  switch (encoding) {
    case GridEncoding::double_precision: {
      std::size_t got = read_input(in, cells + 1, width * sizeof(double));
      if (got < width * sizeof(double)) fail_short_row(name, row, static_cast<std::int64_t>(got / sizeof(double)));
      return;
    }
    case GridEncoding::single_precision: {
      std::size_t got = read_input(in, narrow + 1, width * sizeof(float));
      if (got < width * sizeof(float)) fail_short_row(name, row, static_cast<std::int64_t>(got / sizeof(float)));
      for (std::size_t c = 1; c <= width; ++c) cells[c] = static_cast<double>(narrow[c]);
      return;
    }
    case GridEncoding::ascii:
      if (std::size_t got = read_numbers(in, cells + 1, width); got < width) {
        fail_short_row(name, row, static_cast<std::int64_t>(got));
      }
      return;
  }
}

void write_row(OutStream& out, OutputFormat format, const double* cells, const RowShape& shape,
               float* narrow, std::int64_t row, const std::string& out_name) {
  const std::size_t width = static_cast<std::size_t>(shape.width);
  switch (format) {
    case OutputFormat::double_precision:
      if (write_output(out, cells + 1, width * sizeof(double)) < width * sizeof(double)) {
        fail_row_write(row, out_name);
      }
      return;
    case OutputFormat::single_precision: {
      // Round to nearest, ties to even; beyond the single range an infinity.
      for (std::size_t c = 1; c <= width; ++c) narrow[c] = static_cast<float>(cells[c]);
      std::size_t put = write_output(out, narrow + 1, width * sizeof(float));
      if (put < width * sizeof(float)) {
        fail(ExitCode::write_row, msg::error_writing_cell, static_cast<int>(row),
             static_cast<int>(put / sizeof(float) + 1), out_name.c_str());
      }
      return;
    }
    case OutputFormat::text:
      write_text_row(out, cells, shape, row, out_name);
      return;
  }
}

}  // namespace plotveil
