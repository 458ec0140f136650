/* The least a durable rewrite of a file must do: copy it to a backup and
 * fsync that, write a full copy beside it and fsync it, rename the copy over
 * the file and fsync the folder. No line is looked at. */
#include <fcntl.h>
#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void Copy(const char *from, const char *to) {
  int in = open(from, O_RDONLY);
  int out = open(to, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) exit(1);
  static char buffer[1 << 16];
  ssize_t n;
  while ((n = read(in, buffer, sizeof buffer)) > 0) {
    if (write(out, buffer, (size_t)n) != n) exit(1);
  }
  if (n < 0 || fsync(out) != 0) exit(1);
  close(in);
  close(out);
}

int main(int argc, char **argv) {
  if (argc != 2) return 2;
  char backup[4096], temporary[4096], folder[4096];
  snprintf(backup, sizeof backup, "%s_QlBack", argv[1]);
  snprintf(temporary, sizeof temporary, "%s_QlTemp", argv[1]);
  snprintf(folder, sizeof folder, "%s", argv[1]);
  Copy(argv[1], backup);
  Copy(argv[1], temporary);
  if (rename(temporary, argv[1]) != 0) return 1;
  int dir = open(dirname(folder), O_RDONLY | O_DIRECTORY);
  if (dir < 0 || fsync(dir) != 0) return 1;
  close(dir);
  return 0;
}
