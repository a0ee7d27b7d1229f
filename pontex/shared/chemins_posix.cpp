// Paths written for the shop's Windows workstation ("C:\Caisse\Données\",
// "import\histo") used on Linux. Folder values and file names come from
// "Pontex.wdo" and from the program in Windows-1252 with backslashes, while
// Linux names are UTF-8 and case-sensitive. The cash-register folder is often
// a copy of Windows files whose names differ in case from the ones the
// program uses ("W_CAIREC.WDO" on disk as "w_cairec.wdo"), so names are
// matched ignoring case, as the workstation does.

#include "pontex/shared/chemins_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "pontex/shared/encodage.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex::interne {

namespace {

bool ascii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// One iconv descriptor per direction, opened once: the index file is opened
// at every lookup and its path converted each time.
class Convertisseur {
 public:
  Convertisseur(const char* vers, const char* depuis, const char* depuis_autre) {
    cd_ = iconv_open(vers, depuis);
    if (cd_ == reinterpret_cast<iconv_t>(-1)) cd_ = iconv_open(vers, depuis_autre);
  }
  ~Convertisseur() {
    if (valide()) iconv_close(cd_);
  }
  Convertisseur(const Convertisseur&) = delete;
  Convertisseur& operator=(const Convertisseur&) = delete;
  bool valide() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `texte`; on a character that cannot be converted, `repli`
  // (given the remaining input) either appends a replacement and returns the
  // number of input bytes it used, or returns 0 to give up.
  template <typename Repli>
  std::optional<std::string> convertit(std::string_view texte, Repli repli) {
    if (!valide()) return std::nullopt;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string sortie;
    sortie.reserve(texte.size() * 2);
    char* entree = const_cast<char*>(texte.data());
    std::size_t reste = texte.size();
    char tampon[512];
    while (reste > 0) {
      char* out = tampon;
      std::size_t place = sizeof tampon;
      const std::size_t r = iconv(cd_, &entree, &reste, &out, &place);
      sortie.append(tampon, static_cast<std::size_t>(out - tampon));
      if (r != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a sequence cut short at the end).
      const std::size_t pris = repli(std::string_view(entree, reste), sortie);
      if (pris == 0) return std::nullopt;
      entree += pris;
      reste -= pris;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return sortie;
  }

 private:
  iconv_t cd_;
};

bool indefini_1252(unsigned char c) {
  return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

}  // namespace

std::string utf8_depuis_1252(std::string_view texte) {
  if (ascii(texte)) return std::string(texte);
  thread_local Convertisseur conv("UTF-8", "WINDOWS-1252", "CP1252");
  auto r = conv.convertit(texte, [](std::string_view reste, std::string& sortie) -> std::size_t {
    // A byte with no character in Windows-1252: the control character of
    // the same number (two UTF-8 bytes, 0xC2 then the byte itself).
    sortie.push_back(static_cast<char>(0xC2));
    sortie.push_back(reste[0]);
    return 1;
  });
  if (r) return *r;
  // No converter at all (a system without the code page): keep the bytes.
  return std::string(texte);
}

std::optional<std::string> cp1252_depuis_utf8(std::string_view texte) {
  if (ascii(texte)) return std::string(texte);
  thread_local Convertisseur conv("WINDOWS-1252", "UTF-8", "UTF-8");
  // The partner of conversion above: the control characters U+0081 etc.
  // go back to their byte.
  return conv.convertit(texte, [](std::string_view reste, std::string& sortie) -> std::size_t {
    if (reste.size() >= 2 && static_cast<unsigned char>(reste[0]) == 0xC2 &&
        indefini_1252(static_cast<unsigned char>(reste[1]))) {
      sortie.push_back(reste[1]);
      return 2;
    }
    return 0;
  });
}

namespace {

void ajoute_echappe(std::string& sortie, unsigned char octet) {
  static constexpr char chiffres[] = "0123456789abcdef";
  sortie += "\\x";
  sortie.push_back(chiffres[octet >> 4]);
  sortie.push_back(chiffres[octet & 0xF]);
}

}  // namespace

std::string nom_programme(std::string_view nom_disque) {
  if (nom_disque.find('\\') == std::string_view::npos) {
    if (auto nom = cp1252_depuis_utf8(nom_disque)) return std::move(*nom);
  }
  std::string sortie;
  for (std::size_t i = 0; i < nom_disque.size();) {
    const std::size_t n = longueur_sequence_utf8(nom_disque, i);
    if (n == 0) {
      ajoute_echappe(sortie, static_cast<unsigned char>(nom_disque[i]));
      ++i;
      continue;
    }
    const std::string_view caractere = nom_disque.substr(i, n);
    auto converti = caractere == "\\" ? std::nullopt : cp1252_depuis_utf8(caractere);
    if (converti) {
      sortie += *converti;
    } else {
      for (const char c : caractere) ajoute_echappe(sortie, static_cast<unsigned char>(c));
    }
    i += n;
  }
  return sortie;
}

std::string nom_disque(std::string_view nom) {
  if (nom.find('\\') == std::string_view::npos) return utf8_depuis_1252(nom);
  std::string sortie;
  std::size_t debut = 0;
  for (std::size_t i = 0; i < nom.size();) {
    const int octet = octet_echappe(nom, i);
    if (octet < 0) {
      ++i;
      continue;
    }
    sortie += utf8_depuis_1252(nom.substr(debut, i - debut));
    sortie.push_back(static_cast<char>(octet));
    i += 4;
    debut = i;
  }
  sortie += utf8_depuis_1252(nom.substr(debut));
  return sortie;
}

std::string joint_chemin(const std::string& dossier, std::string_view nom) {
  if (dossier.empty()) return std::string(nom);
  std::string r = dossier;
  if (r.back() != '/') r.push_back('/');
  r.append(nom);
  return r;
}

namespace {

bool existe_entree(const std::string& chemin) {
  struct stat st;
  return ::lstat(chemin.c_str(), &st) == 0;
}

bool est_dossier(const std::string& chemin) {
  struct stat st;
  return ::stat(chemin.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A listing of the folder held as `fd`, from its first entry: a copy of the
// descriptor, as closedir() closes what it was given and the held one must
// stay open.
DIR* ouvre_liste(int fd) {
  const int copie = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copie < 0) return nullptr;
  DIR* d = ::fdopendir(copie);
  if (d == nullptr) {
    const int erreur = errno;
    ::close(copie);
    errno = erreur;
    return nullptr;
  }
  // The copy shares the held descriptor's position, which an earlier
  // listing left at the end.
  ::rewinddir(d);
  return d;
}

DIR* ouvre_liste(const std::string& dossier) {
  return ::opendir(dossier.empty() ? "." : dossier.c_str());
}

// The entries of `d` whose name equals `nom` ignoring case. When several do
// (a folder holding both "a.txt" and "A.TXT" asked for "A.txt"), the first in
// list order wins, so the choice is the same every time; when a folder is
// wanted, folders go first (`est_dossier` tells them by name).
template <typename EstDossier>
std::optional<std::string> cherche_sans_casse(DIR* d, std::string_view nom, bool dossier_voulu,
                                              EstDossier est_dossier) {
  if (d == nullptr) return std::nullopt;
  std::vector<Entree> trouvees;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view nom_disque = e->d_name;
    if (nom_disque == "." || nom_disque == "..") continue;
    if (nom_disque.size() != nom.size() && ascii(nom_disque)) continue;
    // Compared in program form: a name written with escapes finds only the
    // entry whose bytes they stand for, never one that holds the backslash
    // and the hex digits themselves.
    std::string nom_1252 = nom_programme(nom_disque);
    if (!egal_sans_casse(nom_1252, nom)) continue;
    trouvees.push_back({std::string(nom_disque), std::move(nom_1252)});
  }
  if (trouvees.empty()) return std::nullopt;
  std::sort(trouvees.begin(), trouvees.end(), [](const Entree& a, const Entree& b) {
    return avant_dans_liste(a.nom_1252, b.nom_1252);
  });
  if (dossier_voulu) {
    for (const Entree& e : trouvees)
      if (est_dossier(e.nom_utf8)) return e.nom_utf8;
  }
  return trouvees.front().nom_utf8;
}

std::optional<std::string> cherche_sans_casse(const std::string& dossier, std::string_view nom,
                                              bool dossier_voulu) {
  DIR* d = ouvre_liste(dossier);
  auto r = cherche_sans_casse(d, nom, dossier_voulu, [&](const std::string& n) {
    return est_dossier(joint_chemin(dossier, n));
  });
  if (d != nullptr) ::closedir(d);
  return r;
}

}  // namespace

std::string resout_nom(const std::string& dossier, std::string_view nom) {
  std::string tel_quel = nom_disque(nom);
  if (existe_entree(joint_chemin(dossier, tel_quel))) return tel_quel;
  if (auto trouve = cherche_sans_casse(dossier, nom, false)) return *trouve;
  return tel_quel;
}

std::string resout_nom(int dossier, std::string_view nom, bool dossier_voulu) {
  std::string tel_quel = nom_disque(nom);
  struct stat st;
  if (::fstatat(dossier, tel_quel.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return tel_quel;
  DIR* d = ouvre_liste(dossier);
  auto trouve = cherche_sans_casse(d, nom, dossier_voulu, [&](const std::string& n) {
    struct stat s;
    return ::fstatat(dossier, n.c_str(), &s, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(s.st_mode);
  });
  if (d != nullptr) ::closedir(d);
  return trouve ? *trouve : tel_quel;
}

std::optional<std::string> chemin_tel_quel(std::string_view chemin) {
  if (chemin.empty()) return std::string(".");
  // The usual path is plain ASCII: one pass makes it, as the index and the
  // movement file are opened for every record applied.
  std::string entier(chemin.size(), '\0');
  for (std::size_t i = 0; i < chemin.size(); ++i) {
    const char c = chemin[i];
    if (c == '\0') return std::nullopt;
    if (static_cast<unsigned char>(c) >= 0x80) {
      if (chemin.find('\0', i) != std::string_view::npos) return std::nullopt;
      entier = utf8_depuis_1252(chemin);
      std::replace(entier.begin(), entier.end(), '\\', '/');
      return entier;
    }
    entier[i] = c == '\\' ? '/' : c;
  }
  return entier;
}

std::optional<std::string> resout_chemin(std::string_view chemin) {
  auto tel_quel = chemin_tel_quel(chemin);
  if (!tel_quel) return std::nullopt;
  if (chemin.empty()) return tel_quel;

  // The usual case costs one lstat: the path exists as written.
  std::string entier = std::move(*tel_quel);
  if (existe_entree(entier)) return entier;

  // Otherwise walk it component by component. Empty components ("a\\b")
  // are dropped, "." and ".." kept as they are.
  std::vector<std::string_view> composants;
  std::size_t debut = 0;
  for (std::size_t i = 0; i <= chemin.size(); ++i) {
    if (i == chemin.size() || est_separateur(chemin[i])) {
      if (i > debut) composants.push_back(chemin.substr(debut, i - debut));
      debut = i + 1;
    }
  }
  std::string resultat = est_separateur(chemin.front()) ? "/" : "";
  // Once a component matches nothing, the rest cannot exist either: it is
  // written as asked, ready to be created.
  bool parent_existe = true;
  for (std::size_t i = 0; i < composants.size(); ++i) {
    const std::string_view c = composants[i];
    std::string candidat = joint_chemin(resultat, utf8_depuis_1252(c));
    if (parent_existe && c != "." && c != ".." && !existe_entree(candidat)) {
      const bool dernier = i + 1 == composants.size();
      if (auto trouve = cherche_sans_casse(resultat, c, !dernier))
        candidat = joint_chemin(resultat, *trouve);
      else
        parent_existe = false;
    }
    resultat = std::move(candidat);
  }
  // push_back, not assignment: GCC 12 at -O2 warns falsely (-Wrestrict)
  // about the memcpy of an assignment here.
  if (resultat.empty()) resultat.push_back('.');
  return resultat;
}

namespace {

bool liste_natif(DIR* d, std::string_view motif, std::vector<Entree>& entrees, int& erreur) {
  entrees.clear();
  if (d == nullptr) {
    erreur = errno;
    return false;
  }
  const int fd = ::dirfd(d);
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(d);
    if (e == nullptr) break;
    const std::string_view nom = e->d_name;
    // Hidden files (and "." / "..") are not shown, as the workstation leaves
    // out hidden and system files.
    if (nom.empty() || nom.front() == '.') continue;
    // A name with no Windows-1252 form (Japanese, broken UTF-8) could not be
    // written back by the program to open, copy or delete it: it is left
    // out rather than shown under a name that names nothing.
    auto nom_1252 = cp1252_depuis_utf8(nom);
    if (!nom_1252 || !correspond_motif(*nom_1252, motif)) continue;
    // Plain files only; a symbolic link counts when it leads to one. The
    // folder entry usually says what it is, saving a stat per file.
    if (e->d_type != DT_REG) {
      struct stat st;
      if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) continue;
      if (::fstatat(fd, e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
    }
    entrees.push_back({std::string(nom), std::move(*nom_1252)});
  }
  const int erreur_lecture = errno;
  ::closedir(d);
  if (erreur_lecture != 0) {
    erreur = erreur_lecture;
    entrees.clear();
    return false;
  }
  std::sort(entrees.begin(), entrees.end(), [](const Entree& a, const Entree& b) {
    return avant_dans_liste(a.nom_1252, b.nom_1252);
  });
  return true;
}

}  // namespace

bool liste_natif(const std::string& dossier, std::string_view motif, std::vector<Entree>& entrees,
                 int& erreur) {
  return liste_natif(ouvre_liste(dossier), motif, entrees, erreur);
}

bool liste_natif(int dossier, std::string_view motif, std::vector<Entree>& entrees, int& erreur) {
  return liste_natif(ouvre_liste(dossier), motif, entrees, erreur);
}

}  // namespace pontex::interne
