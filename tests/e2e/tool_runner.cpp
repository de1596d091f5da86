#include "tool_runner.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace plotveil_e2e {
namespace {

using Clock = std::chrono::steady_clock;

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

// A descriptor reading `bytes` from their start, backed by an anonymous file.
int input_descriptor(const std::string& bytes) {
  int fd = ::memfd_create("plotveil-stdin", MFD_CLOEXEC);
  check(fd >= 0, "memfd_create");
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    check(put > 0, "write stdin");
    done += static_cast<std::size_t>(put);
  }
  check(::lseek(fd, 0, SEEK_SET) == 0, "lseek stdin");
  return fd;
}

// Reads what is available on `fd` into `sink`; false at end of data.
bool drain(int fd, std::string& sink) {
  char chunk[65536];
  ssize_t got = ::read(fd, chunk, sizeof chunk);
  if (got > 0) {
    sink.append(chunk, static_cast<std::size_t>(got));
    return true;
  }
  return got < 0 && (errno == EINTR || errno == EAGAIN);
}

template <typename T>
std::string little_endian(T value) {
  std::string bytes(sizeof value, '\0');
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

std::string number_text(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

}  // namespace

std::string tool_path() {
  const char* chosen = std::getenv("PLOTVEIL_BINARY");
  return chosen != nullptr && *chosen != '\0' ? chosen : PLOTVEIL_BINARY;
}

std::vector<std::string> tool_launcher() {
  std::vector<std::string> words;
  const char* launcher = std::getenv("PLOTVEIL_LAUNCHER");
  std::istringstream text(launcher != nullptr ? launcher : "");
  for (std::string word; text >> word;) words.push_back(word);
  return words;
}

std::vector<std::string> tool_command(const std::string& binary, const std::vector<std::string>& args) {
  std::vector<std::string> words = tool_launcher();
  words.push_back(binary);
  words.insert(words.end(), args.begin(), args.end());
  return words;
}

std::string sidecar_tool_path() {
  const char* chosen = std::getenv("PLOTVEIL_HDR_BINARY");
  return chosen != nullptr && *chosen != '\0' ? chosen : PLOTVEIL_HDR_BINARY;
}

bool windows_tool() {
  const std::string path = tool_path();
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".exe") == 0;
}

std::string console_text(const std::string& printed) {
  if (!windows_tool()) return printed;
  std::string text;
  for (char c : printed) {
    if (c == '\n') text += '\r';
    text += c;
  }
  return text;
}

RunResult run_tool(const std::vector<std::string>& args, const RunOptions& options) {
  int out_pipe[2];
  int err_pipe[2];
  check(::pipe2(out_pipe, O_CLOEXEC) == 0, "pipe");
  check(::pipe2(err_pipe, O_CLOEXEC) == 0, "pipe");
  int in_fd = options.stdin_kind == Stdin::bytes     ? input_descriptor(options.input)
              : options.stdin_kind == Stdin::endless ? ::open("/dev/zero", O_RDONLY | O_CLOEXEC)
                                                     : -1;

  std::vector<std::string> words = tool_command(options.binary.empty() ? tool_path() : options.binary, args);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  if (options.stdout_unread) ::close(out_pipe[0]);
  const auto start = Clock::now();
  pid_t pid = ::fork();
  check(pid >= 0, "fork");
  if (pid == 0) {
    ::setpgid(0, 0);  // a group of its own, so a hung run goes with all its helpers
    if (in_fd >= 0) {
      ::dup2(in_fd, 0);
    } else {
      ::close(0);
    }
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    // As a shell starts it: a write into a pipe without a reader ends the
    // process unless the program says otherwise.
    ::signal(SIGPIPE, SIG_DFL);
    if (options.working_dir && ::chdir(options.working_dir->c_str()) != 0) ::_exit(126);
    if (options.address_space_limit != 0) {
      struct rlimit limit {};
      limit.rlim_cur = limit.rlim_max = options.address_space_limit;
      if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
    }
    for (const std::string& entry : options.environment) ::putenv(const_cast<char*>(entry.c_str()));
    if (options.file_size_limit != 0) {
      // Writes past the limit then fail, as on a full disk, instead of ending the run.
      ::signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit {};
      limit.rlim_cur = limit.rlim_max = options.file_size_limit;
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
    }
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  if (in_fd >= 0) ::close(in_fd);

  RunResult result;
  const auto deadline = start + options.timeout;
  bool out_open = !options.stdout_unread;
  bool err_open = true;
  while ((out_open || err_open) && !result.timed_out) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      result.timed_out = true;
      break;
    }
    pollfd fds[2] = {{out_open ? out_pipe[0] : -1, POLLIN, 0}, {err_open ? err_pipe[0] : -1, POLLIN, 0}};
    int ready = ::poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    check(ready >= 0, "poll");
    if (out_open && fds[0].revents != 0) out_open = drain(out_pipe[0], result.out);
    if (err_open && fds[1].revents != 0) err_open = drain(err_pipe[0], result.err);
  }

  int status = 0;
  rusage usage{};
  bool killed = false;
  for (;;) {
    pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    if (done < 0 && errno == EINTR) continue;
    check(done >= 0, "wait4");
    if (!killed && (result.timed_out || Clock::now() >= deadline)) {
      result.timed_out = true;
      ::kill(-pid, SIGKILL);
      killed = true;
    }
    ::usleep(1000);
  }
  if (!options.stdout_unread) ::close(out_pipe[0]);
  ::close(err_pipe[0]);

  result.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  result.max_rss_kb = usage.ru_maxrss;
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "plotveil-e2e-XXXXXX").string();
  check(::mkdtemp(pattern.data()) != nullptr, "mkdtemp");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
  std::string path = file(name);
  write_file(path, bytes);
  return path;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool file_exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

BinaryHeader binary_header(double ncols, double nrows, double xll, double yll, double cellsize,
                           double nodata) {
  return {ncols, nrows, xll, yll, cellsize, nodata, 0, 0, 0, 0, 0, 0};
}

std::string single_bytes(float value) { return little_endian(value); }
std::string double_bytes(double value) { return little_endian(value); }

std::string single_bytes(const std::vector<double>& values) {
  std::string bytes;
  for (double value : values) bytes += single_bytes(static_cast<float>(value));
  return bytes;
}

std::string double_bytes(const std::vector<double>& values) {
  std::string bytes;
  for (double value : values) bytes += double_bytes(value);
  return bytes;
}

std::string single_grid(const BinaryHeader& header, const Rows& rows) {
  std::string bytes = single_bytes(std::vector<double>(header.begin(), header.end()));
  for (const auto& row : rows) bytes += single_bytes(row);
  return bytes;
}

std::string double_grid(const BinaryHeader& header, const Rows& rows) {
  std::string bytes = double_bytes(std::vector<double>(header.begin(), header.end()));
  for (const auto& row : rows) bytes += double_bytes(row);
  return bytes;
}

std::string text_header(const std::string& ncols, const std::string& nrows, const std::string& xll,
                        const std::string& yll, const std::string& cellsize,
                        const std::string& nodata) {
  return "ncols " + ncols + "\nnrows " + nrows + "\nxllcorner " + xll + "\nyllcorner " + yll +
         "\ncellsize " + cellsize + "\nnodata_value " + nodata + "\n";
}

std::string text_grid(const BinaryHeader& header, const Rows& rows, bool crlf) {
  std::string text = text_header(number_text(header[0]), number_text(header[1]),
                                 number_text(header[2]), number_text(header[3]),
                                 number_text(header[4]), number_text(header[5]));
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (c > 0) text += ' ';
      text += number_text(row[c]);
    }
    text += '\n';
  }
  if (!crlf) return text;
  std::string converted;
  for (char ch : text) {
    if (ch == '\n') converted += '\r';
    converted += ch;
  }
  return converted;
}

double double_at(const std::string& bytes, std::size_t index) {
  double value = 0;
  if ((index + 1) * sizeof value > bytes.size()) throw std::out_of_range("double_at");
  std::memcpy(&value, bytes.data() + index * sizeof value, sizeof value);
  return value;
}

float single_at(const std::string& bytes, std::size_t index) {
  float value = 0;
  if ((index + 1) * sizeof value > bytes.size()) throw std::out_of_range("single_at");
  std::memcpy(&value, bytes.data() + index * sizeof value, sizeof value);
  return value;
}

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned char b : bytes) {
    if (!text.empty()) text += ' ';
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

}  // namespace plotveil_e2e
