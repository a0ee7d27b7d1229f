/* A black box preloaded into the real Pontex by the power-cut test: it notes
 * what a disk would hold if the power went now. At each sync of a regular
 * file it copies the file's current bytes; at each sync of a folder, the
 * folder's current names and the files they lead to. Both are kept by the
 * file's or folder's (device, inode), so that a rename after the sync keeps
 * them, in the folder named by PONTEX_BOITE_NOIRE:
 *
 *   f_<device>_<inode>   the bytes of the file's last sync (one per file,
 *                        replaced at each sync; empty for a file created
 *                        since and never synced)
 *   d_<device>_<inode>   the folder's last sync: one line a name,
 *                        "<inode>\t<f|d|a>\t<name>" (file, folder, anything else)
 *
 * Each is written beside and renamed into place, so a kill in the middle of
 * a note leaves the one before it whole, as a sync cut short does.
 *
 * It changes nothing the program sees: every call is the system's, with its
 * result and errno; what cannot be noted is left out. Calls glibc makes
 * inside itself (fopen's open) do not come through here: a file created that
 * way and never synced has no note, which the test reads as empty all the
 * same. Without PONTEX_BOITE_NOIRE it notes nothing. */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

typedef int (*fonction_open)(const char*, int, ...);
typedef int (*fonction_openat)(int, const char*, int, ...);
typedef int (*fonction_sync)(int);

static void* suivante(const char* nom) { return dlsym(RTLD_NEXT, nom); }

static int vrai_open(const char* chemin, int drapeaux, mode_t mode) {
  static fonction_open f;
  if (!f) f = (fonction_open)suivante("open");
  return f(chemin, drapeaux, mode);
}

static const char* dossier_notes(void) {
  const char* d = getenv("PONTEX_BOITE_NOIRE");
  return d && *d ? d : NULL;
}

/* Writes `taille` bytes into <notes>/<prefixe>_<dev>_<ino>, whole or not at all. */
static void note(const char* prefixe, const struct stat* st, const char* octets, size_t taille) {
  const char* notes = dossier_notes();
  if (!notes) return;
  static unsigned long compteur;
  const unsigned long n = __atomic_add_fetch(&compteur, 1, __ATOMIC_RELAXED);
  char nom[4096], provisoire[4200];
  snprintf(nom, sizeof nom, "%s/%s_%llu_%llu", notes, prefixe, (unsigned long long)st->st_dev,
           (unsigned long long)st->st_ino);
  snprintf(provisoire, sizeof provisoire, "%s.%ld.%lu.tmp", nom, (long)getpid(), n);
  const int fd = vrai_open(provisoire, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  size_t ecrit = 0;
  while (ecrit < taille) {
    const ssize_t r = write(fd, octets + ecrit, taille - ecrit);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    ecrit += (size_t)r;
  }
  close(fd);
  if (ecrit == taille)
    rename(provisoire, nom);
  else
    unlink(provisoire);
}

/* Appends to a growing buffer; on failure the note is dropped. */
struct Tampon {
  char* octets;
  size_t taille, capacite;
  int rate;
};

static void ajoute(struct Tampon* t, const char* octets, size_t n) {
  if (t->rate) return;
  if (t->taille + n > t->capacite) {
    size_t c = t->capacite ? t->capacite : 65536;
    while (c < t->taille + n) c *= 2;
    char* nouveau = realloc(t->octets, c);
    if (!nouveau) {
      t->rate = 1;
      return;
    }
    t->octets = nouveau;
    t->capacite = c;
  }
  memcpy(t->octets + t->taille, octets, n);
  t->taille += n;
}

/* The bytes of the open file `fd` as the cache holds them now, read through
 * a handle of our own (the program's may be write-only or appending). */
static void note_fichier(int fd, const struct stat* st) {
  char lien[64];
  snprintf(lien, sizeof lien, "/proc/self/fd/%d", fd);
  const int lu = vrai_open(lien, O_RDONLY | O_CLOEXEC, 0);
  if (lu < 0) return;
  struct Tampon t = {0};
  char bloc[65536];
  for (;;) {
    const ssize_t r = read(lu, bloc, sizeof bloc);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) t.rate = 1;
    if (r <= 0) break;
    ajoute(&t, bloc, (size_t)r);
  }
  close(lu);
  if (!t.rate) note("f", st, t.octets ? t.octets : "", t.taille);
  free(t.octets);
}

static void note_dossier(int fd, const struct stat* st) {
  char lien[64];
  snprintf(lien, sizeof lien, "/proc/self/fd/%d", fd);
  const int lu = vrai_open(lien, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (lu < 0) return;
  DIR* d = fdopendir(lu);
  if (!d) {
    close(lu);
    return;
  }
  struct Tampon t = {0};
  for (const struct dirent* e; (e = readdir(d)) != NULL;) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    if (strchr(e->d_name, '\n')) continue;
    struct stat s;
    if (fstatat(dirfd(d), e->d_name, &s, AT_SYMLINK_NOFOLLOW) != 0) continue;
    char ligne[512];
    const int n = snprintf(ligne, sizeof ligne, "%llu\t%c\t", (unsigned long long)s.st_ino,
                           S_ISREG(s.st_mode)   ? 'f'
                           : S_ISDIR(s.st_mode) ? 'd'
                                                : 'a');
    ajoute(&t, ligne, (size_t)n);
    ajoute(&t, e->d_name, strlen(e->d_name));
    ajoute(&t, "\n", 1);
  }
  closedir(d);
  if (!t.rate) note("d", st, t.octets ? t.octets : "", t.taille);
  free(t.octets);
}

/* A sync that succeeded: what it put on the disk. */
static void apres_sync(int fd) {
  if (!dossier_notes()) return;
  struct stat st;
  if (fstat(fd, &st) != 0) return;
  if (S_ISREG(st.st_mode))
    note_fichier(fd, &st);
  else if (S_ISDIR(st.st_mode))
    note_dossier(fd, &st);
}

/* An open that created its file: empty on the disk until its first sync,
 * whatever an earlier file under that inode left there. */
static void apres_creation(int fd) {
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) note("f", &st, "", 0);
}

static int cree(int drapeaux) {
  return (drapeaux & O_CREAT) != 0 || (drapeaux & O_TMPFILE) == O_TMPFILE;
}

static int nouveau(int dossier, const char* chemin, int drapeaux) {
  if ((drapeaux & O_TMPFILE) == O_TMPFILE) return 1;
  struct stat st;
  return fstatat(dossier, chemin, &st, 0) != 0 && errno == ENOENT;
}

static int ouvre(const char* nom_suivant, int dossier, const char* chemin, int drapeaux,
                 mode_t mode) {
  static fonction_openat f[2];
  const int a_64 = strcmp(nom_suivant, "openat64") == 0;
  if (!f[a_64]) f[a_64] = (fonction_openat)suivante(nom_suivant);
  const int sauve = errno;
  const int note_creation = dossier_notes() && cree(drapeaux) && nouveau(dossier, chemin, drapeaux);
  errno = sauve;
  const int fd = f[a_64](dossier, chemin, drapeaux, mode);
  if (fd >= 0 && note_creation) {
    const int e = errno;
    apres_creation(fd);
    errno = e;
  }
  return fd;
}

static mode_t mode_de(int drapeaux, va_list va) {
  return cree(drapeaux) ? (mode_t)va_arg(va, int) : 0;
}

int open(const char* chemin, int drapeaux, ...) {
  va_list va;
  va_start(va, drapeaux);
  const mode_t mode = mode_de(drapeaux, va);
  va_end(va);
  return ouvre("openat", AT_FDCWD, chemin, drapeaux, mode);
}

int open64(const char* chemin, int drapeaux, ...) {
  va_list va;
  va_start(va, drapeaux);
  const mode_t mode = mode_de(drapeaux, va);
  va_end(va);
  return ouvre("openat64", AT_FDCWD, chemin, drapeaux, mode);
}

int openat(int dossier, const char* chemin, int drapeaux, ...) {
  va_list va;
  va_start(va, drapeaux);
  const mode_t mode = mode_de(drapeaux, va);
  va_end(va);
  return ouvre("openat", dossier, chemin, drapeaux, mode);
}

int openat64(int dossier, const char* chemin, int drapeaux, ...) {
  va_list va;
  va_start(va, drapeaux);
  const mode_t mode = mode_de(drapeaux, va);
  va_end(va);
  return ouvre("openat64", dossier, chemin, drapeaux, mode);
}

static int synchronise(const char* nom, int fd) {
  static fonction_sync f[2];
  const int donnees = strcmp(nom, "fdatasync") == 0;
  if (!f[donnees]) f[donnees] = (fonction_sync)suivante(nom);
  const int r = f[donnees](fd);
  if (r == 0) {
    const int e = errno;
    apres_sync(fd);
    errno = e;
  }
  return r;
}

int fsync(int fd) { return synchronise("fsync", fd); }
int fdatasync(int fd) { return synchronise("fdatasync", fd); }
