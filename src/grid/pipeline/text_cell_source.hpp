// The cells of a text grid read ahead of the row loop. From where the header
// ends, the data is cut into byte ranges of one size, and worker threads read
// each range from the file at its offset and turn it into its numbers while
// the row loop takes the cells of earlier ranges in order. A word belongs to
// the range it begins in: a range skips the end of the word before it and
// reads its own last word on past its end. A range records where a read
// fails, so the cells taken are exactly those that reading number after
// number from the stream gives, up to its first failure or the end of its
// data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "grid/files/byte_streams.hpp"
#include "grid/numbers/cell_text.hpp"
#include "grid/pipeline/worker_pool.hpp"

namespace plotveil {

class TextCellSource {
 public:
  TextCellSource() = default;
  TextCellSource(const TextCellSource&) = delete;
  TextCellSource& operator=(const TextCellSource&) = delete;

  // Takes over reading `in` from where it stands, `blocks` ranges of
  // `block_bytes` bytes in flight, keeping the cells' texts too with
  // `keep_texts`. False when their memory cannot be had; then nothing has
  // been read.
  bool start(InStream& in, WorkerPool& pool, std::size_t block_bytes, int blocks, bool keep_texts = false);

  // Copies the next `count` cells to `cells`, and with texts kept and `texts`
  // not null their texts to `texts`; returns how many there were before a
  // read failed or the data ended.
  std::size_t take(double* cells, std::size_t count, CellText* texts = nullptr);

  // The next `count` cells as a row (at indexes 1 to count): where they lie in
  // a block, valid until the next call, or else copied into `row`. With texts
  // kept, `texts` is where their texts lie (or `row_texts`, which then holds
  // count + 1), else nullptr. `got` is how many there were, as take() counts.
  const double* next_row(double* row, CellText* row_texts, std::size_t count, std::size_t& got,
                         const CellText*& texts);

  // Bytes read past a range for its last word; a longer word is read from
  // the stream.
  static constexpr std::size_t kWordReach = 4096;
  static constexpr std::uint64_t kNoLongWord = ~std::uint64_t{0};

  struct Block {
    const TextCellSource* owner = nullptr;
    std::uint64_t start = 0;       // the range's first byte in the file
    std::unique_ptr<char[]> text;  // the bytes read, one blank and kTextBlockReach bytes after them
    std::uint64_t long_word = kNoLongWord;  // where a word too long for the block begins, after its cells
    std::unique_ptr<double[]> cells;
    std::size_t count = 0;         // numbers read from the bytes, at indexes 1 to count
    std::unique_ptr<CellText[]> texts;  // their texts, when kept
    bool stops = false;            // no number can be read after them
    Job job;
  };

  // Reads the range of `block` and its numbers: a worker's job.
  static void read_range(Block& block);

 private:
  void cut(Block& block);
  Block& current_block();
  void read_word_from_stream(Block& block);

  InStream* in_ = nullptr;
  std::uint64_t data_start_ = 0;  // where the data begins in the file
  std::uint64_t next_start_ = 0;  // the next range's first byte
  WorkerPool* pool_ = nullptr;
  std::size_t block_bytes_ = 0;
  std::size_t block_cells_ = 0;
  int block_total_ = 0;
  std::unique_ptr<Block[]> blocks_;
  int current_ = 0;           // the block cells are taken from
  bool current_waited_ = false;
  std::size_t taken_ = 0;     // of the current block's cells
};

}  // namespace plotveil
