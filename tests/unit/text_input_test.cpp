#include "grid/files/text_input.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "temp_file.hpp"

namespace plotveil {
namespace {

using testing::TempFile;

struct TextStream {
  explicit TextStream(const std::string& bytes) : file(bytes) {
    EXPECT_EQ(open_input(in, file.path()), OpenInput::ok);
    rewind_input(in, true);
  }
  TempFile file;
  InStream in;
};

// Reads numbers until a read fails; returns them.
std::vector<double> read_all(InStream& in) {
  std::vector<double> values;
  double v = 0;
  while (read_number(in, v)) values.push_back(v);
  return values;
}

TEST(TextInput, TakesCrLfAndBlanksAsWhiteSpace) {
  TextStream s("1\t2.5 -9999\r\n\r\n 4\x0b\x0c" "5\r");
  EXPECT_EQ(read_all(s.in), (std::vector<double>{1, 2.5, -9999, 4, 5}));
}

TEST(TextInput, EndsTheDataAtTheFirst0x1AByte) {
  TextStream s("1 2\x1a 3 4");
  EXPECT_EQ(read_all(s.in), (std::vector<double>{1, 2}));
  double v = 7;
  EXPECT_FALSE(read_number(s.in, v));
  EXPECT_EQ(v, 7);
  EXPECT_FALSE(skip_word(s.in));
}

TEST(TextInput, AFailedReadStoresNothingAndLeavesTheStoppingCharacter) {
  TextStream s("1.#INF 2 3");
  double v = 0;
  ASSERT_TRUE(read_number(s.in, v));
  EXPECT_EQ(v, 1);
  v = 42;
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(read_number(s.in, v));  // every later read stalls at "#"
    EXPECT_EQ(v, 42);
  }
  EXPECT_EQ(*s.in.pos, '#');
}

TEST(TextInput, ReadsNumbersThatCrossTheBufferEdge) {
  // The reader's buffer holds 1 MiB: put numbers across that edge.
  for (std::size_t pad : {(1u << 20) - 3, (1u << 20) - 64, (1u << 20) + 5}) {
    std::string bytes(pad, ' ');
    bytes += "12345.678 -0.25e-1 ";
    bytes += std::string(3000, '1') + "e-2990";
    TextStream s(bytes);
    std::vector<double> values = read_all(s.in);
    ASSERT_EQ(values.size(), 3u) << pad;
    EXPECT_EQ(values[0], 12345.678);
    EXPECT_EQ(values[1], -0.025);
    EXPECT_EQ(values[2], std::strtod((std::string(3000, '1') + "e-2990").c_str(), nullptr));
  }
}

TEST(TextInput, SkipsWordsOfAnyLength) {
  TextStream s("ncols 3 " + std::string(3 << 20, 'x') + " 4 nrows");
  double v = 0;
  ASSERT_TRUE(skip_word(s.in));
  ASSERT_TRUE(read_number(s.in, v));
  EXPECT_EQ(v, 3);
  ASSERT_TRUE(skip_word(s.in));
  ASSERT_TRUE(read_number(s.in, v));
  EXPECT_EQ(v, 4);
  EXPECT_TRUE(skip_word(s.in));
  EXPECT_FALSE(skip_word(s.in));
}

}  // namespace
}  // namespace plotveil
