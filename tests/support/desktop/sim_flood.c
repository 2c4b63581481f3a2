/* Writes the simulator's state file COUNT times within about SECONDS, each
 * write a whole file renamed into place as the simulator tool does, so every
 * write is a change the provider can see. Strength alternates 0.3 / 0.7; the
 * last write holds FINAL. Prints "writes=N seconds=S".
 *
 *   sim_flood STATE_DIR COUNT SECONDS FINAL
 *
 * Python manages only ~6k such writes a second, too few for a flood test. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static double now(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: %s STATE_DIR COUNT SECONDS FINAL\n", argv[0]);
    return 2;
  }
  const long count = strtol(argv[2], NULL, 10);
  const double seconds = strtod(argv[3], NULL);
  char target[4096], tmp[4096], texts[3][128];
  snprintf(target, sizeof target, "%s/nightlight-sim.state", argv[1]);
  snprintf(tmp, sizeof tmp, "%s/.nightlight-sim.state.flood%ld", argv[1], (long)getpid());
  const char* head = "# Duskwarden night-light simulator state\nenabled=true\nstrength=";
  snprintf(texts[0], sizeof texts[0], "%s0.3\n", head);
  snprintf(texts[1], sizeof texts[1], "%s0.7\n", head);
  snprintf(texts[2], sizeof texts[2], "%s%s\n", head, argv[4]);
  mkdir(argv[1], 0700);
  const double start = now();
  for (long i = 0; i < count; ++i) {
    /* Paced so the writes spread over the whole interval rather than a burst. */
    if (seconds > 0) {
      const double ahead = start + seconds * (double)i / (double)count - now();
      if (ahead > 0.001) usleep((useconds_t)(ahead * 1e6));
    }
    const char* text = i == count - 1 ? texts[2] : texts[i % 2];
    const int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || write(fd, text, strlen(text)) != (ssize_t)strlen(text) || close(fd) != 0 ||
        rename(tmp, target) != 0) {
      perror("sim_flood");
      return 1;
    }
  }
  printf("writes=%ld seconds=%.3f\n", count, now() - start);
  return 0;
}
