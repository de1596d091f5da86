#include "grid/files/rows.hpp"

#include <cstring>

#include "base/failure.hpp"
#include "base/messages.hpp"

namespace plotveil {
namespace {


// Single cells, unaligned in a byte buffer, widened exactly.
void widen_cells(const void* from, double* to, std::size_t count) {
  const char* bytes = static_cast<const char*>(from);
  for (std::size_t c = 0; c < count; ++c) {
    float cell;
    std::memcpy(&cell, bytes + c * sizeof(float), sizeof cell);
    to[c] = static_cast<double>(cell);
  }
}

// Round to nearest, ties to even; beyond the single range an infinity.
void narrow_cells(const double* from, void* to, std::size_t count) {
  char* bytes = static_cast<char*>(to);
  for (std::size_t c = 0; c < count; ++c) {
    const float cell = static_cast<float>(from[c]);
    std::memcpy(bytes + c * sizeof(float), &cell, sizeof cell);
  }
}

}  // namespace

void fail_write(const OutStream& out, const std::string& out_name) {
  const FlushSite& site = out.failed_site;
  if (site.column == 0) fail(ExitCode::write_row, msg::error_writing_row, static_cast<int>(site.row), out_name.c_str());
  fail(ExitCode::write_row, msg::error_writing_cell, static_cast<int>(site.row), static_cast<int>(site.column),
       out_name.c_str());
}

void fail_short_row(const std::string& name, std::int64_t row, std::int64_t read) {
  fail(ExitCode::short_input_row, msg::error_reading_row, name.c_str(), static_cast<int>(row),
       static_cast<int>(read));
}

RowShape row_shape(double ncols) {
  RowShape shape;
  shape.width = static_cast<std::int32_t>(ncols);
  shape.line_end = ncols == static_cast<double>(shape.width);
  return shape;
}

std::int64_t read_row_cells(InStream& in, GridEncoding encoding, const RowShape& shape, double* cells,
                            float* narrow) {
  const std::size_t width = static_cast<std::size_t>(shape.width);
  switch (encoding) {
    case GridEncoding::double_precision:
      return static_cast<std::int64_t>(read_input(in, cells + 1, width * sizeof(double)) / sizeof(double));
    case GridEncoding::single_precision: {
      const std::size_t bytes = width * sizeof(float);
      if (bytes <= in.capacity) {
        // A row that fits the stream's buffer is widened from there.
        std::size_t held = fill_input(in, bytes);
        std::size_t whole = (held < bytes ? held : bytes) / sizeof(float);
        if (whole < width) return static_cast<std::int64_t>(whole);
        widen_cells(input_bytes(in), cells + 1, width);
        consume_input(in, bytes);
        return shape.width;
      }
      std::size_t got = read_input(in, narrow + 1, bytes);
      if (got < bytes) return static_cast<std::int64_t>(got / sizeof(float));
      widen_cells(narrow + 1, cells + 1, width);
      return shape.width;
    }
    case GridEncoding::ascii:
      break;  // text cells are read in blocks (grid/pipeline/text_cell_source.hpp)
  }
  return 0;
}

// Every cell that begins with cell_room bytes of room left goes in: up to the
// end of the cell that holds the last byte such a cell may begin at. Cells
// begin after a tab or a line feed; a number holds neither.
std::size_t cells_taken(const char* text, std::size_t done, std::size_t size, std::size_t room,
                        std::size_t cell_room) {
  const std::size_t stop = done + (room - cell_room) + 1;
  if (stop >= size) return size;
  std::size_t end = stop;
  while (end < size && text[end - 1] != '\t' && text[end - 1] != '\n') ++end;
  return end;
}

void write_row_text(OutStream& out, const char* text, std::size_t size, std::size_t cell_room, std::int64_t row,
                    const std::string& out_name) {
  out.site = FlushSite{row, 0};
  std::size_t done = 0;
  while (done < size) {
    std::size_t room = 0;
    char* space = output_space(out, room);
    if (room < cell_room) {
      if (!flush_output_for(out, cell_room)) fail_write(out, out_name);
      continue;
    }
    const std::size_t stop = cells_taken(text, done, size, room, cell_room);
    std::memcpy(space, text + done, stop - done);
    commit_output(out, stop - done);
    done = stop;
  }
}

void write_row_cells(OutStream& out, OutputFormat format, const double* cells, const RowShape& shape,
                     std::int64_t row, const std::string& out_name) {
  const std::size_t width = static_cast<std::size_t>(shape.width);
  out.site = FlushSite{row, 0};
  if (format.cell_bytes == sizeof(double)) {
    if (write_output(out, cells + 1, width * sizeof(double)) < width * sizeof(double)) fail_write(out, out_name);
    return;
  }
  // Cells are narrowed straight into the stream's buffer, as many as it has
  // room for at a time; a failed flush names the first cell not taken.
  std::size_t done = 0;
  while (done < width) {
    std::size_t bytes = 0;
    char* space = output_space(out, bytes);
    const std::size_t room = bytes / sizeof(float);
    if (room == 0) {
      out.site.column = static_cast<std::int64_t>(done + 1);
      if (!flush_output(out)) fail_write(out, out_name);
      continue;
    }
    std::size_t take = room < width - done ? room : width - done;
    narrow_cells(cells + 1 + done, space, take);
    commit_output(out, take * sizeof(float));
    done += take;
  }
}

}  // namespace plotveil
