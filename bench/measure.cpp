// Runs one command and prints its CPU seconds (user + system) and peak
// resident memory, from wait4, under a limit of CPU seconds. Started from a
// small process, the child's peak memory is its own and not a script's.
//
// Usage: tavro-bench-measure <cpu seconds> <stdout file> <command> [args...]
// Prints "status <exit status | timeout | signal> cpu <seconds> rss_mb <MB>".
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: tavro-bench-measure <cpu seconds> <stdout file> <command> [args...]\n");
    return 2;
  }
  const rlim_t limit = static_cast<rlim_t>(std::strtoul(argv[1], nullptr, 10));
  const pid_t child = fork();
  if (child < 0) return 2;
  if (child == 0) {
    const rlimit cpu{limit, limit + 1};
    setrlimit(RLIMIT_CPU, &cpu);
    const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = open("/dev/null", O_WRONLY);
    if (out < 0 || null < 0) _exit(127);
    dup2(out, 1);
    dup2(null, 2);
    execv(argv[3], argv + 3);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return 2;
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  const double mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  if (WIFEXITED(status)) {
    std::printf("status %d cpu %.6f rss_mb %.1f\n", WEXITSTATUS(status), cpu, mb);
  } else if (WIFSIGNALED(status) && (WTERMSIG(status) == SIGXCPU || WTERMSIG(status) == SIGKILL)) {
    std::printf("status timeout cpu %.6f rss_mb %.1f\n", cpu, mb);
  } else {
    std::printf("status signal%d cpu %.6f rss_mb %.1f\n", WIFSIGNALED(status) ? WTERMSIG(status) : 0,
                cpu, mb);
  }
  return 0;
}
