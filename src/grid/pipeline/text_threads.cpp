#include "grid/pipeline/text_threads.hpp"

#include <algorithm>
#include <new>

#include "base/platform.hpp"

namespace plotveil {
namespace {

// Blocks and slots in flight with workers: enough that workers always find
// queued jobs while the main thread takes some of them on, few enough that
// the bytes and cells they hold are still in the caches when they are taken.
int in_flight(int threads) { return std::clamp(4 * threads, 8, 64); }

// Output buffers written behind at once.
constexpr int kFlushesInFlight = 4;

}  // namespace

std::unique_ptr<TextThreads> start_text_threads(const TextThreadSettings& settings, InStream* inputs[2],
                                                const GridEncoding encodings[2], OutStream& out, bool text_output,
                                                const RowShape& shape, double nodata, const std::string& out_name,
                                                TextRowWriter::RowWritten row_written) {
  std::unique_ptr<TextThreads> threads(new (std::nothrow) TextThreads);
  if (!threads) return nullptr;
  // The main thread is one of the threads: it takes jobs whenever it would
  // wait. Alone, or when the system gives no worker, it runs every job itself.
  if (settings.threads > 1) threads->pool.start(settings.threads - 1);
  const int count = threads->pool.workers() > 0 ? in_flight(settings.threads) : 2;
  const bool workers = threads->pool.workers() > 0;
  const std::size_t width = static_cast<std::size_t>(shape.width);
  for (int k = 0; k < 2; ++k) {
    InStream& in = *inputs[k];
    if (encodings[k] != GridEncoding::ascii) {
      const std::size_t row_bytes = width * (encodings[k] == GridEncoding::single_precision ? 4 : 8);
      if (!workers || row_bytes > settings.binary_block_bytes) continue;
      threads->reads_rows_ahead[k] = threads->row_sources[k].start(in, threads->pool, encodings[k], shape.width,
                                                                   settings.binary_block_bytes / row_bytes, count);
      if (!threads->reads_rows_ahead[k]) return nullptr;
      continue;
    }
    const std::size_t block = std::max<std::size_t>(settings.text_block_bytes, 1);
    // A text output keeps grid_1's cell texts to write them again.
    const bool keep_texts = k == 0 && text_output;
    threads->reads_ahead[k] = threads->sources[k].start(in, threads->pool, block, count, keep_texts);
    if (!threads->reads_ahead[k]) return nullptr;
  }
  if (workers && platform::is_regular_file(out.file)) {
    threads->flushes_behind = threads->flushes.start(out, threads->pool, kFlushesInFlight, row_written);
    if (!threads->flushes_behind) return nullptr;
  }
  if (text_output) {
    // Rows up to a width get slots at least a row wide, which the row loop
    // masks them straight into; fewer such slots keep as many cells in flight.
    const std::size_t slot_cells =
        width <= settings.row_slots_up_to ? std::max(settings.text_slot_cells, width) : settings.text_slot_cells;
    const int slots = std::max<int>(2, static_cast<int>(static_cast<std::size_t>(count) *
                                                        settings.text_slot_cells / slot_cells));
    threads->writes_behind = threads->writer.start(out, threads->pool, shape, nodata, out_name, slot_cells, slots,
                                                   row_written, threads->flushing());
    if (!threads->writes_behind) return nullptr;
  }
  return threads;
}

}  // namespace plotveil
