#include "app/command_line.hpp"
#include "app/thread_count.hpp"

#include <gtest/gtest.h>

namespace plotveil {
namespace {

TEST(ParseOutputFormat, ReadsTheCharacterAfterTheFirstColonOnceDashFColonOccurs) {
  struct Case {
    const char* option;
    OutputFormat format;
  };
  const Case cases[] = {
      {"", kTextOutput},
      {"-f:t", kTextOutput},
      {"-f:s", kSingleOutput},
      {"-f:single", kSingleOutput},
      {"-f:sx", kSingleOutput},
      {"-f:d", kDoubleOutput},
      {"-f:double", kDoubleOutput},
      {"-f:S", kTextOutput},
      {"-f:D", kTextOutput},
      {"-f:x", kTextOutput},
      {"-f:", kTextOutput},
      {"-fs", kTextOutput},
      {"/f:s", kTextOutput},
      {"f:s", kTextOutput},
      {"--f:s", kSingleOutput},
      {"x-f:d", kDoubleOutput},
      {"-f:d:s", kDoubleOutput},
      {"a:b-f:s", kTextOutput},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parse_output_format(c.option), c.format) << "option \"" << c.option << "\"";
  }
}

TEST(ThreadCount, TakesAWholeNumberFromOneUpElseOnePerCore) {
  struct Case {
    const char* setting;
    unsigned cores;
    int threads;
  };
  const Case cases[] = {
      {nullptr, 8, 8},  {nullptr, 0, 1},   {nullptr, 200, kMaxThreads},
      {"1", 8, 1},      {"3", 2, 3},       {"007", 2, 7},
      {"64", 2, 64},    {"65", 2, 64},     {"99999999999999999999", 2, 64},
      {"", 4, 4},       {"0", 4, 4},       {"-2", 4, 4},
      {"+2", 4, 4},     {" 2", 4, 4},      {"2x", 4, 4},
      {"two", 4, 4},    {"1.5", 4, 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(thread_count(c.setting, c.cores), c.threads)
        << "setting \"" << (c.setting ? c.setting : "(unset)") << "\", " << c.cores << " cores";
  }
}

}  // namespace
}  // namespace plotveil
