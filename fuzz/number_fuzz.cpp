// Numbers in text grids, checked against independent models.
//
// The input bytes are a text grid's data. They are read through the tool's
// text stream with read_number, and every read must agree with a plain model
// of the number syntax whose values come from strtod: same success, same value
// to the bit, nothing stored on failure. Each token is also fed to the scanner
// byte by byte. Every value read, and every 8-byte piece of the input taken as
// a double, is written with format_number, compared with a reference text built
// from printf's 17 correctly rounded digits, and read back, which must give the
// value rounded to six significant digits. The data is then read again as a
// grid's cells are, in blocks, which must give the same numbers, and texts
// kept for writing them again that are written as their values are; and as
// one block whose white space is found with vector instructions and in plain
// arithmetic, which must agree. Every value's text found several at a time,
// where one is, must be the one format_number writes.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "grid/files/byte_streams.hpp"
#include "grid/files/text_input.hpp"
#include "grid/numbers/reading/number_scan.hpp"
#include "grid/numbers/reading/text_block.hpp"
#include "grid/numbers/writing/fixed_texts.hpp"
#include "grid/numbers/writing/number_format.hpp"
#include "grid/pipeline/text_cell_source.hpp"
#include "grid/pipeline/worker_pool.hpp"
#include "scratch_dir.hpp"
#include "text_model.hpp"

namespace {

using plotveil::NumberScanner;
using plotveil_fuzz::ModelRead;
using plotveil_fuzz::Reference;
using plotveil_fuzz::model_read;
using plotveil_fuzz::reference_text;

[[noreturn]] void fault(const char* what, std::string_view detail) {
  std::printf("FAULT: %s [%.*s]\n", what, static_cast<int>(detail.size()), detail.data());
  std::fflush(stdout);
  std::abort();
}

std::uint64_t bits_of(double v) { return std::bit_cast<std::uint64_t>(v); }

// The scanner over data[start, size), fed in pieces of `step` bytes.
struct ScanResult {
  bool ok = false;
  double value = 0;
  std::size_t end = 0;
};

ScanResult scan(const char* data, std::size_t size, std::size_t start, std::size_t step) {
  NumberScanner scanner;
  const char* p = data + start;
  const char* limit = data + size;
  while (!scanner.done() && p < limit) {
    const char* piece_end = static_cast<std::size_t>(limit - p) > step ? p + step : limit;
    p = scanner.feed(p, piece_end);
  }
  if (!scanner.done()) scanner.finish();
  ScanResult r;
  r.ok = scanner.succeeded();
  if (r.ok) r.value = scanner.value();
  r.end = static_cast<std::size_t>(p - data);
  return r;
}

void check_format(double v) {
  char out[plotveil::kMaxNumberText];
  char* end = plotveil::format_number(v, out);
  std::string_view text(out, static_cast<std::size_t>(end - out));
  if (text.size() > 13) fault("number text longer than 13 bytes", text);
  Reference ref = reference_text(v);
  if (text != ref.text) {
    char shown[160];
    std::snprintf(shown, sizeof shown, "%.17g %016llx: got %.*s, want %s", v,
                  static_cast<unsigned long long>(bits_of(v)), static_cast<int>(text.size()),
                  text.data(), ref.text.c_str());
    fault("format_number", shown);
  }
  // Texts found several at a time are the same, for the value and its negative.
  const double values[4] = {v, -v, v, -v};
  plotveil::CellText texts[4] = {};
  plotveil::fill_fixed_texts(values, texts, 4);
  for (int k = 0; k < 2; ++k) {
    if (texts[k] == 0) continue;
    char put[plotveil::kMaxNumberText];
    char again[plotveil::kMaxNumberText];
    const std::string_view found(put, static_cast<std::size_t>(plotveil::put_cell_text(texts[k], put) - put));
    const std::string_view formatted(again, static_cast<std::size_t>(plotveil::format_number(values[k], again) - again));
    if (found != formatted) fault("a text found several at a time differs", formatted);
  }
  if (ref.finite_nonzero) {
    ScanResult back = scan(text.data(), text.size(), 0, text.size());
    if (!back.ok || back.end != text.size() || bits_of(back.value) != bits_of(ref.rounded)) {
      fault("number text does not read back to six digits", text);
    }
  } else if (!std::isnan(v) && !std::isinf(v)) {
    // Zero reads back with its sign.
    ScanResult back = scan(text.data(), text.size(), 0, text.size());
    if (!back.ok || bits_of(back.value) != bits_of(v)) fault("zero does not read back", text);
  } else {
    // A word reads as its leading 1 and stops at the '#'.
    ScanResult back = scan(text.data(), text.size(), 0, text.size());
    if (!back.ok || std::fabs(back.value) != 1.0 || text[back.end] != '#') {
      fault("word does not read as 1", text);
    }
  }
}

void check_scanner(const char* data, std::size_t size, const ModelRead& m) {
  ScanResult whole = scan(data, size, m.start, size);
  if (whole.ok != m.ok || (m.ok && bits_of(whole.value) != bits_of(m.value)) ||
      whole.end != m.next) {
    fault("scanner disagrees with the model", std::string_view(data + m.start, m.next - m.start));
  }
  if (m.next - m.start > 4096) return;
  ScanResult bytewise = scan(data, size, m.start, 1);
  if (bytewise.ok != whole.ok || bits_of(bytewise.value) != bits_of(whole.value) ||
      bytewise.end != whole.end) {
    fault("scanner fed byte by byte differs", std::string_view(data + m.start, m.next - m.start));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const char* data = reinterpret_cast<const char*>(bytes);

  for (std::size_t i = 0; i + 8 <= size && i < 8 * 64; i += 8) {
    double v;
    std::memcpy(&v, data + i, 8);
    check_format(v);
  }

  static const std::string path = plotveil_fuzz::scratch_path("numbers.asc");
  plotveil_fuzz::write_scratch_file(path, data, size);
  plotveil::InStream in;
  if (plotveil::open_input(in, path) != plotveil::OpenInput::ok) fault("cannot open", path);
  if (!plotveil::rewind_input(in, true)) fault("cannot rewind", path);

  // A text input's data ends at its first 0x1A byte.
  const void* mark = std::memchr(data, 0x1A, size);
  const std::size_t text_size = mark ? static_cast<std::size_t>(static_cast<const char*>(mark) - data) : size;

  const double sentinel = std::bit_cast<double>(std::uint64_t{0x7ff4'dead'beef'0001});
  std::size_t pos = 0;
  for (;;) {
    ModelRead m = model_read(data, text_size, pos);
    double got = sentinel;
    bool ok = plotveil::read_number(in, got);
    if (ok != m.ok) {
      fault(ok ? "read_number took what the syntax refuses" : "read_number refused a number",
            std::string_view(data + m.start, m.next - m.start));
    }
    if (m.start < text_size) check_scanner(data, text_size, m);
    if (!ok) {
      if (bits_of(got) != bits_of(sentinel)) fault("a failed read stored a value", "");
      if (m.next == m.start) {
        // A stall: the next read stops at the same byte and stores nothing.
        if (plotveil::read_number(in, got) || bits_of(got) != bits_of(sentinel)) {
          fault("a stalled read went on", std::string_view(data + m.start, text_size - m.start));
        }
        break;
      }
    } else {
      if (bits_of(got) != bits_of(m.value)) {
        fault("read_number value differs from strtod", std::string_view(data + m.start, m.next - m.start));
      }
      check_format(got);
    }
    pos = m.next;
  }

  // The same data read as a grid's cells are: cut into blocks of 1 to 200
  // bytes (across the 64-byte windows white space is found in), taken 1 to 13
  // cells at a time. The cells are the reads above, up to the first that
  // fails or does not end at white space or the end of the data (a cell is a
  // whole word), where taking them stops; a text kept for writing a
  // cell again is its token and its value's written text.
  if (!plotveil::rewind_input(in, true)) fault("cannot rewind", path);
  const std::size_t batch = 1 + (size > 0 ? bytes[0] % 13 : 0);
  const std::size_t block_bytes = 1 + (size > 1 ? bytes[1] % 200 : 0);
  plotveil::WorkerPool pool;  // no workers: each block is read when it is waited for
  plotveil::TextCellSource source;
  if (!source.start(in, pool, block_bytes, 2, true)) fault("no memory for blocks", "");
  std::vector<double> cells(batch);
  std::vector<plotveil::CellText> texts(batch);
  pos = 0;
  for (bool more = true; more;) {
    std::fill(cells.begin(), cells.end(), sentinel);
    const std::size_t got = source.take(cells.data(), batch, texts.data());
    if (got > batch) fault("the cells read more than they were asked", "");
    for (std::size_t i = 0; i <= got && i < batch; ++i) {
      ModelRead m = model_read(data, text_size, pos);
      const std::string_view token(data + m.start, m.next - m.start);
      const bool whole_word = m.ok && (m.next == text_size || plotveil_fuzz::is_text_space(data[m.next]));
      if (i < got) {
        if (!whole_word) fault("the cells took what is no whole number", token);
        if (bits_of(cells[i]) != bits_of(m.value)) fault("a cell differs from strtod", token);
        if (texts[i] != 0) {
          // A kept text is the token itself and what writing the value gives.
          char kept[plotveil::kMaxNumberText];
          char written[plotveil::kMaxNumberText];
          const std::string_view kept_text(kept, plotveil::put_cell_text(texts[i], kept) - kept);
          const std::string_view written_text(written, plotveil::format_number(cells[i], written) - written);
          if (kept_text != token || written_text != token) fault("a kept text is not what is written", token);
        }
      } else {
        if (whole_word) fault("the cells refused a number", token);
        if (bits_of(cells[i]) != bits_of(sentinel)) fault("a failed take stored a value", token);
        more = false;
      }
      pos = m.next;
    }
  }

  // The whole data as one block: white space found with vector instructions
  // and in plain arithmetic, the same cells, texts and stop.
  std::string block(data, text_size);
  block.append(1 + plotveil::kTextBlockReach, ' ');
  std::vector<double> vector_cells(text_size + 1), plain_cells(text_size + 1);
  std::vector<plotveil::CellText> vector_texts(text_size + 1), plain_texts(text_size + 1);
  bool vector_stops = false, plain_stops = false;
  const std::size_t vector_count =
      plotveil::read_text_block(block.data(), text_size, vector_cells.data(), vector_texts.data(), vector_stops);
  const std::size_t plain_count =
      plotveil::read_text_block_portable(block.data(), text_size, plain_cells.data(), plain_texts.data(), plain_stops);
  if (vector_count != plain_count || vector_stops != plain_stops) fault("vector and plain blocks differ", "");
  for (std::size_t i = 0; i < vector_count; ++i) {
    if (bits_of(vector_cells[i]) != bits_of(plain_cells[i]) || vector_texts[i] != plain_texts[i]) {
      fault("vector and plain cells differ", "");
    }
  }
  return 0;
}
