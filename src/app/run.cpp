#include "app/run.hpp"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
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
#include "grid/pipeline/text_cell_source.hpp"
#include "grid/pipeline/text_row_writer.hpp"
#include "grid/pipeline/worker_pool.hpp"
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

// Text inputs read ahead and a text output written behind, on worker threads.
// The row loop takes cells and hands rows over in order, so all it prints and
// writes stays as without threads.
struct Pipeline {
  TextCellSource sources[2];
  bool reads_ahead[2] = {false, false};
  TextRowWriter writer;
  bool writes_behind = false;
  WorkerPool pool;

  // The workers end before the blocks and slots they work on go.
  ~Pipeline() { pool.stop(); }
};

// Blocks and slots in flight: enough that workers always find queued jobs
// while the main thread takes some of them on, few enough to keep the memory
// small and fixed.
int in_flight(int threads) { return std::clamp(16 * threads, 32, 64); }

std::unique_ptr<Pipeline> start_pipeline(const RunSettings& settings, InputGrid* inputs[2],
                                         OutStream& out, OutputFormat format, const RowShape& shape,
                                         const std::string& out_name) {
  const bool text_in[2] = {inputs[0]->encoding == GridEncoding::ascii,
                           inputs[1]->encoding == GridEncoding::ascii};
  const bool text_out = format == OutputFormat::text;
  if (settings.threads <= 1 || !(text_in[0] || text_in[1] || text_out)) return nullptr;
  std::unique_ptr<Pipeline> pipeline(new (std::nothrow) Pipeline);
  // The main thread is one of the threads: it takes jobs whenever it would wait.
  if (!pipeline || pipeline->pool.start(settings.threads - 1) == 0) return nullptr;
  const int count = in_flight(settings.threads);
  for (int k = 0; k < 2; ++k) {
    if (!text_in[k]) continue;
    InStream& in = inputs[k]->stream;
    const std::size_t block = std::clamp<std::size_t>(settings.text_block_bytes, 1, in.capacity / 2);
    pipeline->reads_ahead[k] = pipeline->sources[k].start(in, pipeline->pool, block, count);
  }
  if (text_out) {
    pipeline->writes_behind =
        pipeline->writer.start(out, pipeline->pool, shape, out_name, settings.text_slot_cells, count,
                               [] { console_write(msg::progress_dot); });
  }
  return pipeline;
}

// What a failure exit does: the workers stop, and rows written so far reach
// the output file.
struct RunCleanup {
  OutStream* out = nullptr;
  Pipeline* pipeline = nullptr;
};

void clean_up_on_failure(void* context) {
  auto& cleanup = *static_cast<RunCleanup*>(context);
  if (cleanup.pipeline != nullptr) cleanup.pipeline->pool.stop();
  flush_output(*cleanup.out);
}

}  // namespace

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

  OutStream out;
  open_output_grid(out, out_name, first.stream, second.stream);
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
  if (!first_row || !second_row || !out_row || !narrow_row) {
    fail(ExitCode::usage_or_setup, msg::no_memory_for_rows, shape.width);
  }

  if (shape.width == 0) {
    // Rows without cells read, mask and write nothing: only their dots remain.
    console_write_repeated(msg::progress_dot[0], size.rows > 0 ? static_cast<std::uint64_t>(size.rows) : 0);
  }
  std::unique_ptr<Pipeline> pipeline;
  if (shape.width > 0 && size.rows > 0) {
    InputGrid* inputs[2] = {&first, &second};
    pipeline = start_pipeline(settings, inputs, out, format, shape, out_name);
    cleanup.pipeline = pipeline.get();
  }
  const bool writes_behind = pipeline && pipeline->writes_behind;
  // The next row of an input (cells 1 to W), or the run's end at a short one
  // after the rows before it are written.
  auto read_next_row = [&](InputGrid& grid, int k, double* cells, float* narrow,
                           std::int64_t row) -> const double* {
    const double* read = cells;
    std::int64_t got = 0;
    if (pipeline && pipeline->reads_ahead[k]) {
      std::size_t taken = 0;
      read = pipeline->sources[k].next_row(cells, static_cast<std::size_t>(shape.width), taken);
      got = static_cast<std::int64_t>(taken);
    } else {
      got = read_row_cells(grid.stream, grid.encoding, shape, cells, narrow);
    }
    if (got == shape.width) return read;
    if (writes_behind) pipeline->writer.finish();
    fail_short_row(grid.name, row, got);
  };

  for (std::int64_t row = 1; shape.width > 0 && nrows >= static_cast<double>(row); ++row) {
    const double* grid_cells = read_next_row(first, 0, first_row.get(), narrow_row.get(), row);
    const double* mask_cells = read_next_row(second, 1, second_row.get(), narrow_row.get(), row);
    double* slot_cells = writes_behind ? pipeline->writer.row_space() : nullptr;
    double* out_cells = slot_cells != nullptr ? slot_cells : out_row.get();
    mask_row(grid_cells, mask_cells, out_cells, shape.width, nodata, stats);
    if (slot_cells != nullptr) {
      pipeline->writer.row_filled(row);
    } else if (writes_behind) {
      pipeline->writer.add_row(out_row.get(), row);
    } else {
      write_row(out, format, out_row.get(), shape, row, out_name);
      console_write(msg::progress_dot);
    }
  }
  if (writes_behind) pipeline->writer.finish();
  cleanup.pipeline = nullptr;
  pipeline.reset();
  console_write(msg::progress_end);

  finalise(stats, first.header);
  store_statistics(out, format, first.header, out_name);
  if (!close_output(out)) fail(ExitCode::write_into_output, msg::error_writing_into, out_name.c_str());
  set_failure_cleanup(nullptr, nullptr);
  console_flush();
  return 0;
}

}  // namespace plotveil
