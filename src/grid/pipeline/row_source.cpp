#include "grid/pipeline/row_source.hpp"

namespace plotveil {

const double* read_row(RowSource& source, std::int64_t row) {
  const double* cells = source.cells;
  std::int64_t got = 0;
  if (source.ahead != nullptr) {
    std::size_t taken = 0;
    cells = source.ahead->next_row(source.cells, source.texts, static_cast<std::size_t>(source.shape.width), taken,
                                   source.row_texts);
    got = static_cast<std::int64_t>(taken);
  } else if (source.rows_ahead != nullptr) {
    cells = source.rows_ahead->next_row(got);
  } else {
    got = read_row_cells(*source.in, source.encoding, source.shape, source.cells, source.narrow);
  }
  if (got == source.shape.width) return cells;
  if (source.written_first != nullptr) finish_rows(*source.written_first);
  fail_short_row(*source.name, row, got);
}

}  // namespace plotveil
