// Runs a command and records its peak resident memory in KiB, as
// `/usr/bin/time -f %M -o FILE` does, for machines without that program.
// The command's own output passes through untouched; its exit status is
// returned (128 + signal when a signal ended it).
//
// Usage: peak_memory FILE COMMAND [ARGUMENT...]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: peak_memory FILE COMMAND [ARGUMENT...]\n");
    return 1;
  }
  const pid_t child = fork();
  if (child < 0) {
    std::printf("peak_memory: cannot start %s\n", argv[2]);
    return 1;
  }
  if (child == 0) {
    execvp(argv[2], argv + 2);
    std::printf("peak_memory: cannot run %s\n", argv[2]);
    std::fflush(stdout);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) {
    std::printf("peak_memory: lost %s\n", argv[2]);
    return 1;
  }
  std::FILE* report = std::fopen(argv[1], "w");
  if (report == nullptr || std::fprintf(report, "%ld\n", usage.ru_maxrss) < 0 || std::fclose(report) != 0) {
    std::printf("peak_memory: cannot write %s\n", argv[1]);
    return 1;
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}
