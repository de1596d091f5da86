// On a terminal every print shows at once: the prompt before the answer is
// read, and each dot as its row is finished.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>

#include "tool_runner.hpp"

namespace plotveil_e2e {
namespace {

using Clock = std::chrono::steady_clock;

// The tool running on the slave side of a pseudo-terminal in raw mode, so the
// bytes read from the master are the bytes it printed.
class TerminalRun {
 public:
  explicit TerminalRun(const std::vector<std::string>& args) {
    std::vector<std::string> words = tool_command(tool_path(), args);
    pid_ = ::forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      termios raw{};
      ::tcgetattr(0, &raw);
      ::cfmakeraw(&raw);
      ::tcsetattr(0, TCSANOW, &raw);
      std::vector<char*> argv;
      for (std::string& word : words) argv.push_back(word.data());
      argv.push_back(nullptr);
      ::execvp(argv[0], argv.data());
      ::_exit(127);
    }
  }

  ~TerminalRun() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
  }

  bool started() const { return pid_ > 0; }
  const std::string& shown() const { return shown_; }
  int master() const { return master_; }

  // Reads what the terminal shows until `done` holds, the terminal closes or
  // the time is up.
  bool read_until(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
      if (closed_) return false;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      pollfd fd{master_, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[4096];
      ssize_t got = ::read(master_, chunk, sizeof chunk);
      if (got > 0) {
        shown_.append(chunk, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        closed_ = true;  // EIO once the tool has closed the terminal
      }
    }
    return true;
  }

  bool still_running() {
    if (exited_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == 0) return true;
    exited_ = true;
    status_ = status;
    return false;
  }

  int exit_code() {
    if (!exited_) {
      ::waitpid(pid_, &status_, 0);
      exited_ = true;
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }

  void type(const std::string& text) { ASSERT_EQ(::write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size())); }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  bool closed_ = false;
  bool exited_ = false;
  int status_ = 0;
  std::string shown_;
};

// A pseudo-terminal is no Windows console: these hold on POSIX systems only.
#define SKIP_ON_WINDOWS() \
  if (windows_tool()) GTEST_SKIP() << "a pseudo-terminal is no Windows console"

TEST(Terminal, PromptIsShownBeforeTheAnswerIsRead) {
  SKIP_ON_WINDOWS();
  TempDir dir;
  std::string grid = dir.write("g.asc", text_grid(binary_header(2, 3), {{1, 2}, {3, 4}, {5, 6}}));
  const std::string unreachable = dir.file("no/such/out.asc");
  const std::string good = dir.file("good.asc");
  TerminalRun run({grid, grid, unreachable});
  ASSERT_TRUE(run.started());

  const std::string question = "error opening output grid " + unreachable +
                               " \r\nplease enter new output file name: ";
  ASSERT_TRUE(run.read_until([&] { return run.shown().size() >= question.size(); })) << run.shown();
  EXPECT_EQ(run.shown(), question);
  EXPECT_TRUE(run.still_running()) << "the tool must wait for the answer";

  run.type(good + "\n");
  run.read_until([] { return false; });
  EXPECT_EQ(run.shown(), question + "\r\n...\n");
  EXPECT_EQ(run.exit_code(), 0);
  EXPECT_TRUE(file_exists(good));
}

TEST(Terminal, DotsArriveRowByRow) {
  // The output is a pipe that the test stops reading after two and a half
  // rows: the tool then waits to write, with more than its own buffer still
  // to come, and the dots of the first two rows must already be shown.
  SKIP_ON_WINDOWS();
  TempDir dir;
  const int width = 131072;  // one mebibyte of text per row
  Rows rows(4, std::vector<double>(width, 123.456));
  std::string grid = dir.write("g.dbl", double_grid(binary_header(width, 4), rows));
  const std::string pipe = dir.file("out.pipe");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);

  TerminalRun run({grid, grid, pipe});
  ASSERT_TRUE(run.started());

  auto read_pipe = [&](std::size_t at_least) {
    std::size_t total = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    char chunk[65536];
    while (total < at_least && Clock::now() < deadline) {
      pollfd fd{reader, POLLIN, 0};
      ::poll(&fd, 1, 100);
      ssize_t got = ::read(reader, chunk, sizeof chunk);
      if (got > 0) {
        total += static_cast<std::size_t>(got);
      } else if (got == 0 && total > 0) {
        break;  // the tool closed the output
      }
    }
    return total;
  };

  std::size_t consumed = read_pipe(5 * width / 2 * 8);
  ASSERT_GE(consumed, 5u * width / 2 * 8);
  EXPECT_TRUE(run.read_until([&] { return run.shown().size() >= 2; })) << "dots shown: " << run.shown();
  EXPECT_EQ(run.shown().substr(0, 2), "..");
  EXPECT_TRUE(run.still_running()) << "the tool must still be writing its rows";

  consumed += read_pipe(std::size_t(-1));
  run.read_until([] { return false; });
  ::close(reader);
  EXPECT_EQ(run.shown(), "....\n");
  EXPECT_EQ(run.exit_code(), 0);
  EXPECT_GT(consumed, 4u * width * 8);
}

}  // namespace
}  // namespace plotveil_e2e
