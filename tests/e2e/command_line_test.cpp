// The command line: the usage text for too few names, and the "-f:" option
// choosing the output format.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "expectations.hpp"
#include "tool_runner.hpp"

namespace plotveil_e2e {
namespace {

const std::string kUsage =
    "Plotveil: masks grid_1 with the mask provided in grid_2 on a cell by cell basis\n"
    "usage : plotveil <grid_1> <grid_2(mask)> <outgrid(masked)> [-f:t|s|d]\n"
    "-f:t|s|d output format. t=text (with double precision, this is default), "
    "d=double precision, s=single precision\n";

TEST(CommandLine, FewerThanThreeNamesPrintUsageAndTouchNothing) {
  const std::vector<std::vector<std::string>> cases = {{}, {"a.asc"}, {"a.asc", "b.asc"}};
  for (const auto& args : cases) {
    SCOPED_TRACE(args.size());
    TempDir dir;
    RunOptions options;
    options.working_dir = dir.path();
    expect_run(run_tool(args, options), 1, kUsage);
    EXPECT_TRUE(fs::is_empty(dir.path())) << "a file was created";
  }
}

TEST(CommandLine, UsageDoesNotWaitForStandardInput) {
  RunOptions options;
  options.stdin_kind = Stdin::closed;
  expect_run(run_tool({"only-one"}, options), 1, kUsage);
}

// A one-cell grid masked by itself: the output's size tells its format.
struct FormatCase {
  std::vector<std::string> options;
  const char* format;
};

class OutputFormatOption : public ::testing::TestWithParam<FormatCase> {};

TEST_P(OutputFormatOption, ChoosesTheOutputEncoding) {
  TempDir dir;
  std::string grid = dir.write("g.asc", text_grid(binary_header(1, 1), {{5}}));
  std::string out = dir.file("out");
  std::vector<std::string> args = {grid, grid, out};
  args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
  expect_run(run_tool(args), 0, dots(1));

  const std::string bytes = read_file(out);
  const std::string format = GetParam().format;
  if (format == "text") {
    EXPECT_EQ(bytes,
              "ncols\t1\r\nnrows\t1\r\nxllcorner\t0\r\nyllcorner\t0\r\ncellsize\t1\r\n"
              "nodata_value\t-9999\r\n5\r\n");
  } else if (format == "single") {
    ASSERT_EQ(bytes.size(), 13u * 4);
    EXPECT_EQ(single_at(bytes, 12), 5.0f);
  } else {
    ASSERT_EQ(bytes.size(), 13u * 8);
    EXPECT_EQ(double_at(bytes, 12), 5.0);
  }
}

// "-f:s -f:d" is f_s_f_d_gives_single; no option, no_option_gives_text.
std::string case_name(const FormatCase& c) {
  std::string name;
  for (const std::string& option : c.options) {
    for (char ch : option) {
      if (std::isalnum(static_cast<unsigned char>(ch))) {
        name += ch;
      } else if (!name.empty() && name.back() != '_') {
        name += '_';
      }
    }
    if (!name.empty() && name.back() != '_') name += '_';
  }
  return (name.empty() ? std::string("no_option_") : name) + "gives_" + c.format;
}
// GoogleTest and CTest's test names show this, not the bytes of the struct.
void PrintTo(const FormatCase& c, std::ostream* os) { *os << case_name(c); }

// The option's full grammar is unit-tested; here, that it reaches the output.
INSTANTIATE_TEST_SUITE_P(
    Words, OutputFormatOption,
    ::testing::Values(FormatCase{{}, "text"}, FormatCase{{"-f:s"}, "single"}, FormatCase{{"-f:d"}, "double"},
                      // Words after the fourth are ignored.
                      FormatCase{{"-f:s", "-f:d"}, "single"}, FormatCase{{"-f:x", "-f:d"}, "text"}),
    [](const auto& info) { return case_name(info.param); });

}  // namespace
}  // namespace plotveil_e2e
