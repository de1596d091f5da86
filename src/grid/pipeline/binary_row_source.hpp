// The rows of a binary grid read ahead of the row loop: worker threads read
// runs of whole rows from the file at their offsets (single cells widened to
// doubles on the way) while the row loop takes earlier rows in order. A run
// cut short by the end of the file keeps the whole cells it got, so a short
// row counts the cells that reading row after row gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "grid/files/byte_streams.hpp"
#include "grid/grid_types.hpp"
#include "grid/pipeline/worker_pool.hpp"

namespace plotveil {

class BinaryRowSource {
 public:
  BinaryRowSource() = default;
  BinaryRowSource(const BinaryRowSource&) = delete;
  BinaryRowSource& operator=(const BinaryRowSource&) = delete;

  // Takes over reading the rows of `width` cells of `in`, a single or double
  // grid, from where it stands: `blocks` runs of `rows_per_block` rows in
  // flight. False when their memory cannot be had.
  bool start(InStream& in, WorkerPool& pool, GridEncoding encoding, std::int32_t width, std::size_t rows_per_block,
             int blocks);

  // The next row's cells at indexes 1 to W, valid until the next call, and in
  // `got` how many whole cells the file held of it.
  const double* next_row(std::int64_t& got);

  struct Block {
    const BinaryRowSource* owner = nullptr;
    std::uint64_t start = 0;              // the run's first byte in the file
    std::unique_ptr<double[]> cells;      // rows at 1 + r * W, one spare cell before
    std::unique_ptr<float[]> singles;     // a single grid's bytes as read
    std::size_t bytes = 0;                // read of the run
    Job job;
  };
  static void read_rows(Block& block);

 private:
  void cut(Block& block);

  platform::File file_ = platform::kNoFile;
  WorkerPool* pool_ = nullptr;
  std::size_t cell_bytes_ = 0;
  std::size_t width_ = 0;
  std::size_t rows_per_block_ = 0;
  std::uint64_t next_start_ = 0;
  int block_total_ = 0;
  std::unique_ptr<Block[]> blocks_;
  int current_ = 0;
  std::size_t taken_ = 0;        // rows of the current block taken
  bool current_waited_ = false;
};

}  // namespace plotveil
