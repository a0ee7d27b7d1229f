// plancher: the least an exchange can cost on this machine, to time Pontex
// against. It makes, for each record of a movement file, the file operations
// that applying it requires and nothing else: the index reopened for the
// lookup (header, halving probes with the last of them in one window of
// entries, on a miss the unsorted tail newest first in blocks of entries, as
// Pontex reads them), the article read twice and
// written back, the movement file opened, its header read and rewritten, the
// movement written, the file closed; an unknown reference appends one line
// to the error file. No journal, no window, no resume record. The export
// reads every article and writes the listed ones.
//
//   plancher apply  CAISSE MOUVEMENTS ERREURS   first to last record, in s
//   plancher export CAISSE SORTIE MODE          the export, in ms
//   plancher cherche CAISSE MOUVEMENTS          the lookups alone, a second
//   plancher guette CAISSE N EXPORT TRAVAIL     watches another program's
//       exchange from outside: polls the movement file's header count and
//       prints when the first and the N-th new movement were there, when
//       the working file TRAVAIL appeared and when EXPORT held an export
//       ("-" for either: not watched); creates the file PRET once it has
//       read the count it starts from.
//
// Its output lines read as those of the shared floor program, so that the
// benchmarks take either.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// --- The file calls of each system, nothing around them ---------------------

#ifdef _WIN32
using Poignee = HANDLE;
const Poignee aucune = INVALID_HANDLE_VALUE;

Poignee ouvre(const std::string& chemin, bool ecriture) {
  // Shared both ways, as the cash-register program opens its files.
  return CreateFileA(chemin.c_str(), GENERIC_READ | (ecriture ? GENERIC_WRITE : 0),
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}
void ferme(Poignee f) { CloseHandle(f); }
// Positional read and write: one call each, as pread and pwrite.
long lit_a(Poignee f, void* octets, std::size_t n, std::int64_t position) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(position);
  o.OffsetHigh = static_cast<DWORD>(position >> 32);
  DWORD lus = 0;
  if (!ReadFile(f, octets, static_cast<DWORD>(n), &lus, &o)) return -1;
  return static_cast<long>(lus);
}
long ecrit_a(Poignee f, const void* octets, std::size_t n, std::int64_t position) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(position);
  o.OffsetHigh = static_cast<DWORD>(position >> 32);
  DWORD ecrits = 0;
  if (!WriteFile(f, octets, static_cast<DWORD>(n), &ecrits, &o)) return -1;
  return static_cast<long>(ecrits);
}
void ajoute_au_fichier(const std::string& chemin, std::string_view texte) {
  HANDLE f = CreateFileA(chemin.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD ecrits = 0;
  WriteFile(f, texte.data(), static_cast<DWORD>(texte.size()), &ecrits, nullptr);
  CloseHandle(f);
}
bool existe(const std::string& chemin) {
  return GetFileAttributesA(chemin.c_str()) != INVALID_FILE_ATTRIBUTES;
}
bool dossier_a_un_export(const std::string& dossier) {
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA((dossier + "\\stock_*.txt").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return false;
  FindClose(h);
  return true;
}
#else
using Poignee = int;
const Poignee aucune = -1;

Poignee ouvre(const std::string& chemin, bool ecriture) {
  return ::open(chemin.c_str(), ecriture ? O_RDWR : O_RDONLY);
}
void ferme(Poignee f) { ::close(f); }
long lit_a(Poignee f, void* octets, std::size_t n, std::int64_t position) {
  return static_cast<long>(::pread(f, octets, n, static_cast<off_t>(position)));
}
long ecrit_a(Poignee f, const void* octets, std::size_t n, std::int64_t position) {
  return static_cast<long>(::pwrite(f, octets, n, static_cast<off_t>(position)));
}
void ajoute_au_fichier(const std::string& chemin, std::string_view texte) {
  const int f = ::open(chemin.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (f < 0) return;
  if (::write(f, texte.data(), texte.size()) < 0) std::perror(chemin.c_str());
  ::close(f);
}
bool existe(const std::string& chemin) {
  struct stat s;
  return ::stat(chemin.c_str(), &s) == 0;
}
bool dossier_a_un_export(const std::string& dossier) {
  DIR* d = ::opendir(dossier.c_str());
  if (d == nullptr) return false;
  bool trouve = false;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view nom = e->d_name;
    if (nom.starts_with("stock_") && nom.ends_with(".txt")) {
      trouve = true;
      break;
    }
  }
  ::closedir(d);
  return trouve;
}
#endif

// Record n (from 1) of a file of records of `taille` bytes; what the file
// does not hold reads as zeros, as a record read past the end does.
void lit_record(Poignee f, unsigned char* r, std::size_t taille, std::int64_t n) {
  const long lus = lit_a(f, r, taille, (n - 1) * static_cast<std::int64_t>(taille));
  const std::size_t l = lus < 0 ? 0 : static_cast<std::size_t>(lus);
  if (l < taille) std::memset(r + l, 0, taille - l);
}

std::int32_t lit_long(const unsigned char* p) {
  return static_cast<std::int32_t>(
      static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
      static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}
void met_long(unsigned char* p, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(u >> (8 * i));
}
void met_court(unsigned char* p, std::int16_t v) {
  const auto u = static_cast<std::uint16_t>(v);
  p[0] = static_cast<unsigned char>(u);
  p[1] = static_cast<unsigned char>(u >> 8);
}
float lit_single(const unsigned char* p) {
  const auto u = static_cast<std::uint32_t>(lit_long(p));
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}
void met_single(unsigned char* p, float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, 4);
  met_long(p, static_cast<std::int32_t>(u));
}

double secondes() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

unsigned char majuscule(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  return c;
}

// --- Lookup ------------------------------------------------------------------

constexpr std::size_t taille_entree = 24;
constexpr std::size_t taille_cle = 16;

int compare_entree(const unsigned char* cle, const unsigned char* entree) {
  for (std::size_t i = 0; i < taille_cle; ++i) {
    const unsigned char e = majuscule(entree[i]);
    if (cle[i] != e) return cle[i] < e ? -1 : 1;
  }
  return 0;
}

// The widest window of sorted entries (either side of the probe), and the
// step from which the search reads one: 256, the lookup's own (PLANCHER_FENETRE
// sets another, 0 for one read a probe, to compare).
constexpr std::int32_t fenetre_max = 1024;
std::int32_t fenetre = 256;
// Read calls of the halving searches and lookups made, for the reads per lookup.
long lectures_triees = 0, recherches = 0;

std::int32_t cherche(const std::string& index, std::string_view reference) {
  ++recherches;
  unsigned char cle[taille_cle];
  std::memset(cle, ' ', taille_cle);
  cle[0] = 'A';
  std::string_view r = reference.substr(0, taille_cle - 1);
  while (!r.empty() && r.back() == ' ') r.remove_suffix(1);
  for (std::size_t i = 0; i < r.size(); ++i)
    cle[i + 1] = majuscule(static_cast<unsigned char>(r[i]));

  const Poignee f = ouvre(index, false);
  unsigned char e[taille_entree];
  lit_record(f, e, taille_entree, 1);
  const std::int32_t triees = lit_long(e + 20);

  // Halving search over the sorted entries; a swing between two entries or
  // 200 probes ends it. Once the step is down to `fenetre` entries, the
  // entries the rest of the search can reach are read in one call and the
  // same probes go on in that copy; a probe outside it reads a new window.
  std::int32_t pas = triees / 2, position = pas, trouve = 0;
  std::int32_t vues[201] = {};
  static unsigned char copie[(2 * fenetre_max + 1) * taille_entree];
  std::int32_t lo = 0, hi = -1;
  for (std::int32_t i = 1; i <= triees; ++i) {
    if (position < lo || position > hi) {
      lo = hi = position;
      if (pas <= fenetre) {
        lo = std::max(position - fenetre, 0);
        hi = std::min(position + fenetre, triees);
      }
      const auto n = static_cast<std::size_t>(hi - lo + 1) * taille_entree;
      const long lus = lit_a(f, copie, n, lo * std::int64_t{taille_entree});
      const std::size_t l = lus < 0 ? 0 : static_cast<std::size_t>(lus);
      if (l < n) std::memset(copie + l, 0, n - l);
      ++lectures_triees;
    }
    const unsigned char* e_lue = copie + static_cast<std::size_t>(position - lo) * taille_entree;
    if (i <= 200) vues[i] = position;
    pas = std::max(pas / 2, 1);
    const int c = compare_entree(cle, e_lue);
    if (c == 0) {
      trouve = lit_long(e_lue + 16);
      break;
    }
    position += c > 0 ? pas : -pas;
    if (position > triees || position < 1) break;
    if (i > 4 && (i > 200 || (vues[i] == vues[i - 2] && vues[i - 1] == vues[i - 3]))) break;
  }

  std::int32_t resultat = trouve;
  if (trouve == 0) {
    // The unsorted tail, newest first, a block of entries a read.
    resultat = -1;
    constexpr std::int32_t par_bloc = 170;
    static unsigned char bloc[par_bloc * taille_entree];
    lit_record(f, e, taille_entree, 1);
    for (std::int32_t j = lit_long(e + 16); j >= triees && resultat == -1;) {
      const std::int32_t premier = std::max(j - par_bloc + 1, triees);
      const auto n = static_cast<std::size_t>(j - premier + 1);
      const long lus = lit_a(f, bloc, n * taille_entree, premier * std::int64_t{taille_entree});
      const std::size_t l = lus < 0 ? 0 : static_cast<std::size_t>(lus);
      if (l < n * taille_entree) std::memset(bloc + l, 0, n * taille_entree - l);
      for (std::size_t x = n; x-- > 0 && resultat == -1; --j) {
        const unsigned char* q = bloc + x * taille_entree;
        if (compare_entree(cle, q) == 0) resultat = lit_long(q + 16);
      }
    }
  }
  ferme(f);
  return resultat;
}

// --- Apply -------------------------------------------------------------------

constexpr std::size_t taille_article = 256;
constexpr std::size_t taille_mouvement = 64;

std::string lit_tout(const char* chemin) {
  std::string texte;
  FILE* f = std::fopen(chemin, "rb");
  if (f == nullptr) return texte;
  char tampon[65536];
  std::size_t n;
  while ((n = std::fread(tampon, 1, sizeof tampon, f)) > 0) texte.append(tampon, n);
  std::fclose(f);
  return texte;
}

int applique(const std::string& caisse, const char* mouvements, const std::string& erreurs) {
  if (const char* v = std::getenv("PLANCHER_FENETRE"); v && *v)
    fenetre = std::clamp(std::atoi(v), 0, fenetre_max);
  const std::string texte = lit_tout(mouvements);
  const std::string index = caisse + "/W_caiind.WDO";
  const std::string fichier_mouvements = caisse + "/W_CAIREC.WDO";
  const Poignee articles = ouvre(caisse + "/w_caiar4.wdo", true);
  if (articles == aucune) {
    std::fprintf(stderr, "plancher: no article file in %s\n", caisse.c_str());
    return 1;
  }
  // The date and time stamped on movements, as the exchange takes them.
  const std::time_t t = std::time(nullptr);
  const std::tm* l = std::localtime(&t);
  char date[48], heure[24];
  std::snprintf(date, sizeof date, "%02d-%02d-%04d", l->tm_mday, l->tm_mon + 1, l->tm_year + 1900);
  std::snprintf(heure, sizeof heure, "%02d:%02d", l->tm_hour, l->tm_min);

  long appliques = 0, inconnus = 0;
  unsigned char a[taille_article], m[taille_mouvement];
  const double debut = secondes();
  for (std::size_t p = 0, fin; (fin = texte.find('\n', p)) != std::string::npos; p = fin + 1) {
    const std::string_view record(texte.data() + p, fin - p);
    const std::size_t tab = record.find('\t');
    const std::string_view reference = record.substr(0, tab);
    const double quantite = tab == std::string_view::npos
                                ? 0
                                : std::strtod(std::string(record.substr(tab + 1)).c_str(), nullptr);
    const std::int32_t k = cherche(index, reference);
    if (k < 1) {
      char ligne[160];
      const int n = std::snprintf(ligne, sizeof ligne, "Erreur reference : %.*s %g \r\n",
                                  static_cast<int>(std::min<std::size_t>(reference.size(), 100)),
                                  reference.data(), quantite);
      ajoute_au_fichier(erreurs, std::string_view(ligne, static_cast<std::size_t>(n)));
      ++inconnus;
      continue;
    }
    // The article read when found, and again when its stock is changed.
    lit_record(articles, a, taille_article, k + 1);
    lit_record(articles, a, taille_article, k + 1);
    met_single(a + 71, static_cast<float>(static_cast<double>(lit_single(a + 71)) + quantite));
    met_single(a + 79, static_cast<float>(static_cast<double>(lit_single(a + 79)) - quantite));
    std::memcpy(a + 93, date, 10);
    ecrit_a(articles, a, taille_article, std::int64_t{k} * taille_article);

    const Poignee f = ouvre(fichier_mouvements, true);
    lit_record(f, m, taille_mouvement, 1);
    const std::int32_t numero = lit_long(m + 48) + 1;
    met_long(m + 48, numero);
    ecrit_a(f, m, taille_mouvement, 0);
    std::memset(m, ' ', taille_mouvement);
    std::memcpy(m, date, 10);
    std::memcpy(m + 10, heure, 5);
    std::memcpy(m + 15, a, 15);
    met_single(m + 36, static_cast<float>(quantite));
    std::memcpy(m + 40, a + 55, 8);
    met_long(m + 48, 1);
    met_court(m + 52, 1);
    std::memcpy(m + 54, "-Serv:vpc-", 10);
    ecrit_a(f, m, taille_mouvement, std::int64_t{numero} * taille_mouvement);
    ferme(f);
    ++appliques;
  }
  const double duree = secondes() - debut;
  ferme(articles);
  std::printf("floor apply: %ld applied, %ld unknown, %.3f s, %.0f records/s\n", appliques,
              inconnus, duree, static_cast<double>(appliques + inconnus) / duree);
  std::fprintf(
      stderr, "plancher: window %d, %.2f halving reads per lookup\n", fenetre,
      recherches ? static_cast<double>(lectures_triees) / static_cast<double>(recherches) : 0.0);
  return 0;
}

// Only the lookups of a movement file's records, to weigh the lookup alone
// (the window of PLANCHER_FENETRE against another): lookups a second, in
// processor time, and the halving search's reads a lookup.
int cherche_tout(const std::string& caisse, const char* mouvements) {
  if (const char* v = std::getenv("PLANCHER_FENETRE"); v && *v)
    fenetre = std::clamp(std::atoi(v), 0, fenetre_max);
  const std::string texte = lit_tout(mouvements);
  const std::string index = caisse + "/W_caiind.WDO";
  long trouvees = 0;
  const std::clock_t debut = std::clock();
  for (std::size_t p = 0, fin; (fin = texte.find('\n', p)) != std::string::npos; p = fin + 1) {
    const std::string_view record(texte.data() + p, fin - p);
    trouvees += cherche(index, record.substr(0, record.find('\t'))) >= 1;
  }
  const double duree = static_cast<double>(std::clock() - debut) / CLOCKS_PER_SEC;
  std::printf(
      "floor lookups: window %d, %ld found of %ld, %.0f lookups/s of processor time, %.2f "
      "halving reads a lookup\n",
      fenetre, trouvees, recherches, static_cast<double>(recherches) / duree,
      static_cast<double>(lectures_triees) / static_cast<double>(recherches));
  return 0;
}

// --- Export ------------------------------------------------------------------

int exporte(const std::string& caisse, const char* sortie, int mode) {
  const double debut = secondes();
  const Poignee articles = ouvre(caisse + "/w_caiar4.wdo", false);
  if (articles == aucune) return 1;
  unsigned char a[taille_article];
  lit_record(articles, a, taille_article, 1);
  const std::int32_t n = lit_long(a + 105);
  FILE* o = std::fopen(sortie, "wb");
  if (o == nullptr) return 1;
  long listes = 0;
  for (std::int32_t k = 1; k <= n; ++k) {
    lit_record(articles, a, taille_article, k + 1);
    const unsigned char* extension = a + 113;
    if (extension[100] != '1' || extension[99] != '0') continue;
    std::string_view r(reinterpret_cast<const char*>(mode != 0 ? extension + 84 : a), 15);
    while (!r.empty() && r.back() == ' ') r.remove_suffix(1);
    while (!r.empty() && r.front() == ' ') r.remove_prefix(1);
    if (mode != 0 && r.empty()) continue;
    std::fprintf(o, "%.*s\t%.2f\t\r\n", static_cast<int>(r.size()), r.data(),
                 static_cast<double>(lit_single(a + 71)));
    ++listes;
  }
  std::fclose(o);
  ferme(articles);
  std::printf("floor export: %ld of %d listed, %.2f ms\n", listes, n, (secondes() - debut) * 1000);
  return 0;
}

// --- Watching another program's exchange ---------------------------------------

// Times in seconds from the start of the watch, -1 for what was not seen.
// Every 2 ms: one read of the movement header, one look for the working file
// until it came, one listing of the export folder once the movements are
// all there; the watched program shares the machine with it.
int guette(const std::string& caisse, long attendus, const std::string& dossier_export,
           const std::string& travail, double delai, const char* pret) {
  const std::string fichier_mouvements = caisse + "/W_CAIREC.WDO";
  const Poignee f = ouvre(fichier_mouvements, false);
  if (f == aucune) return 1;
  unsigned char m[taille_mouvement];
  lit_record(f, m, taille_mouvement, 1);
  const long base = lit_long(m + 48);
  // The count before is known: the watched program may start.
  if (pret != nullptr) ajoute_au_fichier(pret, "");
  const double debut = secondes();
  double copie = -1, premier = -1, dernier = -1, export_vu = -1;
  const bool guette_travail = travail != "-", guette_export = dossier_export != "-";
  for (;;) {
    const double t = secondes() - debut;
    if (guette_travail && copie < 0 && existe(travail)) copie = t;
    if (dernier < 0) {
      lit_record(f, m, taille_mouvement, 1);
      const long faits = lit_long(m + 48) - base;
      if (faits >= 1 && premier < 0) premier = t;
      if (faits >= attendus) dernier = t;
    }
    if (dernier >= 0 &&
        (!guette_export || (export_vu < 0 && dossier_a_un_export(dossier_export)))) {
      if (guette_export) export_vu = t;
      break;
    }
    if (t > delai) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ferme(f);
  std::printf("watch: copy %.4f first %.4f last %.4f export %.4f\n", copie, premier, dernier,
              export_vu);
  return dernier >= 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view quoi = argc > 1 ? argv[1] : "";
  if (quoi == "apply" && argc == 5) return applique(argv[2], argv[3], argv[4]);
  if (quoi == "cherche" && argc == 4) return cherche_tout(argv[2], argv[3]);
  if (quoi == "export" && argc == 5) return exporte(argv[2], argv[3], std::atoi(argv[4]));
  if (quoi == "guette" && argc >= 6) {
    return guette(argv[2], std::atol(argv[3]), argv[4], argv[5],
                  argc > 6 ? std::atof(argv[6]) : 300.0, argc > 7 ? argv[7] : nullptr);
  }
  std::fprintf(stderr,
               "usage: plancher apply CAISSE MOUVEMENTS ERREURS\n"
               "       plancher export CAISSE SORTIE MODE\n"
               "       plancher cherche CAISSE MOUVEMENTS\n"
               "       plancher guette CAISSE N EXPORT TRAVAIL [DELAI_S [PRET]]\n");
  return 2;
}
