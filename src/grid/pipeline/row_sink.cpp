#include "grid/pipeline/row_sink.hpp"

namespace plotveil {

RowSink row_sink(OutStream& out, OutputFormat format, const RowShape& shape, const std::string& out_name,
                 double* cells, CellText* texts, TextRowWriter* behind, TextRowWriter::RowWritten row_written,
                 WriteBehind* flushes) {
  RowSink sink;
  sink.out = &out;
  sink.format = format;
  sink.shape = shape;
  sink.out_name = &out_name;
  sink.cells = cells;
  sink.texts = texts;
  sink.behind = behind;
  sink.row_written = row_written;
  sink.flushes = flushes;
  if (behind != nullptr) sink.kind = behind->rows_fit_slots() ? RowSink::Kind::into_slots : RowSink::Kind::through_row;
  return sink;
}

double* row_space(RowSink& sink) {
  switch (sink.kind) {
    case RowSink::Kind::stream:
      sink.space_texts = nullptr;
      return sink.cells;
    case RowSink::Kind::into_slots:
      return sink.behind->row_space(sink.space_texts);
    case RowSink::Kind::through_row:
      sink.space_texts = sink.texts;
      return sink.cells;
  }
  return sink.cells;
}

void write_row(RowSink& sink, std::int64_t row) {
  switch (sink.kind) {
    case RowSink::Kind::stream:
      write_row_cells(*sink.out, sink.format, sink.cells, sink.shape, row, *sink.out_name);
      row_done(*sink.out, sink.row_written);
      return;
    case RowSink::Kind::into_slots:
      sink.behind->row_filled(row);
      return;
    case RowSink::Kind::through_row:
      sink.behind->add_row(sink.cells, sink.texts, row);
      return;
  }
}

void finish_rows(RowSink& sink) {
  if (sink.behind != nullptr) sink.behind->finish();
  if (sink.flushes != nullptr && !sink.flushes->settle()) fail_write(*sink.out, *sink.out_name);
}

}  // namespace plotveil
