#include "grid/pipeline/binary_row_source.hpp"

#include <cstring>
#include <new>

#include "base/failure.hpp"

namespace plotveil {
namespace {

void read_rows_job(void* context) { BinaryRowSource::read_rows(*static_cast<BinaryRowSource::Block*>(context)); }

}  // namespace

bool BinaryRowSource::start(InStream& in, WorkerPool& pool, GridEncoding encoding, std::int32_t width,
                            std::size_t rows_per_block, int blocks) {
  file_ = in.file;
  pool_ = &pool;
  cell_bytes_ = encoding == GridEncoding::single_precision ? sizeof(float) : sizeof(double);
  width_ = static_cast<std::size_t>(width);
  rows_per_block_ = rows_per_block;
  next_start_ = input_offset(in);
  block_total_ = blocks;
  const std::size_t cells = rows_per_block * width_;
  AllocationMayFail may_fail;
  blocks_.reset(new (std::nothrow) Block[static_cast<std::size_t>(blocks)]);
  if (!blocks_) return false;
  for (int b = 0; b < blocks; ++b) {
    Block& block = blocks_[b];
    block.owner = this;
    block.cells.reset(new (std::nothrow) double[cells + 1]);
    if (!block.cells) return false;
    if (cell_bytes_ == sizeof(float)) {
      block.singles.reset(new (std::nothrow) float[cells]);
      if (!block.singles) return false;
    }
    block.job.work = read_rows_job;
    block.job.context = &block;
  }
  for (int b = 0; b < blocks; ++b) cut(blocks_[b]);
  return true;
}

void BinaryRowSource::cut(Block& block) {
  block.start = next_start_;
  next_start_ += rows_per_block_ * width_ * cell_bytes_;
  pool_->submit(block.job);
}

// A read error ends the rows as the end of the file does. Single cells are
// widened exactly.
void BinaryRowSource::read_rows(Block& block) {
  const BinaryRowSource& owner = *block.owner;
  const std::size_t cells = owner.rows_per_block_ * owner.width_;
  char* into = owner.cell_bytes_ == sizeof(float) ? reinterpret_cast<char*>(block.singles.get())
                                                   : reinterpret_cast<char*>(block.cells.get() + 1);
  block.bytes = read_at(owner.file_, into, cells * owner.cell_bytes_, block.start);
  if (owner.cell_bytes_ == sizeof(float)) {
    const std::size_t whole = block.bytes / sizeof(float);
    const float* singles = block.singles.get();
    double* to = block.cells.get() + 1;
    for (std::size_t c = 0; c < whole; ++c) to[c] = static_cast<double>(singles[c]);
  }
}

const double* BinaryRowSource::next_row(std::int64_t& got) {
  Block* block = &blocks_[current_];
  if (current_waited_ && taken_ == rows_per_block_) {
    cut(*block);
    current_ = (current_ + 1) % block_total_;
    current_waited_ = false;
    block = &blocks_[current_];
  }
  if (!current_waited_) {
    pool_->wait(block->job);
    current_waited_ = true;
    taken_ = 0;
  }
  const std::size_t row_bytes = width_ * cell_bytes_;
  const std::size_t before = taken_ * row_bytes;
  const std::size_t held = block->bytes > before ? block->bytes - before : 0;
  got = static_cast<std::int64_t>((held < row_bytes ? held : row_bytes) / cell_bytes_);
  const double* row = block->cells.get() + taken_ * width_;
  ++taken_;
  return row;
}

}  // namespace plotveil
