// The cells of text inputs read in blocks ahead of the row loop, and a text
// output written in slots behind it: on worker threads, or by the row loop
// itself when it runs alone. With workers, the rows of binary inputs are read
// ahead too, and a regular output's buffers written behind. The row loop
// takes cells and hands rows over in order, so all it prints and writes is the
// same with any number of threads.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "grid/files/byte_streams.hpp"
#include "grid/files/rows.hpp"
#include "grid/pipeline/binary_row_source.hpp"
#include "grid/pipeline/text_cell_source.hpp"
#include "grid/pipeline/text_row_writer.hpp"
#include "grid/pipeline/worker_pool.hpp"
#include "grid/pipeline/write_behind.hpp"

namespace plotveil {

struct TextThreads {
  TextCellSource sources[2];
  bool reads_ahead[2] = {false, false};
  BinaryRowSource row_sources[2];
  bool reads_rows_ahead[2] = {false, false};
  TextRowWriter writer;
  bool writes_behind = false;
  WriteBehind flushes;
  bool flushes_behind = false;
  WorkerPool pool;

  // The workers end before the blocks and slots they work on go.
  ~TextThreads() { pool.stop(); }

  // The cells of input `k` read ahead, or nullptr; the text written behind, or nullptr.
  TextCellSource* ahead(int k) { return reads_ahead[k] ? &sources[k] : nullptr; }
  BinaryRowSource* rows_ahead(int k) { return reads_rows_ahead[k] ? &row_sources[k] : nullptr; }
  TextRowWriter* behind() { return writes_behind ? &writer : nullptr; }
  WriteBehind* flushing() { return flushes_behind ? &flushes : nullptr; }
};

// How the threads share the work.
struct TextThreadSettings {
  int threads = 1;                         // the calling thread and threads - 1 workers
  std::size_t text_block_bytes = 1 << 16;  // bytes of text input per block read ahead
  std::size_t text_slot_cells = 1 << 11;   // cells of text output per slot written behind
  std::size_t row_slots_up_to = 1 << 14;   // rows up to this many cells get slots of a row each
  std::size_t binary_block_bytes = 1 << 17;  // bytes of binary input per block read ahead
};

// Starts the reading and writing of the inputs `inputs[k]` of `encodings[k]`
// and the output `out` (text when `text_output`), with settings.threads - 1
// workers or as many as the system gives; `nodata` is the output's no-data
// value. With workers, the rows of binary inputs are read ahead (rows of up
// to one block) and the buffers of an output that is a regular file are
// written behind. Nullptr when the memory cannot be had.
std::unique_ptr<TextThreads> start_text_threads(const TextThreadSettings& settings, InStream* inputs[2],
                                                const GridEncoding encodings[2], OutStream& out, bool text_output,
                                                const RowShape& shape, double nodata, const std::string& out_name,
                                                TextRowWriter::RowWritten row_written);

}  // namespace plotveil
