#include "grid/numbers/reading/decimal_number.hpp"
#include "grid/numbers/reading/number_scan.hpp"
#include "grid/numbers/reading/text_block.hpp"
#include "grid/numbers/reading/white_space.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace plotveil {
namespace {

struct Scan {
  bool ok;
  double value;
  std::size_t stop;  // characters taken
};

// Scans the whole text as the rest of the data.
Scan scan(const std::string& text) {
  NumberScanner scanner;
  const char* stop = scanner.feed(text.data(), text.data() + text.size());
  if (!scanner.done()) scanner.finish();
  return Scan{scanner.succeeded(), scanner.succeeded() ? scanner.value() : 0.0,
              static_cast<std::size_t>(stop - text.data())};
}

std::uint64_t bits_of(double v) { return std::bit_cast<std::uint64_t>(v); }

// The one-pass conversion, where it settles a whole number, gives its value.
void expect_one_pass_agrees(const std::string& token, double want) {
  const std::string ended = token + "        ";
  double v = 0;
  // The plain form ("-827.50897216796875") as a whole word, where it takes it.
  if (scan_plain_decimal(ended.data(), ended.data() + token.size(), v)) {
    ASSERT_EQ(bits_of(v), bits_of(want)) << token;
  }
  const char* stop = scan_decimal(ended.data(), ended.data() + ended.size(), v);
  if (stop == nullptr) return;
  ASSERT_EQ(stop - ended.data(), static_cast<std::ptrdiff_t>(token.size())) << token;
  ASSERT_EQ(bits_of(v), bits_of(want)) << token;
}

TEST(NumberScanner, TakesTheNumberSyntaxAndStopsAtTheFirstCharacterThatDoesNotFit) {
  constexpr std::size_t kWhole = SIZE_MAX;  // the stop: after the whole text
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* text;
    bool ok;
    double value;
    std::size_t stop;
  };
  const Case cases[] = {
      {"12", true, 12, 2},
      {"-9999\r\n", true, -9999, 5},
      {"+3.25 ", true, 3.25, 5},
      {".5", true, 0.5, 2},
      {"5.", true, 5, 2},
      {"-.5e1", true, -5, 5},
      {"1.5.3", true, 1.5, 3},
      {"2.5e-3x", true, 0.0025, 6},
      {"7e", true, 7, 2},          // an "e" after a digit is taken
      {"7e+x", true, 7, 3},        // and so is its sign
      {"7E2", true, 700, 3},
      {"5.e3", true, 5000, 4},
      {"0x1A", true, 0, 1},        // hexadecimal yields its 0
      {"1.#INF", true, 1, 2},      // the words this tool writes
      {"-nan", false, 0, 1},       // the sign is taken, the word is not
      {"inf", false, 0, 0},
      {"+-5", false, 0, 1},
      {"-.x", false, 0, 2},
      {".e5", false, 0, 1},
      {"e5", false, 0, 0},
      {"", false, 0, 0},
      {"-", false, 0, 1},
      {".", false, 0, 1},
      // Beyond the double range, what strtod stores: an infinity, the nearest
      // subnormal or a signed zero.
      {"1e400", true, inf, kWhole},
      {"-1e400", true, -inf, kWhole},
      {"1e-400", true, 0.0, kWhole},
      {"-1e-400", true, -0.0, kWhole},
      {"4.9406564584124654e-324", true, std::numeric_limits<double>::denorm_min(), kWhole},
      {"3e-324", true, std::numeric_limits<double>::denorm_min(), kWhole},
      {"2e-324", true, 0.0, kWhole},
      {"1.7976931348623158e308", true, std::numeric_limits<double>::max(), kWhole},
      {"1.7976931348623159e308", true, inf, kWhole},
      {"-0", true, -0.0, kWhole},
      {"-0.000e5", true, -0.0, kWhole},
      {"1e99999999999999999999", true, inf, kWhole},  // an exponent past any integer
      {"0.0000000000000000000000000000001e-99999999999999", true, 0.0, kWhole},
  };
  for (const Case& c : cases) {
    Scan s = scan(c.text);
    EXPECT_EQ(s.ok, c.ok) << '"' << c.text << '"';
    EXPECT_EQ(s.stop, c.stop == kWhole ? std::strlen(c.text) : c.stop) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_EQ(bits_of(s.value), bits_of(c.value)) << '"' << c.text << '"';
    }
  }
}

TEST(NumberScanner, RoundsVeryLongNumbersCorrectly) {
  // Halfway between 1 and the next double, then a hair above it far out.
  std::string half = "1.00000000000000011102230246251565404236316680908203125";
  EXPECT_EQ(scan(half).value, 1.0);  // a tie goes to even
  std::string above = half + std::string(2000, '0') + "1";
  EXPECT_EQ(scan(above).value, std::nextafter(1.0, 2.0));
  std::string many = std::string(5000, '9') + "e-4990";
  EXPECT_EQ(scan(many).value, std::strtod(("1e" + std::to_string(10)).c_str(), nullptr));
  std::string leading = "0." + std::string(3000, '0') + "15e3010";
  EXPECT_EQ(scan(leading).value, 1.5e9);
}

TEST(NumberScanner, ReadsInPiecesAsInOne) {
  const std::string text = "-123.456789012345678901234e-7 ";
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    NumberScanner scanner;
    const char* p = scanner.feed(text.data(), text.data() + cut);
    if (!scanner.done()) p = scanner.feed(p, text.data() + text.size());
    ASSERT_TRUE(scanner.succeeded()) << cut;
    EXPECT_EQ(p - text.data(), static_cast<std::ptrdiff_t>(text.size() - 1)) << cut;
    EXPECT_EQ(scanner.value(), std::strtod(text.c_str(), nullptr)) << cut;
  }
}

// Random numbers of the grammar, from plain grid values to extremes, must come
// out bit for bit as strtod reads them.
std::string random_token(std::mt19937_64& random) {
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<std::uint64_t>(n)); };
  std::string t;
  if (pick(3) == 0) t += pick(2) ? '-' : '+';
  int whole = pick(5) == 0 ? pick(25) : pick(7);
  int fraction = pick(4) == 0 ? pick(25) : pick(5);
  if (whole == 0 && fraction == 0) whole = 1;
  for (int i = 0; i < whole; ++i) t += static_cast<char>('0' + pick(10));
  if (fraction > 0 || pick(4) == 0) {
    t += '.';
    for (int i = 0; i < fraction; ++i) t += static_cast<char>('0' + pick(10));
  }
  if (pick(3) == 0) {
    t += pick(2) ? 'e' : 'E';
    if (pick(2)) t += pick(2) ? '-' : '+';
    int digits = 1 + pick(3);
    for (int i = 0; i < digits; ++i) t += static_cast<char>('0' + pick(10));
  }
  return t;
}

TEST(NumberScanner, AgreesWithStrtodOnRandomNumbers) {
  std::mt19937_64 random(42);
  int plain_taken = 0;
  int short_taken = 0;
  for (int i = 0; i < 1'000'000; ++i) {
    std::string token = random_token(random);
    Scan s = scan(token);
    ASSERT_TRUE(s.ok) << token;
    ASSERT_EQ(s.stop, token.size()) << token;
    ASSERT_EQ(bits_of(s.value), bits_of(std::strtod(token.c_str(), nullptr))) << token;
    // The one-pass path, where it takes a number, agrees to the bit and the stop.
    std::string ended = token + " ";
    double plain = 0;
    const char* stop = scan_decimal(ended.data(), ended.data() + ended.size(), plain);
    if (stop != nullptr) {
      ASSERT_EQ(stop - ended.data(), static_cast<std::ptrdiff_t>(token.size())) << token;
      ASSERT_EQ(bits_of(plain), bits_of(s.value)) << token;
      ++plain_taken;
    }
    // So does the short path, given the whole word.
    ended.append(kShortWordReach, ' ');
    ShortNumber number;
    if (scan_short_word(ended.data(), token.size(), number)) {
      ASSERT_EQ(bits_of(short_number_value(number)), bits_of(s.value)) << token;
      ++short_taken;
    }
  }
  EXPECT_GT(plain_taken, 300'000);
  EXPECT_GT(short_taken, 150'000);
}

// A block of text gives the cells that reading word after word gives, up to
// the first word that is not one whole number: with words of every kind, some
// holding more than one number ("1.5.3", "12-5", "5,6"), at every offset of
// the 64-byte windows white space is found in, with the vector and the plain
// forms of finding it.
TEST(TextBlock, ReadsTheNumbersThatReadingNumberAfterNumberReads) {
  std::mt19937_64 random(45);
  const char* odd[] = {"1.5.3", "12-5", "7e", "7e+x", "-.5", "5.", "+3", "0x1A", "1.#INF", "12345678",
                       "-1234567.5", "9999999", "00000000001", "1.e5", "-0", "-", "x", ".",
                       "-.", "+.", "1..", ".1234567", "+12345678", "-1234567.", "1234567.8", "5,6", "1e-5-3",
                       "12345678-9", "1-2", "123456789012345678901234.5.6", "-nan", "inf", "-1.#IND", "e5", ",",
                       "1..2", "7ex", "\x01", "12345678.5", "1.23456789012345678901", "-0.0", "1.2x",
                       "1234567.123456789012"};
  const char* spaces[] = {" ", "\t", "\r\n", "\n", "\v\f ", "  \t  "};
  // As other programs write a raster's cells: a single's decimal, 20 digits.
  auto float_word = [&random] {
    char word[64];
    const double scale = random() % 4 == 0 ? 1e-12 : 1e-4;
    const float cell = static_cast<float>(static_cast<double>(random() % 100000000) * scale);
    std::snprintf(word, sizeof word, "%.*g", 15 + static_cast<int>(random() % 6), static_cast<double>(cell));
    return std::string(random() % 2 ? "-" : "") + word;
  };
  for (int b = 0; b < 4000; ++b) {
    std::string text;
    for (int w = 0; w < 40; ++w) {
      const std::uint64_t kind = random() % 6;
      text += kind == 0 ? std::string(odd[random() % std::size(odd)]) : kind == 1 ? float_word() : random_token(random);
      text += spaces[random() % std::size(spaces)];
      if (random() % 50 == 0) text.append(random() % 64, ' ');
    }
    const std::size_t size = text.size();
    text.append(1 + kTextBlockReach, ' ');
    // The reference: white space skipped, then one number that must end at
    // white space, until one fails.
    std::vector<double> expected;
    const char* p = text.data();
    const char* end = text.data() + size;
    bool expect_stop = false;
    for (;;) {
      while (p < end && is_text_space(*p)) ++p;
      if (p == end) break;
      NumberScanner scanner;
      p = scanner.feed(p, end + 1);
      if (!scanner.succeeded() || !is_text_space(*p)) {
        expect_stop = true;
        break;
      }
      expected.push_back(scanner.value());
    }
    // Several short numbers together and word by word keep the same texts.
    std::vector<CellText> plain_texts(size);
    for (auto read : {read_text_block_portable, read_text_block}) {
      std::vector<double> cells(size);
      std::vector<CellText> texts(size);
      bool stops = false;
      const std::size_t count = read(text.data(), size, cells.data(), b % 2 ? texts.data() : nullptr, stops);
      ASSERT_EQ(count, expected.size()) << text;
      ASSERT_EQ(stops, expect_stop) << text;
      for (std::size_t i = 0; i < count; ++i) {
        ASSERT_EQ(bits_of(cells[i]), bits_of(expected[i])) << text;
        if (read == read_text_block_portable) plain_texts[i] = texts[i];
        ASSERT_EQ(texts[i], plain_texts[i]) << text;
      }
    }
    for (std::size_t at = 0; at + 64 <= text.size(); at += 1 + random() % 7) {
      ASSERT_EQ(space_mask(text.data() + at), space_mask_portable(text.data() + at)) << at;
    }
  }
  // Every byte value at every place of the window.
  for (int byte = 0; byte < 256; ++byte) {
    std::string window(64, 'a');
    for (int at = 0; at < 64; ++at) {
      window[static_cast<std::size_t>(at)] = static_cast<char>(byte);
      const std::uint64_t expected = is_text_space(static_cast<char>(byte)) ? (std::uint64_t{1} << at) : 0;
      ASSERT_EQ(space_mask(window.data()), expected) << byte << " at " << at;
      ASSERT_EQ(space_mask_portable(window.data()), expected) << byte << " at " << at;
      window[static_cast<std::size_t>(at)] = 'a';
    }
  }
}

// The decimal exactly halfway between two neighbouring doubles, and its
// neighbours one unit in the last digit away, decide a rounding each way.
TEST(NumberScanner, RoundsHalfwayDecimalsAsStrtodDoes) {
  std::mt19937_64 random(44);
  std::uniform_int_distribution<int> exponent(-60, 60);
  char text[200];
  for (int i = 0; i < 50'000; ++i) {
    double v = std::ldexp(static_cast<double>(random() >> 11), exponent(random) - 53);
    if (v == 0) continue;
    // 64 mantissa bits hold the midpoint exactly, and 130 digits print it whole.
    long double mid = (static_cast<long double>(v) + std::nextafter(v, INFINITY)) / 2;
    std::snprintf(text, sizeof text, "%.130Le", mid);
    std::string exact = text;
    std::string mantissa = exact.substr(0, exact.find('e'));
    std::string tail = exact.substr(exact.find('e'));
    while (mantissa.back() == '0') mantissa.pop_back();
    std::string below = mantissa;
    for (std::size_t k = below.size(); k-- > 0;) {
      if (below[k] == '.') continue;
      if (below[k] != '0') {
        --below[k];
        break;
      }
      below[k] = '9';
    }
    for (const std::string& token : {mantissa + tail, mantissa + "0000001" + tail, below + tail}) {
      const double want = std::strtod(token.c_str(), nullptr);
      ASSERT_EQ(bits_of(scan(token).value), bits_of(want)) << token;
      expect_one_pass_agrees(token, want);
    }
  }
}

TEST(NumberScanner, OnePassLeavesOnlyWhatItCannotSettleToTheFullScan) {
  // No digit, a number that may go on past the bytes at hand.
  for (const char* text : {"- ", ". ", "+.e ", "12", "1e5", "1.5e+"}) {
    double v = 0;
    EXPECT_EQ(scan_decimal(text, text + std::strlen(text), v), nullptr) << text;
  }
  // Twenty digits whose first nineteen and the next value up round apart.
  const char* halfway = "9007199254740993.0000000000000000001 ";
  double v = 0;
  EXPECT_EQ(scan_decimal(halfway, halfway + std::strlen(halfway), v), nullptr);
}

TEST(NumberScanner, AgreesWithStrtodOnSeventeenDigitsOfRandomDoubles) {
  std::mt19937_64 random(43);
  char text[64];
  for (int i = 0; i < 300'000; ++i) {
    double v = std::bit_cast<double>(random());
    if (!std::isfinite(v)) continue;
    std::snprintf(text, sizeof text, "%.17g", v);
    Scan s = scan(text);
    ASSERT_EQ(bits_of(s.value), bits_of(v)) << text;
    expect_one_pass_agrees(text, v);
    // As GDAL writes a Float32 raster's cells: the float's decimal, 20 digits.
    std::snprintf(text, sizeof text, "%.20g", static_cast<double>(static_cast<float>(v)));
    expect_one_pass_agrees(text, std::strtod(text, nullptr));
  }
}

}  // namespace
}  // namespace plotveil
