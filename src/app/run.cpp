#include "app/run.hpp"

#include <cstdlib>
#include <memory>
#include <string>

#include "app/command_line.hpp"
#include "app/output_grid.hpp"
#include "app/thread_count.hpp"
#include "base/console.hpp"
#include "base/failure.hpp"
#include "base/messages.hpp"
#include "grid/files/byte_streams.hpp"
#include "grid/files/encoding.hpp"
#include "grid/files/header.hpp"
#include "grid/files/rows.hpp"
#include "grid/numbers/cell_text.hpp"
#include "grid/numbers/writing/number_format.hpp"
#include "grid/pipeline/row_sink.hpp"
#include "grid/pipeline/row_source.hpp"
#include "grid/pipeline/text_threads.hpp"
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

// A single-precision header counts every whole number only up to
// kSingleCountsExactly: a larger size that changes on the way is refused
// before the output is touched. grid_1's header is read ahead for this and
// read again in its turn.
void refuse_size_beyond_single(InputGrid& grid) {
  GridHeader header;
  if (!peek_header(grid.stream, grid.encoding, header) || single_header_holds_size(header)) return;
  fail(ExitCode::usage_or_setup, msg::size_beyond_single, grid.name.c_str(),
       static_cast<int>(kSingleCountsExactly));
}

void print_dot() { console_write(msg::progress_dot); }

// What a failure exit does: the workers stop, and rows written so far reach
// the output file.
struct RunCleanup {
  OutStream* out = nullptr;
  TextThreads* threads = nullptr;
};

void clean_up_on_failure(void* context) {
  auto& cleanup = *static_cast<RunCleanup*>(context);
  if (cleanup.threads != nullptr) cleanup.threads->pool.stop();
  flush_output(*cleanup.out);
}

}  // namespace

void fail_without_memory() {
  console_write(msg::no_memory);
  end_process(ExitCode::usage_or_setup);
}

int run(int argc, const char* const* argv) {
  RunSettings settings;
  settings.threads = thread_count_from_environment();
  return run(argc, argv, settings);
}

int run(int argc, const char* const* argv, const RunSettings& settings) {
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

  if (format.cell_bytes == sizeof(float)) refuse_size_beyond_single(first);

  OutStream out;
  open_output_grid(out, out_name, !format.text, first.stream, second.stream);
  RunCleanup cleanup;
  cleanup.out = &out;
  set_failure_cleanup(clean_up_on_failure, &cleanup);

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
  // A text output writes again the texts of grid_1's cells that it keeps.
  const bool keep_texts = format.text;
  CellBuffer<CellText> first_texts = allocate_row<CellText>(keep_texts ? shape.width : 0);
  CellBuffer<CellText> out_texts = allocate_row<CellText>(keep_texts ? shape.width : 0);
  const CellText nodata_text = keep_texts ? cell_text_of(nodata) : 0;
  if (!first_row || !second_row || !out_row || !narrow_row || !first_texts || !out_texts) {
    fail(ExitCode::usage_or_setup, msg::no_memory_for_rows, shape.width);
  }

  if (shape.width == 0) {
    // Rows without cells read, mask and write nothing: only their dots remain.
    console_write_repeated(msg::progress_dot[0], size.rows > 0 ? static_cast<std::uint64_t>(size.rows) : 0);
  }
  std::unique_ptr<TextThreads> threads;
  InStream* text_inputs[2] = {first.encoding == GridEncoding::ascii ? &first.stream : nullptr,
                              second.encoding == GridEncoding::ascii ? &second.stream : nullptr};
  OutStream* text_output = format.text ? &out : nullptr;
  if (shape.width > 0 && size.rows > 0 && (text_inputs[0] || text_inputs[1] || text_output)) {
    threads = start_text_threads(settings, text_inputs, text_output, shape, nodata, out_name, print_dot);
    if (!threads) fail(ExitCode::usage_or_setup, msg::no_memory_for_rows, shape.width);
    cleanup.threads = threads.get();
  }
  RowSink out_rows = row_sink(out, format, shape, out_name, out_row.get(), out_texts.get(),
                              threads ? threads->behind() : nullptr, print_dot);
  RowSource grid_rows{&first.stream, first.encoding, &first.name, shape, first_row.get(), narrow_row.get(),
                      threads ? threads->ahead(0) : nullptr, &out_rows, first_texts.get()};
  RowSource mask_rows{&second.stream, second.encoding, &second.name, shape, second_row.get(), narrow_row.get(),
                      threads ? threads->ahead(1) : nullptr, &out_rows};

  for (std::int64_t row = 1; shape.width > 0 && nrows >= static_cast<double>(row); ++row) {
    const double* grid_cells = read_row(grid_rows, row);
    const double* mask_cells = read_row(mask_rows, row);
    double* out_cells = row_space(out_rows);
    if (out_rows.space_texts != nullptr) {
      mask_row(grid_cells, grid_rows.row_texts, mask_cells, out_cells, out_rows.space_texts, shape.width, nodata,
               nodata_text, stats);
    } else {
      mask_row(grid_cells, mask_cells, out_cells, shape.width, nodata, stats);
    }
    write_row(out_rows, row);  // and the row's dot, once its bytes are in the stream
  }
  finish_rows(out_rows);
  cleanup.threads = nullptr;
  threads.reset();
  console_write(msg::progress_end);

  finalise(stats, first.header);
  store_statistics(out, format, first.header, out_name);
  if (!close_output(out)) fail(ExitCode::write_into_output, msg::error_writing_into, out_name.c_str());
  set_failure_cleanup(nullptr, nullptr);
  console_flush();
  return 0;
}

}  // namespace plotveil
