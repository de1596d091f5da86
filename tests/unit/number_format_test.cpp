#include "grid/numbers/writing/number_format.hpp"
#include "grid/numbers/reading/number_scan.hpp"
#include "grid/numbers/reading/text_block.hpp"
#include "grid/numbers/writing/fixed_texts.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <cstring>
#include <string>
#include <vector>

namespace plotveil {
namespace {

std::string text_of(double v) {
  char buffer[kMaxNumberText];
  return std::string(buffer, format_number(v, buffer));
}

double from_bits(std::uint64_t bits) { return std::bit_cast<double>(bits); }

TEST(FormatNumber, WritesSixSignificantDigitsInTheToolsForm) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {0.0, "0"}, {-0.0, "-0"}, {0.1, "0.1"}, {1.0 / 3.0, "0.333333"}, {12.5, "12.5"}, {-9999.0, "-9999"},
      {100000.0, "100000"}, {0.0001, "0.0001"}, {-0.000123456789, "-0.000123457"}, {1e100, "1e+100"},
      {std::numeric_limits<double>::max(), "1.79769e+308"},
      // Fixed or exponent form by the rounded exponent.
      {123456.0, "123456"}, {1234567.0, "1.23457e+006"}, {0.00012, "0.00012"}, {1e-5, "1e-005"},
      {1.5e-300, "1.5e-300"}, {1e22, "1e+022"}, {1234.567, "1234.57"}, {-2.0, "-2"}, {2.5e-12, "2.5e-012"},
      // The 17 correctly rounded digits rounded half away from zero: 0.1234565
      // is below the tie in binary, but its 17 digits are 1.2345650000000000e-1;
      // 1.234565's are 1.2345649999999999, although it was typed with a 5.
      {123456.5, "123457"}, {-123456.5, "-123457"}, {1234565.0, "1.23457e+006"}, {0.1234565, "0.123457"},
      {1.234565, "1.23456"}, {2.000005, "2"}, {1.000005, "1.00001"},
      // Carries into a new exponent; 99999.95 is 9.9999949999999997e4.
      {9.999995, "10"}, {99999.95, "99999.9"}, {999999.4, "999999"}, {999999.5, "1e+006"}, {1000000.0, "1e+006"},
      {9999995.0, "1e+007"}, {0.000099999951, "0.0001"}, {0.0000999999, "9.99999e-005"}, {0.00001, "1e-005"},
      // Subnormals.
      {from_bits(0x000FFFFFFFFFFFFFULL), "2.22507e-308"}, {-from_bits(0x0000000000000002ULL), "-9.88131e-324"},
      {std::numeric_limits<double>::denorm_min(), "4.94066e-324"},
      // Infinities, and each kind of NaN by its bits.
      {from_bits(0x7FF0000000000000ULL), "1.#INF"}, {from_bits(0xFFF0000000000000ULL), "-1.#INF"},
      {from_bits(0xFFF8000000000000ULL), "-1.#IND"}, {from_bits(0x7FF8000000000000ULL), "1.#QNAN"},
      {from_bits(0xFFF8000000000001ULL), "-1.#QNAN"}, {from_bits(0x7FFC000000000000ULL), "1.#QNAN"},
      {from_bits(0x7FF0000000000001ULL), "1.#SNAN"}, {from_bits(0xFFF4000000000000ULL), "-1.#SNAN"},
  };
  for (const Case& c : cases) EXPECT_EQ(text_of(c.value), c.text) << c.text;
}

// Both fast paths must round as the general one does wherever they decide.
void expect_same_digits(double v) {
  detail::SixDigits slow = detail::six_digits_reference(v);
  detail::SixDigits fast;
  if (detail::six_digits_exact(v, fast)) {
    ASSERT_EQ(fast.digits, slow.digits) << "exact " << std::hexfloat << v;
    ASSERT_EQ(fast.exponent, slow.exponent) << "exact " << std::hexfloat << v;
  }
  if (detail::six_digits_quick(v, fast)) {
    ASSERT_EQ(fast.digits, slow.digits) << "quick " << std::hexfloat << v;
    ASSERT_EQ(fast.exponent, slow.exponent) << "quick " << std::hexfloat << v;
  }
  // So must the texts found several at a time, of the value and its negative,
  // and a text already there stays.
  const double values[4] = {v, -v, -v, v};
  CellText texts[4] = {0, 0, 0, 1};
  fill_fixed_texts(values, texts, 4);
  ASSERT_EQ(texts[3], 1u);
  for (int k = 0; k < 3; ++k) {
    char put[kMaxNumberText];
    if (texts[k] != 0) {
      ASSERT_EQ(std::string(put, put_cell_text(texts[k], put)), text_of(values[k])) << std::hexfloat << v;
    }
  }
}

TEST(FormatNumberDigits, ExactPathAgreesWithReferenceOnRandomBits) {
  std::mt19937_64 random(20261207);
  // Exponents from 1e-7 to 1e39, beyond the exact path's reach on both sides.
  std::uniform_int_distribution<std::uint64_t> exponent(1023 - 24, 1023 + 130);
  for (int i = 0; i < 2'000'000; ++i) {
    std::uint64_t bits = (exponent(random) << 52) | (random() & 0x000FFFFFFFFFFFFFULL);
    expect_same_digits(std::bit_cast<double>(bits));
  }
}

TEST(FormatNumberDigits, ExactPathAgreesWithReferenceOnGridLikeValues) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<std::int64_t> thousandths(-10'000'000, 90'000'000);
  for (int i = 0; i < 1'000'000; ++i) {
    double v = std::fabs(static_cast<double>(thousandths(random)) / 1000.0);
    if (v != 0) expect_same_digits(v);
  }
}

// Where the rounding turns: the doubles around d.dddd5 x 10^x, the seventh
// digit a 5, and around powers of ten, where the exponent changes.
TEST(FormatNumberDigits, ExactPathAgreesAtEveryRoundingBoundary) {
  std::mt19937_64 random(11);
  std::uniform_int_distribution<int> six(100000, 999999);
  std::uniform_int_distribution<int> exponent(-8, 40);
  char text[64];
  for (int i = 0; i < 20'000; ++i) {
    std::snprintf(text, sizeof text, "%d5e%d", six(random), exponent(random) - 6);
    double v = std::strtod(text, nullptr);
    for (int k = 0; k < 40; ++k) v = std::nextafter(v, 0.0);
    for (int k = 0; k < 80; ++k, v = std::nextafter(v, INFINITY)) expect_same_digits(v);
  }
  for (int e = -8; e <= 40; ++e) {
    double v = std::pow(10.0, e);
    for (int k = 0; k < 50; ++k) v = std::nextafter(v, 0.0);
    for (int k = 0; k < 100; ++k, v = std::nextafter(v, INFINITY)) expect_same_digits(v);
  }
  // 18 significant digits ending in 5: the 17-digit rounding itself ties.
  for (double v : {1125899906842624.25, 1125899906842624.75, 562949953421312.125, 0.1234565}) {
    expect_same_digits(v);
  }
}

std::string exact_text_of(double v) {
  char buffer[kMaxExactNumberText];
  return std::string(buffer, format_exact_number(v, buffer));
}

// Header values: six digits where they read back, else the fewest that do.
TEST(FormatExactNumber, WritesTheTableOfExamples) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      // Six digits hold them: today's text.
      {25, "25"}, {-0.0, "-0"}, {0.1, "0.1"}, {1234.57, "1234.57"}, {2.5e-12, "2.5e-012"},
      {1e100, "1e+100"}, {1234560, "1.23456e+006"}, {1.5e-7, "1.5e-007"}, {-9999, "-9999"},
      {from_bits(1), "4.94066e-324"},   // the nearest double of six digits is the subnormal itself
      // UTM eastings and northings.
      {5600015, "5600015"}, {350002.5, "350002.5"}, {1234.5678, "1234.5678"}, {999999.5, "999999.5"},
      {12345678, "12345678"},
      {0.000833333333, "0.000833333333"},            // fixed down to an exponent of -4
      {1.234567e-7, "1.234567e-007"},
      {0.1 + 0.2, "0.30000000000000004"},
      {123456789012345680.0, "1.2345678901234568e+017"},   // exponent at the digit count
      {-3.4028234663852886e+38, "-3.4028234663852886e+038"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
      {std::numeric_limits<double>::min(), "2.2250738585072014e-308"},
      {from_bits(0x7FF8000000000000u), "1.#QNAN"},
      {-std::numeric_limits<double>::infinity(), "-1.#INF"},
  };
  for (const Case& c : cases) EXPECT_EQ(exact_text_of(c.value), c.text) << c.text;
}

TEST(FormatExactNumber, ReadsBackAsTheSameDoubleOnRandomBits) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 200000; ++i) {
    const double value = from_bits(random() & 0x7FEFFFFFFFFFFFFFu) * (i % 2 ? -1 : 1);
    const std::string text = exact_text_of(value);
    NumberScanner scanner;
    ASSERT_EQ(scanner.feed(text.data(), text.data() + text.size()), text.data() + text.size()) << text;
    scanner.finish();
    ASSERT_TRUE(scanner.succeeded()) << text;
    ASSERT_EQ(std::bit_cast<std::uint64_t>(scanner.value()), std::bit_cast<std::uint64_t>(value)) << text;
    ASSERT_LE(text.size(), 24u) << text;
  }
}

}  // namespace
}  // namespace plotveil

namespace plotveil {
namespace {

// Appends the text `format_number` writes for d.ddddd x 10^x10 (d: six
// digits, x10 from -4 to 5), built here apart from the tool's layout.
void append_fixed_text(int six, int x10, std::string& out) {
  char digits[6];
  for (int i = 5, rest = six; i >= 0; --i, rest /= 10) digits[i] = static_cast<char>('0' + rest % 10);
  int n = 6;
  while (n > 1 && digits[n - 1] == '0') --n;
  if (x10 < 0) {
    out.append("0.").append(static_cast<std::size_t>(-x10 - 1), '0').append(digits, static_cast<std::size_t>(n));
    return;
  }
  const int whole = x10 + 1;
  if (n <= whole) {
    out.append(digits, static_cast<std::size_t>(n)).append(static_cast<std::size_t>(whole - n), '0');
    return;
  }
  out.append(digits, static_cast<std::size_t>(whole)).append(".").append(digits + whole, static_cast<std::size_t>(n - whole));
}

// A text kept from the input must be what formatting its value writes: tried
// for every text in the form the writer uses that fits eight bytes (every six
// digits at every exponent of the fixed form, and a sign on every seventh).
TEST(KeptTexts, EveryKeptTextIsWhatItsValueIsWrittenAs) {
  constexpr std::size_t kBatch = 100000;
  std::string block;
  std::vector<std::size_t> starts;  // of each text in the block, and one past the last
  std::vector<double> cells(kBatch);
  std::vector<CellText> kept(kBatch);
  auto read_and_check = [&] {
    const std::size_t count = starts.size() - 1;
    const std::size_t size = block.size();
    block.append(1 + kTextBlockReach, ' ');
    bool stops = true;
    ASSERT_EQ(read_text_block(block.data(), size, cells.data(), kept.data(), stops), count);
    EXPECT_FALSE(stops);
    for (std::size_t i = 0; i < count; ++i) {
      const char* text = block.data() + starts[i];
      std::size_t length = starts[i + 1] - starts[i] - 1;  // without its blank
      char written[kMaxNumberText];
      char put[kMaxNumberText];
      const bool same = format_number(cells[i], written) - written == static_cast<std::ptrdiff_t>(length) &&
                        std::memcmp(written, text, length) == 0;
      const bool kept_right = kept[i] == 0 ? length > kCellTextReach
                                           : put_cell_text(kept[i], put) - put == static_cast<std::ptrdiff_t>(length) &&
                                                 std::memcmp(put, text, length) == 0;
      ASSERT_TRUE(same && kept_right) << std::string(text, length) << " is written as " << text_of(cells[i])
                                      << ", kept " << kept[i];
    }
    block.clear();
    starts.assign(1, 0);
  };
  starts.assign(1, 0);
  for (int x10 = -4; x10 <= 5; ++x10) {
    for (int six = 100000; six <= 999999; ++six) {
      if (six % 7 == 0) block += '-';
      append_fixed_text(six, x10, block);
      block += six % 3 == 0 ? '\n' : ' ';
      starts.push_back(block.size());
      if (starts.size() == kBatch + 1) read_and_check();
    }
  }
  read_and_check();
}

TEST(KeptTexts, TextsTheWriterWouldChangeAreNotKept) {
  struct Case {
    const char* text;
    bool kept;
  };
  const Case cases[] = {
      {"-9999", true},   {"0.0001", true},   {"999999", true},   {"-1234.56", true},  {"1000", true},
      {"+1", false},     {"01", false},      {"1.", false},      {".5", false},       {"1.50", false},
      {"1e2", false},    {"0", false},       {"-0", false},      {"0.00001", false},  {"1234567", false},
      {"1234.567", false}, {"-0.00123", true}, {"-0.000123", false},  {"00.5", false}, {"-0.0", false},
  };
  // Alone, and four together as several short numbers are taken at once.
  for (const Case& c : cases) {
    for (int n : {1, 4}) {
      std::string block;
      for (int i = 0; i < n; ++i) block = block + c.text + " ";
      const std::size_t size = block.size() - 1;
      block.append(kTextBlockReach, ' ');
      double cells[4] = {};
      CellText kept[4] = {1, 1, 1, 1};
      bool stops = true;
      ASSERT_EQ(read_text_block(block.data(), size, cells, kept, stops), static_cast<std::size_t>(n)) << c.text;
      for (int i = 0; i < n; ++i) {
        EXPECT_EQ(kept[i] != 0, c.kept) << c.text;
        if (c.kept) {
          EXPECT_EQ(text_of(cells[i]), c.text);
        }
      }
    }
  }
}

}  // namespace
}  // namespace plotveil
