#include "run_model.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "text_model.hpp"

namespace plotveil_fuzz {
namespace {

// An input grid as the tool reads it: its encoding from the first bytes, its
// header, then its cells one at a time.
struct ModelGrid {
  std::string_view bytes;   // a text grid's data ends at its first 0x1A byte
  int cell = 0;             // bytes per binary value; 0 for a text grid
  double header[13] = {};
  std::size_t next = 0;     // a text grid's next byte, a binary grid's next value

  double value_at(std::size_t index) const {
    if (cell == 8) {
      double v;
      std::memcpy(&v, bytes.data() + index * 8, 8);
      return v;
    }
    float v;
    std::memcpy(&v, bytes.data() + index * 4, 4);
    return static_cast<double>(v);
  }

  bool next_cell(double& v) {
    if (cell == 0) {
      ModelRead m = model_read(bytes.data(), bytes.size(), next);
      // A cell is the whole word: its number must run to white space or the end.
      if (!m.ok || (m.next < bytes.size() && !is_text_space(bytes[m.next]))) return false;
      v = m.value;
      next = m.next;
      return true;
    }
    if ((next + 1) * static_cast<std::size_t>(cell) > bytes.size()) return false;
    v = value_at(next++);
    return true;
  }
};

// The field a header keyword names: 1 to 6; 0 for a word that is none; -1
// for dx or dy (cells that are not square, which no header holds).
int keyword_field(std::string word) {
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const char* names[] = {"ncols", "nrows", "xllcorner", "yllcorner", "cellsize", "nodata_value"};
  for (int k = 0; k < 6; ++k) {
    if (word == names[k]) return k + 1;
  }
  if (word == "xllcenter") return 3;
  if (word == "yllcenter") return 4;
  return word == "dx" || word == "dy" ? -1 : 0;
}

bool is_centre(std::string word) {
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return word == "xllcenter" || word == "yllcenter";
}

bool open_grid(std::string_view bytes, ModelGrid& grid) {
  std::string first(bytes.substr(0, 4));
  for (char& c : first) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (first == "ncol") {
    grid.bytes = bytes.substr(0, bytes.find('\x1a'));
    const std::string_view text = grid.bytes;
    std::string words[6];
    double values[6] = {};
    int lines = 0;
    for (; lines < 6; ++lines) {
      std::size_t start = grid.next;
      while (start < text.size() && is_text_space(text[start])) ++start;
      // A sixth word that begins as a number: five lines, no-data -9999.
      if (lines == 5 && start < text.size() && std::string_view("0123456789+-.").find(text[start]) != std::string_view::npos) {
        break;
      }
      if (!model_skip_word(text.data(), text.size(), grid.next)) return false;
      words[lines] = std::string(text.substr(start, grid.next - start));
      ModelRead m = model_read(text.data(), text.size(), grid.next);
      // A header value is a whole word too.
      if (!m.ok || (m.next < text.size() && !is_text_space(text[m.next]))) return false;
      values[lines] = m.value;
      grid.next = m.next;
    }
    bool by_name = true;
    for (int i = 0; i < lines; ++i) {
      if (keyword_field(words[i]) < 0) return false;
      by_name = by_name && keyword_field(words[i]) > 0;
    }
    grid.header[6] = -9999;
    bool centre[7] = {};
    if (by_name) {
      bool named[7] = {};
      for (int i = 0; i < lines; ++i) {
        const int k = keyword_field(words[i]);
        if (named[k]) return false;
        named[k] = true;
        grid.header[k] = values[i];
        centre[k] = is_centre(words[i]);
      }
      for (int k = 1; k <= 5; ++k) {
        if (!named[k]) return false;
      }
    } else {
      for (int i = 0; i < lines; ++i) grid.header[i + 1] = values[i];
      centre[3] = is_centre(words[2]);
      centre[4] = is_centre(words[3]);
    }
    for (int k = 3; k <= 4; ++k) {
      if (centre[k]) grid.header[k] = grid.header[k] - grid.header[5] / 2;
    }
    return true;
  }
  grid.bytes = bytes;
  double d;
  float f;
  if (bytes.size() >= 48 && (std::memcpy(&d, bytes.data() + 40, 8), d == -9999.0)) {
    grid.cell = 8;
  } else if (bytes.size() >= 24 && (std::memcpy(&f, bytes.data() + 20, 4), f == -9999.0f)) {
    grid.cell = 4;
  } else {
    return false;
  }
  if (bytes.size() < static_cast<std::size_t>(12 * grid.cell)) return false;
  for (int k = 1; k <= 12; ++k) grid.header[k] = grid.value_at(static_cast<std::size_t>(k - 1));
  grid.next = 12;
  return true;
}

void put_binary(std::string& out, double v, OutputKind kind) {
  if (kind == OutputKind::double_precision) {
    out.append(reinterpret_cast<const char*>(&v), 8);
  } else {
    float f = static_cast<float>(v);
    out.append(reinterpret_cast<const char*>(&f), 4);
  }
}

// A header value: the six-digit text where strtod gives the value back from
// it, else printf's "%.*g" with the fewest digits that do, its exponent
// widened to three digits.
std::string exact_text(double v) {
  std::string six = reference_text(v).text;
  if (!std::isfinite(v) || std::strtod(six.c_str(), nullptr) == v) return six;
  char text[64];
  for (int digits = 7; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, v);
    if (std::strtod(text, nullptr) == v) break;
  }
  std::string result = text;
  std::size_t e = result.find('e');
  if (e != std::string::npos) {
    std::string exponent = result.substr(e + 2);
    while (exponent.size() < 3) exponent = "0" + exponent;
    result = result.substr(0, e + 2) + exponent;
  }
  return result;
}

std::string text_header(const double* h) {
  auto whole = [](double v) { return std::to_string(static_cast<long>(static_cast<std::int32_t>(v))); };
  return "ncols\t" + whole(h[1]) + "\r\nnrows\t" + whole(h[2]) + "\r\nxllcorner\t" +
         exact_text(h[3]) + "\r\nyllcorner\t" + exact_text(h[4]) +
         "\r\ncellsize\t" + exact_text(h[5]) + "\r\nnodata_value\t" +
         exact_text(h[6]) + "\r\n";
}

}  // namespace

OutputKind model_output_kind(std::string_view option) {
  if (option.find("-f:") == std::string_view::npos) return OutputKind::text;
  std::size_t colon = option.find(':');
  char choice = colon + 1 < option.size() ? option[colon + 1] : '\0';
  return choice == 'd' ? OutputKind::double_precision
         : choice == 's' ? OutputKind::single
                         : OutputKind::text;
}

RunOutcome model_run(std::string_view first_bytes, std::string_view second_bytes, OutputKind kind) {
  RunOutcome outcome;
  ModelGrid first, second;
  if (!open_grid(first_bytes, first)) return outcome;
  double h[13];
  std::memcpy(h, first.header, sizeof h);
  const double ncols = h[1], nrows = h[2];
  const bool usable = ncols > -1.0 && ncols < 2147483647.0 && nrows > -2147483649.0 && nrows < 2147483648.0;
  if (usable) {
    outcome.size_known = true;
    outcome.width = static_cast<std::int32_t>(ncols);
    outcome.rows = nrows >= 1.0 ? static_cast<std::int64_t>(nrows) : 0;
  }
  if (!open_grid(second_bytes, second)) return outcome;
  for (int k = 1; k <= 6; ++k) {
    if (!(first.header[k] == second.header[k])) return outcome;
  }
  if (!usable) return outcome;
  // A single-precision header must give back the width and the row count.
  auto counted = [](double v) { return v >= 1.0 ? std::trunc(v) : 0.0; };
  auto kept_by_float = [&](double v) { return counted(static_cast<float>(v)) == counted(v); };
  if (kind == OutputKind::single && !(kept_by_float(ncols) && kept_by_float(nrows))) return outcome;

  const std::int32_t width = outcome.width;
  const bool line_end = ncols == static_cast<double>(width);
  const double n = h[6];
  double count = 0, low = 0, high = 0, sum = 0, squares = 0;
  std::string cells;
  // Zero-width rows read and write nothing, however many there are.
  const std::int64_t rows_with_cells = width > 0 ? outcome.rows : 0;
  for (std::int64_t r = 0; r < rows_with_cells; ++r) {
    for (std::int32_t c = 0; c < width; ++c) {
      // Either input running short ends the run the same way, so both rows are
      // walked side by side.
      double a = 0, mask = 0;
      if (!first.next_cell(a) || !second.next_cell(mask)) {
        outcome.end = RunOutcome::End::short_row;
        return outcome;
      }
      const double v = n >= mask ? n : a;
      if (kind == OutputKind::text) {
        // No-data cells as the header writes the value, so that they read back as no data.
        cells += std::memcmp(&v, &n, sizeof v) == 0 ? exact_text(n) : reference_text(v).text;
        cells += c + 1 < width || !line_end ? "\t" : "\r\n";
      } else {
        put_binary(cells, v, kind);
      }
      if (!(v > n + 1.0)) continue;
      sum += v;
      count += 1.0;
      squares += v * v;
      if (count == 1.0) {
        low = high = v;
      } else if (v < low) {
        low = v;
      } else if (v > high) {
        high = v;
      }
    }
  }
  outcome.end = RunOutcome::End::complete;
  if (kind == OutputKind::text) {
    outcome.output = text_header(h) + cells;
    return outcome;
  }
  h[7] = count;
  h[8] = low;
  h[9] = high;
  h[10] = sum;
  h[11] = count > 0 ? sum / count : -9999.0;
  if (count > 2) {
    const double spread = squares - (sum * sum) / count;
    h[12] = spread > 0 ? std::sqrt(spread / (count - 1)) : 0.0;
  } else {
    h[12] = -9999.0;
  }
  for (int k = 1; k <= 12; ++k) put_binary(outcome.output, h[k], kind);
  outcome.output += cells;
  return outcome;
}

}  // namespace plotveil_fuzz
