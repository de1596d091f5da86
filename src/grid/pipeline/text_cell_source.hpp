// The cells of a text grid read ahead of the row loop. From where the header
// ends, the data is cut into blocks at white space (a number never spans white
// space), and worker threads turn each block into its numbers while the row
// loop takes the cells of earlier blocks in order. A block records where a read
// fails, so the cells taken are exactly those that reading number after number
// from the stream gives, up to its first failure or the end of its data.
#pragma once

#include <cstddef>
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

  // Takes over reading `in` from where it stands, `blocks` blocks of about
  // `block_bytes` bytes in flight (block_bytes < in.capacity), keeping the
  // cells' texts too with `keep_texts`. False when their memory cannot be
  // had; then nothing has been read.
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

  struct Block {
    std::unique_ptr<char[]> text;  // the bytes, one blank and kTextBlockReach bytes after them
    std::size_t size = 0;
    std::unique_ptr<double[]> cells;
    std::size_t count = 0;         // numbers read from the bytes, at indexes 1 to count
    std::unique_ptr<CellText[]> texts;  // their texts, when kept
    bool stops = false;            // no number can be read after them
    bool ready = false;            // read already: no job to wait for
    Job job;
  };

 private:
  void cut(Block& block);
  Block& current_block();
  void read_word_from_stream(Block& block);

  InStream* in_ = nullptr;
  WorkerPool* pool_ = nullptr;
  std::size_t block_bytes_ = 0;
  std::size_t block_cells_ = 0;
  int block_total_ = 0;
  std::unique_ptr<Block[]> blocks_;
  int current_ = 0;           // the block cells are taken from
  bool current_waited_ = false;
  std::size_t taken_ = 0;     // of the current block's cells
  bool data_over_ = false;    // nothing more to cut
};

}  // namespace plotveil
