#include "app/command_line.hpp"

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

}  // namespace
}  // namespace plotveil
