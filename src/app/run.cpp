#include "app/run.hpp"

#include <cstdlib>
#include <memory>
#include <string>

#include "app/command_line.hpp"
#include "app/output_grid.hpp"
#include "base/console.hpp"
#include "base/failure.hpp"
#include "base/messages.hpp"
#include "grid/byte_streams.hpp"
#include "grid/encoding.hpp"
#include "grid/header.hpp"
#include "grid/rows.hpp"
#include "stats/masking.hpp"
#include "stats/statistics.hpp"

namespace plotveil {
namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using CellBuffer = std::unique_ptr<T[], FreeDeleter>;

// Zeroed the way calloc zeroes: pages that no row ever fills are never touched,
// so a header that promises more columns than its file holds costs no memory.
template <typename T>
CellBuffer<T> allocate_row(std::int32_t width) {
  return CellBuffer<T>(static_cast<T*>(std::calloc(static_cast<std::size_t>(width) + 1, sizeof(T))));
}

struct InputGrid {
  std::string name;
  InStream stream;
  GridEncoding encoding = GridEncoding::ascii;
  GridHeader header;
};

void open_input_grid(InputGrid& grid) {
  if (open_input(grid.stream, grid.name) != OpenInput::ok) {
    fail(ExitCode::input_file, msg::could_not_open_input, grid.name.c_str());
  }
  grid.encoding = detect_encoding(grid.stream, grid.name);
}

// What a failure exit does to the output: rows written so far reach the file.
void flush_output_on_failure(void* context) { flush_output(*static_cast<OutStream*>(context)); }

}  // namespace

int run(int argc, const char* const* argv) {
  if (argc < 4) {
    print_usage();
    end_process(ExitCode::usage_or_setup);
  }
  InputGrid first;
  InputGrid second;
  first.name = argv[1];
  second.name = argv[2];
  std::string out_name = argv[3];
  const OutputFormat format = parse_output_format(argc > 4 ? argv[4] : "");

  // grid_1 is settled completely before grid_2 is opened; the output is not
  // touched until both are.
  open_input_grid(first);
  open_input_grid(second);

  OutStream out;
  open_output_grid(out, out_name, first.stream, second.stream);
  set_failure_cleanup(flush_output_on_failure, &out);

  read_header(first.stream, first.encoding, first.name, first.header);
  read_header(second.stream, second.encoding, second.name, second.header);
  compare_headers(first.header, second.header, first.name, second.name);
  const GridSize size = check_grid_size(first.header, first.name);
  write_header(out, format, first.header, out_name);

  const double ncols = first.header.value[kNcols];
  const double nrows = first.header.value[kNrows];
  const double nodata = first.header.value[kNodataValue];
  const RowShape shape = row_shape(ncols);

  CellBuffer<double> first_row = allocate_row<double>(shape.width);
  CellBuffer<double> second_row = allocate_row<double>(shape.width);
  CellBuffer<double> out_row = allocate_row<double>(shape.width);
  GridStatistics stats;
  reset(stats, nodata);
  CellBuffer<float> narrow_row = allocate_row<float>(shape.width);
  if (!first_row || !second_row || !out_row || !narrow_row) {
    fail(ExitCode::usage_or_setup, msg::no_memory_for_rows, shape.width);
  }

  if (shape.width == 0) {
    // Rows without cells read, mask and write nothing: only their dots remain.
    console_write_repeated(msg::progress_dot[0], size.rows > 0 ? static_cast<std::uint64_t>(size.rows) : 0);
  }
  for (std::int64_t row = 1; shape.width > 0 && nrows >= static_cast<double>(row); ++row) {
    read_row(first.stream, first.encoding, first.name, shape, first_row.get(), narrow_row.get(), row);
    read_row(second.stream, second.encoding, second.name, shape, second_row.get(), narrow_row.get(), row);
    mask_row(first_row.get(), second_row.get(), out_row.get(), shape.width, nodata, stats);
    write_row(out, format, out_row.get(), shape, row, out_name);
    console_write(msg::progress_dot);
  }
  console_write(msg::progress_end);

  store_statistics(out, format, first.header, stats, out_name);
  if (!close_output(out)) fail(ExitCode::write_into_output, msg::error_writing_into, out_name.c_str());
  set_failure_cleanup(nullptr, nullptr);
  console_flush();
  return 0;
}

}  // namespace plotveil
