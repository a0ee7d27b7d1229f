/* Preloaded into the Pontex program by scripts/bench.sh: the time it waits
 * in its syncs (fsync, fdatasync), measured inside the program, where the
 * difference between two runs with and without them drowns in the noise of
 * a shared machine. Each call adds a line "seconds" to the file
 * PONTEX_ATTENTE_DISQUE names. Linux only, benchmark only. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static double maintenant(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static void note(double debut) {
  const double duree = maintenant() - debut;
  const char* sortie = getenv("PONTEX_ATTENTE_DISQUE");
  if (!sortie) return;
  FILE* f = fopen(sortie, "ae");
  if (!f) return;
  fprintf(f, "%.6f\n", duree);
  fclose(f);
}

typedef int (*synchro)(int);

static int mesure(const char* nom, int fd) {
  synchro vraie = (synchro)dlsym(RTLD_NEXT, nom);
  const double debut = maintenant();
  const int r = vraie ? vraie(fd) : -1;
  note(debut);
  return r;
}

int fsync(int fd) { return mesure("fsync", fd); }
int fdatasync(int fd) { return mesure("fdatasync", fd); }
