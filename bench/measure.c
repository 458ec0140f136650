/* Runs a command and appends its CPU time (user and system, microseconds)
 * and peak memory (KiB) as one line to a log; exits with its status.
 *   measure LOG COMMAND [ARGUMENT...]
 * GNU time prints CPU time only to 10 ms, too coarse for runs of 50 ms. */
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv) {
  if (argc < 3) return 2;
  pid_t child = fork();
  if (child < 0) return 2;
  if (child == 0) {
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(child, &status, 0, &usage) != child) return 2;
  FILE *log = fopen(argv[1], "a");
  if (log == NULL) return 2;
  fprintf(log, "%ld %ld %ld\n",
          (long)usage.ru_utime.tv_sec * 1000000L + (long)usage.ru_utime.tv_usec,
          (long)usage.ru_stime.tv_sec * 1000000L + (long)usage.ru_stime.tv_usec,
          usage.ru_maxrss);
  fclose(log);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
