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
  if (cleanup.threads != nullptr) {
    cleanup.threads->pool.stop();
    cleanup.threads->flushes.abandon();
  }
  flush_output(*cleanup.out);
}

// What a run has settled so far, step by step.
struct RunState {
  InputGrid first;
  InputGrid second;
  std::string out_name;
  OutputFormat format;
  OutStream out;
  RunCleanup cleanup;
  RowShape shape;          // of grid_1's rows, once its header is read
  std::int32_t rows = 0;   // nrows truncated
  double nodata = 0;       // grid_1's no-data value
  GridStatistics stats;
};

// The three names and the option; fewer than three names print the usage.
void read_command_line(RunState& state, int argc, const char* const* argv) {
  if (argc < 4) {
    print_usage();
    end_process(ExitCode::usage_or_setup);
  }
  state.first.name = argv[1];
  state.second.name = argv[2];
  state.out_name = argv[3];
  state.format = parse_output_format(argc > 4 ? argv[4] : "");
}

// grid_1 is settled completely before grid_2 is opened; the output is not
// touched until both are. From then on a failure flushes it.
void open_files(RunState& state) {
  open_input_grid(state.first);
  open_input_grid(state.second);
  if (state.format.cell_bytes == sizeof(float)) refuse_size_beyond_single(state.first);
  open_output_grid(state.out, state.out_name, !state.format.text, state.first.stream, state.second.stream);
  state.cleanup.out = &state.out;
  set_failure_cleanup(clean_up_on_failure, &state.cleanup);
}

// Both headers read and compared, grid_1's size checked, the output's header
// written.
void read_headers(RunState& state) {
  read_header(state.first.stream, state.first.encoding, state.first.name, state.first.header);
  read_header(state.second.stream, state.second.encoding, state.second.name, state.second.header);
  compare_headers(state.first.header, state.second.header, state.first.name, state.second.name);
  state.rows = check_grid_size(state.first.header, state.first.name).rows;
  write_header(state.out, state.format, state.first.header, state.out_name);
  state.shape = row_shape(state.first.header.value[kNcols]);
  state.nodata = state.first.header.value[kNodataValue];
}

// The row buffers of W + 1 cells: both inputs, the output, single cells on
// their way, and for a text output the texts of grid_1's cells and the
// output's (cell_text.hpp).
struct RowBuffers {
  CellBuffer<double> first;
  CellBuffer<double> second;
  CellBuffer<double> out;
  CellBuffer<float> narrow;
  CellBuffer<CellText> first_texts;
  CellBuffer<CellText> out_texts;
  CellText nodata_text = 0;
};

// A run without the memory for them ends here.
RowBuffers allocate_rows(const RunState& state) {
  const std::int32_t width = state.shape.width;
  // A text output writes again the texts of grid_1's cells that it keeps.
  const std::int32_t text_width = state.format.text ? width : 0;
  RowBuffers rows{allocate_row<double>(width),
                  allocate_row<double>(width),
                  allocate_row<double>(width),
                  allocate_row<float>(width),
                  allocate_row<CellText>(text_width),
                  allocate_row<CellText>(text_width),
                  state.format.text ? cell_text_of(state.nodata) : 0};
  if (!rows.first || !rows.second || !rows.out || !rows.narrow || !rows.first_texts || !rows.out_texts) {
    fail(ExitCode::usage_or_setup, msg::no_memory_for_rows, width);
  }
  return rows;
}

// The threads that read text inputs ahead and write a text output behind;
// none when no row has cells or nothing is text.
std::unique_ptr<TextThreads> start_threads(RunState& state, const RunSettings& settings) {
  InStream* inputs[2] = {&state.first.stream, &state.second.stream};
  const GridEncoding encodings[2] = {state.first.encoding, state.second.encoding};
  const bool text_output = state.format.text;
  const bool text = encodings[0] == GridEncoding::ascii || encodings[1] == GridEncoding::ascii || text_output;
  if (state.shape.width == 0 || state.rows <= 0 || !text) return nullptr;
  std::unique_ptr<TextThreads> threads = start_text_threads(settings, inputs, encodings, state.out, text_output,
                                                            state.shape, state.nodata, state.out_name, print_dot);
  if (!threads) fail(ExitCode::usage_or_setup, msg::no_memory_for_rows, state.shape.width);
  state.cleanup.threads = threads.get();
  return threads;
}

// Every row read, masked into the output, fed to the statistics and written,
// with its dot once its bytes are in the stream. Rows without cells read,
// mask and write nothing: only their dots remain.
void mask_grid(RunState& state, RowBuffers& buffers, TextThreads* threads) {
  const RowShape shape = state.shape;
  if (shape.width == 0) {
    console_write_repeated(msg::progress_dot[0], state.rows > 0 ? static_cast<std::uint64_t>(state.rows) : 0);
  }
  RowSink out_rows = row_sink(state.out, state.format, shape, state.out_name, buffers.out.get(),
                              buffers.out_texts.get(), threads ? threads->behind() : nullptr, print_dot,
                              threads ? threads->flushing() : nullptr);
  RowSource grid_rows{&state.first.stream, state.first.encoding, &state.first.name, shape, buffers.first.get(),
                      buffers.narrow.get(), threads ? threads->ahead(0) : nullptr, &out_rows,
                      buffers.first_texts.get(), nullptr, threads ? threads->rows_ahead(0) : nullptr};
  RowSource mask_rows{&state.second.stream, state.second.encoding, &state.second.name, shape, buffers.second.get(),
                      buffers.narrow.get(), threads ? threads->ahead(1) : nullptr, &out_rows, nullptr, nullptr,
                      threads ? threads->rows_ahead(1) : nullptr};
  const double nrows = state.first.header.value[kNrows];
  for (std::int64_t row = 1; shape.width > 0 && nrows >= static_cast<double>(row); ++row) {
    const double* grid_cells = read_row(grid_rows, row);
    const double* mask_cells = read_row(mask_rows, row);
    double* out_cells = row_space(out_rows);
    if (out_rows.space_texts != nullptr) {
      mask_row(grid_cells, grid_rows.row_texts, mask_cells, out_cells, out_rows.space_texts, shape.width,
               state.nodata, buffers.nodata_text, state.stats);
    } else {
      mask_row(grid_cells, mask_cells, out_cells, shape.width, state.nodata, state.stats);
    }
    write_row(out_rows, row);  // and the row's dot, once its bytes are in the stream
  }
  finish_rows(out_rows);
}

// The statistics stored in a binary output's header, and the output closed.
void finish_output(RunState& state) {
  finalise(state.stats, state.first.header);
  store_statistics(state.out, state.format, state.first.header, state.out_name);
  if (!close_output(state.out)) fail(ExitCode::write_into_output, msg::error_writing_into, state.out_name.c_str());
  set_failure_cleanup(nullptr, nullptr);
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
  RunState state;
  read_command_line(state, argc, argv);
  open_files(state);
  read_headers(state);
  reset(state.stats, state.nodata);
  RowBuffers buffers = allocate_rows(state);
  std::unique_ptr<TextThreads> threads = start_threads(state, settings);
  mask_grid(state, buffers, threads.get());
  state.cleanup.threads = nullptr;
  threads.reset();
  console_write(msg::progress_end);
  finish_output(state);
  console_flush();
  return 0;
}

}  // namespace plotveil
