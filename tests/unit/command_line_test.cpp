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
      {"", OutputFormat::text},
      {"-f:t", OutputFormat::text},
      {"-f:s", OutputFormat::single_precision},
      {"-f:single", OutputFormat::single_precision},
      {"-f:sx", OutputFormat::single_precision},
      {"-f:d", OutputFormat::double_precision},
      {"-f:double", OutputFormat::double_precision},
      {"-f:S", OutputFormat::text},
      {"-f:D", OutputFormat::text},
      {"-f:x", OutputFormat::text},
      {"-f:", OutputFormat::text},
      {"-fs", OutputFormat::text},
      {"/f:s", OutputFormat::text},
      {"f:s", OutputFormat::text},
      {"--f:s", OutputFormat::single_precision},
      {"x-f:d", OutputFormat::double_precision},
      {"-f:d:s", OutputFormat::double_precision},
      {"a:b-f:s", OutputFormat::text},
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
