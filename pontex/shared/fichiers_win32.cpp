// File operations on Windows. The file system already matches names
// ignoring case; paths arrive in the ANSI code page and are passed to the
// wide API. Every operation asks the test hook first and keeps nothing open.

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "pontex/shared/chemins_win32.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

namespace {

using interne::chemin_large;
using interne::echec_injecte;
using interne::ecrit_tout;

Resultat echec_systeme(const char* quoi, std::string_view chemin, DWORD code = ::GetLastError()) {
  return Resultat::echec(std::string(quoi) + " " + std::string(chemin) + ": " +
                         interne::texte_erreur(code));
}

Resultat echec_injection(std::string_view chemin) {
  return Resultat::echec("failure injected for " + std::string(chemin));
}

Resultat prepare(Operation operation, std::string_view chemin, std::wstring& large) {
  if (echec_injecte(operation, chemin)) return echec_injection(chemin);
  auto r = chemin_large(chemin);
  if (!r) return Resultat::echec("path holds a NUL byte");
  large = std::move(*r);
  return Resultat::succes();
}

class Poignee {
 public:
  explicit Poignee(HANDLE h) : h_(h) {}
  ~Poignee() {
    if (ok()) ::CloseHandle(h_);
  }
  Poignee(const Poignee&) = delete;
  Poignee& operator=(const Poignee&) = delete;
  HANDLE get() const { return h_; }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
  bool ferme() {
    const HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h == INVALID_HANDLE_VALUE || ::CloseHandle(h);
  }

 private:
  HANDLE h_;
};

constexpr DWORD partage = FILE_SHARE_READ | FILE_SHARE_WRITE;

// True when both paths name one existing file (another case, a short name,
// a link): copying it onto itself would empty it.
bool meme_fichier(const std::wstring& a, const std::wstring& b) {
  auto identite = [](const std::wstring& chemin, BY_HANDLE_FILE_INFORMATION& info) {
    Poignee h(::CreateFileW(chemin.c_str(), 0, partage | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    return h.ok() && ::GetFileInformationByHandle(h.get(), &info);
  };
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return identite(a, ia) && identite(b, ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool attributs(const std::wstring& chemin, DWORD& a) {
  a = ::GetFileAttributesW(chemin.c_str());
  return a != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::string chemin_natif(std::string_view chemin) {
  auto large = chemin_large(chemin);
  return large ? interne::utf8_depuis_large(*large) : std::string();
}

Resultat liste_fichiers(std::string_view dossier, std::string_view motif,
                        std::vector<std::string>& noms) {
  noms.clear();
  std::wstring large;
  if (Resultat r = prepare(Operation::listage, dossier, large); !r) return r;
  std::vector<std::wstring> larges;
  unsigned long erreur = 0;
  if (!interne::liste_natif(large, motif, noms, larges, erreur))
    return echec_systeme("list", dossier, erreur);
  return Resultat::succes();
}

// The presence checks look into a folder as a file list box does: they are
// "listing" operations for the test hook.
bool existe_fichier(std::string_view chemin) {
  if (echec_injecte(Operation::listage, chemin)) return false;
  const interne::CheminDecoupe d = interne::decoupe_chemin(chemin);
  if (d.nom.empty()) return false;
  if (interne::est_motif(d.nom)) {
    auto dossier = chemin_large(d.dossier);
    std::vector<std::string> noms;
    std::vector<std::wstring> larges;
    unsigned long erreur = 0;
    return dossier && interne::liste_natif(*dossier, d.nom, noms, larges, erreur) && !noms.empty();
  }
  auto large = chemin_large(chemin);
  DWORD a = 0;
  return large && attributs(*large, a) &&
         !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

bool existe_dossier(std::string_view chemin) {
  if (echec_injecte(Operation::listage, chemin)) return false;
  auto large = chemin_large(chemin);
  DWORD a = 0;
  return large && attributs(*large, a) && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool existe_entree(std::string_view chemin) {
  if (echec_injecte(Operation::listage, chemin)) return false;
  auto large = chemin_large(chemin);
  DWORD a = 0;
  return large && attributs(*large, a);
}

Resultat synchronise_dossier(std::string_view chemin) {
  std::wstring large;
  if (Resultat r = prepare(Operation::synchronisation, chemin, large); !r) return r;
  if (large.empty()) large = L".";
  // NTFS writes its folder changes through its own log; flushing a folder
  // needs write access to it, which a shop's account may not have. Where
  // the folder cannot be opened so, the log is all there is to count on.
  Poignee dossier(::CreateFileW(large.c_str(), GENERIC_READ | GENERIC_WRITE, partage, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (dossier.ok())
    (void)::FlushFileBuffers(dossier.get());  // refused on some file systems: nothing more to do
  return Resultat::succes();
}

// The system's own copy, which leaves the destination alone when the source
// is missing; a copy of a file onto itself is refused first.
Resultat copie_fichier(std::string_view source, std::string_view destination) {
  if (echec_injecte(Operation::copie, destination)) return echec_injection(destination);
  std::wstring src, dst;
  if (Resultat r = prepare(Operation::copie, source, src); !r) return r;
  if (Resultat r = prepare(Operation::copie, destination, dst); !r) return r;
  if (meme_fichier(src, dst))
    return Resultat::echec("cannot copy " + std::string(source) + " onto itself");
  if (!::CopyFileW(src.c_str(), dst.c_str(), FALSE)) {
    const DWORD code = ::GetLastError();
    // Cut short by a full disk: no truncated copy is left to be taken for a
    // whole one.
    if (code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL) ::DeleteFileW(dst.c_str());
    return echec_systeme("copy", source, code);
  }
  return Resultat::succes();
}

Resultat renomme_fichier(std::string_view ancien, std::string_view nouveau) {
  if (echec_injecte(Operation::renommage, nouveau)) return echec_injection(nouveau);
  std::wstring de, vers;
  if (Resultat r = prepare(Operation::renommage, ancien, de); !r) return r;
  if (Resultat r = prepare(Operation::renommage, nouveau, vers); !r) return r;
  if (!::MoveFileExW(de.c_str(), vers.c_str(), MOVEFILE_REPLACE_EXISTING))
    return echec_systeme("rename", ancien);
  return Resultat::succes();
}

Resultat supprime_fichier(std::string_view chemin) {
  std::wstring large;
  if (Resultat r = prepare(Operation::suppression, chemin, large); !r) return r;
  if (!::DeleteFileW(large.c_str())) return echec_systeme("delete", chemin);
  return Resultat::succes();
}

Resultat supprime_motif(std::string_view chemin) {
  if (echec_injecte(Operation::suppression, chemin)) return echec_injection(chemin);
  const interne::CheminDecoupe d = interne::decoupe_chemin(chemin);
  // "C:\...\Startup\" with an empty name must never mean "everything".
  if (d.nom.empty()) return Resultat::echec("empty file pattern: nothing deleted");
  auto dossier = chemin_large(d.dossier);
  if (!dossier) return Resultat::echec("path holds a NUL byte");
  std::vector<std::string> noms;
  std::vector<std::wstring> larges;
  unsigned long erreur = 0;
  if (!interne::liste_natif(*dossier, d.nom, noms, larges, erreur))
    return echec_systeme("list", d.dossier, erreur);
  if (larges.empty()) return Resultat::echec("no file matches " + std::string(chemin));
  Resultat resultat = Resultat::succes();
  for (std::size_t i = 0; i < larges.size(); ++i) {
    const std::wstring f = interne::joint_large(*dossier, larges[i]);
    if (!::DeleteFileW(f.c_str()) && resultat) resultat = echec_systeme("delete", noms[i]);
  }
  return resultat;
}

Resultat cree_dossier(std::string_view chemin) {
  std::wstring large;
  if (Resultat r = prepare(Operation::creation_dossier, chemin, large); !r) return r;
  if (!::CreateDirectoryW(large.c_str(), nullptr)) return echec_systeme("create folder", chemin);
  return Resultat::succes();
}

std::optional<std::chrono::nanoseconds> date_modification(std::string_view chemin) {
  std::wstring large;
  if (!prepare(Operation::lecture, chemin, large)) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA donnees;
  if (!::GetFileAttributesExW(large.c_str(), GetFileExInfoStandard, &donnees)) return std::nullopt;
  // 100-nanosecond steps since 1601 to nanoseconds since 1970.
  const std::uint64_t t =
      (static_cast<std::uint64_t>(donnees.ftLastWriteTime.dwHighDateTime) << 32) |
      donnees.ftLastWriteTime.dwLowDateTime;
  return std::chrono::nanoseconds((static_cast<std::int64_t>(t) - 116444736000000000LL) * 100);
}

std::optional<std::int64_t> taille_fichier(std::string_view chemin) {
  std::wstring large;
  if (!prepare(Operation::lecture, chemin, large)) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA donnees;
  if (!::GetFileAttributesExW(large.c_str(), GetFileExInfoStandard, &donnees)) return std::nullopt;
  if (donnees.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
    return std::nullopt;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(donnees.nFileSizeHigh) << 32) |
                                   donnees.nFileSizeLow);
}

Resultat lit_texte(std::string_view chemin, std::string& contenu) {
  contenu.clear();
  if (echec_injecte(Operation::lecture, chemin)) return echec_injection(chemin);
  std::wstring large;
  if (Resultat r = prepare(Operation::ouverture, chemin, large); !r) return r;
  Poignee h(::CreateFileW(large.c_str(), GENERIC_READ, partage | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.ok()) return echec_systeme("open", chemin);
  char tampon[64 * 1024];
  for (;;) {
    DWORD lus = 0;
    if (!::ReadFile(h.get(), tampon, sizeof tampon, &lus, nullptr)) {
      const DWORD code = ::GetLastError();
      contenu.clear();
      return echec_systeme("read", chemin, code);
    }
    if (lus == 0) break;
    contenu.append(tampon, lus);
  }
  return Resultat::succes();
}

namespace {

Resultat ecrit_fichier(std::string_view chemin, std::string_view contenu, bool ajout) {
  if (echec_injecte(Operation::ecriture, chemin)) return echec_injection(chemin);
  std::wstring large;
  if (Resultat r = prepare(Operation::ouverture, chemin, large); !r) return r;
  // Opened without truncation, then cut after the new content: a hidden
  // or read-only-attributed existing file is handled as the system allows.
  Poignee h(::CreateFileW(large.c_str(), ajout ? FILE_APPEND_DATA : GENERIC_WRITE, partage, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.ok()) return echec_systeme("open", chemin);
  if (ecrit_tout(h.get(), contenu.data(), contenu.size()) && (ajout || ::SetEndOfFile(h.get())) &&
      h.ferme())
    return Resultat::succes();
  // A replaced text cut short (full disk) is removed rather than left to be
  // read as a whole one; an appended text keeps what it had.
  const DWORD code = ::GetLastError();
  h.ferme();
  if (!ajout) ::DeleteFileW(large.c_str());
  return echec_systeme("write", chemin, code);
}

}  // namespace

Resultat ecrit_texte(std::string_view chemin, std::string_view contenu) {
  return ecrit_fichier(chemin, contenu, false);
}

Resultat ajoute_texte(std::string_view chemin, std::string_view contenu) {
  return ecrit_fichier(chemin, contenu, true);
}

namespace interne {

bool ecrit_tout(HANDLE h, const char* p, std::size_t n) {
  while (n > 0) {
    const DWORD morceau = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
    DWORD ecrits = 0;
    if (!::WriteFile(h, p, morceau, &ecrits, nullptr) || ecrits == 0) return false;
    p += ecrits;
    n -= ecrits;
  }
  return true;
}

}  // namespace interne

}  // namespace pontex
