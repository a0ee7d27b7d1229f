// Transit folder files on Windows: every entry is opened with
// FILE_FLAG_OPEN_REPARSE_POINT, so a symbolic link or junction is opened as
// itself, and the attributes of the opened handle decide: only a plain disk
// file is read, and a link is deleted (the link, not its target) before a
// file is written under its name. A held folder is a handle opened without
// delete sharing: while it is open the folder can be neither renamed nor
// removed, nor can any folder of its path, so a path inside it keeps
// reaching it and the operations go by path.

#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <algorithm>
#include <random>
#include <utility>

#include "pontex/shared/chemins_win32.h"
#include "pontex/shared/fichiers_transit.h"
#include "pontex/shared/fichiers_transit_interne.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

namespace {

using interne::chemin_entree;
using interne::echec_injecte;
using interne::ecrit_tout;

constexpr DWORD partage = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD sans_lien = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;

class Poignee {
 public:
  Poignee() = default;
  explicit Poignee(HANDLE h) : h_(h) {}
  ~Poignee() {
    if (ok()) ::CloseHandle(h_);
  }
  Poignee(Poignee&& autre) noexcept : h_(std::exchange(autre.h_, INVALID_HANDLE_VALUE)) {}
  Poignee& operator=(Poignee&& autre) noexcept {
    if (this != &autre) {
      if (ok()) ::CloseHandle(h_);
      h_ = std::exchange(autre.h_, INVALID_HANDLE_VALUE);
    }
    return *this;
  }
  HANDLE get() const { return h_; }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
  bool ferme() {
    const HANDLE h = std::exchange(h_, INVALID_HANDLE_VALUE);
    return h == INVALID_HANDLE_VALUE || ::CloseHandle(h);
  }
  // Hands the handle over to its new owner.
  HANDLE relache() { return std::exchange(h_, INVALID_HANDLE_VALUE); }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

Resultat echec_systeme(const char* quoi, const std::string& chemin, DWORD code = ::GetLastError()) {
  return Resultat::echec(std::string(quoi) + " " + chemin + ": " + interne::texte_erreur(code));
}

Resultat echec_injection(const std::string& chemin) {
  return Resultat::echec("failure injected for " + chemin);
}

struct Entree {
  std::wstring dossier;
  std::wstring large;  // folder + name
  std::string chemin;  // as the caller would write it
};

Resultat ouvre_entree(Operation operation, const Emplacement& e, Entree& entree) {
  entree.chemin = chemin_entree(e.dossier.chemin(), e.nom);
  if (echec_injecte(operation, entree.chemin)) return echec_injection(entree.chemin);
  if (!nom_simple(e.nom)) return Resultat::echec("not a single file name: " + entree.chemin);
  if (!e.dossier.ouvert()) return Resultat::echec("folder not held: " + entree.chemin);
  auto dossier = interne::chemin_large(e.dossier.chemin());
  if (!dossier) return Resultat::echec("path holds a NUL byte");
  entree.dossier = *dossier;
  entree.large = interne::joint_large(*dossier, interne::large_depuis_ansi(e.nom));
  return Resultat::succes();
}

// A plain file on a disk: not a folder, not a link or junction, not a pipe
// or device.
bool fichier_simple(HANDLE h, std::uint64_t* taille = nullptr) {
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info)) return false;
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  if (taille != nullptr)
    *taille = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return true;
}

bool est_lien(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  return ::GetFileInformationByHandle(h, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::uint64_t alea() {
  std::uint64_t v = 0;
  if (BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&v), sizeof v,
                                       BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
    return v;
  std::random_device source;
  return (static_cast<std::uint64_t>(source()) << 32) ^ source();
}

Poignee cree_temporaire(const std::wstring& dossier, std::wstring& large) {
  for (int essai = 0; essai < interne::essais_temporaire; ++essai) {
    large =
        interne::joint_large(dossier, interne::large_depuis_ansi(interne::nom_temporaire(alea())));
    Poignee h(::CreateFileW(large.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            sans_lien, nullptr));
    if (h.ok() ||
        (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS))
      return h;
  }
  return Poignee();
}

// Opens the entry for writing (`acces` GENERIC_WRITE or FILE_APPEND_DATA)
// without following it: a link there is deleted and a new file created.
Resultat ouvre_ecriture(const Entree& e, DWORD acces, DWORD creation, Poignee& h) {
  for (int essai = 0; essai < 2; ++essai) {
    h = Poignee(::CreateFileW(e.large.c_str(), acces, partage, nullptr,
                              essai == 0 ? creation : CREATE_NEW, sans_lien, nullptr));
    if (!h.ok()) return echec_systeme("open", e.chemin);
    if (!est_lien(h.get())) break;
    h.ferme();
    if (!::DeleteFileW(e.large.c_str()) && !::RemoveDirectoryW(e.large.c_str()))
      return echec_systeme("delete link", e.chemin);
  }
  if (!h.ok() || !fichier_simple(h.get())) {
    h.ferme();
    return Resultat::echec(e.chemin + " is not a file");
  }
  return Resultat::succes();
}

struct Cible {
  Entree entree;
  Poignee h;
  std::wstring temporaire;
};

}  // namespace

Resultat copie_entree(const Emplacement& source, const std::vector<Emplacement>& destinations,
                      std::uint64_t taille_max, Refus& refus) {
  refus = Refus::aucun;
  if (!nom_simple(source.nom)) {
    refus = Refus::pas_un_fichier;
    return Resultat::echec("not a single file name: " + source.nom);
  }
  Entree src;
  if (Resultat r = ouvre_entree(Operation::copie, source, src); !r) return r;
  Poignee in(::CreateFileW(src.large.c_str(), GENERIC_READ, partage | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, sans_lien, nullptr));
  if (!in.ok()) {
    // A folder does not open as a file at all: it is refused like a link.
    const DWORD code = ::GetLastError();
    const DWORD a = ::GetFileAttributesW(src.large.c_str());
    if (a != INVALID_FILE_ATTRIBUTES &&
        (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
      refus = Refus::pas_un_fichier;
    return echec_systeme("open", src.chemin, code);
  }
  std::uint64_t taille = 0;
  if (!fichier_simple(in.get(), &taille)) {
    refus = Refus::pas_un_fichier;
    return Resultat::echec(src.chemin + " is not a file");
  }
  if (taille > taille_max) {
    refus = Refus::trop_volumineux;
    return Resultat::echec(src.chemin + " is too large");
  }

  std::vector<Cible> cibles(destinations.size());
  auto abandonne = [&](Resultat r) {
    for (Cible& c : cibles) {
      c.h.ferme();
      if (!c.temporaire.empty()) ::DeleteFileW(c.temporaire.c_str());
    }
    return r;
  };
  for (std::size_t i = 0; i < destinations.size(); ++i) {
    Cible& c = cibles[i];
    if (Resultat r = ouvre_entree(Operation::copie, destinations[i], c.entree); !r)
      return abandonne(r);
    c.h = cree_temporaire(c.entree.dossier, c.temporaire);
    if (!c.h.ok()) {
      const DWORD code = ::GetLastError();
      c.temporaire.clear();
      return abandonne(echec_systeme("create temporary for", c.entree.chemin, code));
    }
  }

  std::uint64_t total = 0;
  char tampon[64 * 1024];
  for (;;) {
    DWORD lus = 0;
    if (!::ReadFile(in.get(), tampon, sizeof tampon, &lus, nullptr))
      return abandonne(echec_systeme("read", src.chemin));
    if (lus == 0) break;
    total += lus;
    if (total > taille_max) {
      refus = Refus::trop_volumineux;
      return abandonne(Resultat::echec(src.chemin + " is too large"));
    }
    for (Cible& c : cibles) {
      if (!ecrit_tout(c.h.get(), tampon, lus))
        return abandonne(echec_systeme("write", c.entree.chemin));
    }
  }
  for (Cible& c : cibles) {
    if (!c.h.ferme()) return abandonne(echec_systeme("close", c.entree.chemin));
  }
  for (Cible& c : cibles) {
    // The rename replaces whatever stands under the name, a link included,
    // without following it.
    if (!::MoveFileExW(c.temporaire.c_str(), c.entree.large.c_str(), MOVEFILE_REPLACE_EXISTING))
      return abandonne(echec_systeme("rename", c.entree.chemin));
    c.temporaire.clear();
  }
  return Resultat::succes();
}

Resultat ecrit_temporaire(const DossierTenu& dossier, std::string_view contenu,
                          std::string& nom_temporaire) {
  nom_temporaire.clear();
  const std::string chemin = chemin_entree(dossier.chemin(), "*.tmp");
  if (echec_injecte(Operation::ecriture, chemin)) return echec_injection(chemin);
  if (!dossier.ouvert()) return Resultat::echec("folder not held: " + chemin);
  auto large_dossier = interne::chemin_large(dossier.chemin());
  if (!large_dossier) return Resultat::echec("path holds a NUL byte");
  std::wstring large;
  Poignee h = cree_temporaire(*large_dossier, large);
  if (!h.ok()) return echec_systeme("create temporary in", dossier.chemin());
  if (ecrit_tout(h.get(), contenu.data(), contenu.size()) && h.ferme()) {
    const std::size_t barre = large.find_last_of(L"\\/");
    nom_temporaire =
        *interne::ansi_depuis_large(barre == std::wstring::npos ? large : large.substr(barre + 1));
    return Resultat::succes();
  }
  const DWORD code = ::GetLastError();
  h.ferme();
  ::DeleteFileW(large.c_str());
  return echec_systeme("write", chemin, code);
}

Resultat renomme_entree(const DossierTenu& dossier, std::string_view ancien,
                        std::string_view nouveau) {
  Entree vers;
  if (Resultat r = ouvre_entree(Operation::renommage, {dossier, std::string(nouveau)}, vers); !r)
    return r;
  if (!nom_simple(ancien)) return Resultat::echec("not a single file name: " + std::string(ancien));
  const std::wstring de = interne::joint_large(vers.dossier, interne::large_depuis_ansi(ancien));
  if (!::MoveFileExW(de.c_str(), vers.large.c_str(), MOVEFILE_REPLACE_EXISTING))
    return echec_systeme("rename", chemin_entree(dossier.chemin(), ancien));
  return Resultat::succes();
}

Resultat ecrit_entree(const Emplacement& fichier, std::string_view contenu) {
  Entree e;
  if (Resultat r = ouvre_entree(Operation::ecriture, fichier, e); !r) return r;
  Poignee h;
  if (Resultat r = ouvre_ecriture(e, GENERIC_WRITE, OPEN_ALWAYS, h); !r) return r;
  if (ecrit_tout(h.get(), contenu.data(), contenu.size()) && ::SetEndOfFile(h.get()) && h.ferme())
    return Resultat::succes();
  const DWORD code = ::GetLastError();
  h.ferme();
  ::DeleteFileW(e.large.c_str());
  return echec_systeme("write", e.chemin, code);
}

Resultat ajoute_entree(const Emplacement& fichier, std::string_view contenu) {
  Entree e;
  if (Resultat r = ouvre_entree(Operation::ecriture, fichier, e); !r) return r;
  Poignee h;
  if (Resultat r = ouvre_ecriture(e, FILE_APPEND_DATA, OPEN_ALWAYS, h); !r) return r;
  if (ecrit_tout(h.get(), contenu.data(), contenu.size()) && h.ferme()) return Resultat::succes();
  return echec_systeme("write", e.chemin);
}

Resultat verifie_ajout(const Emplacement& fichier) {
  Entree e;
  if (Resultat r = ouvre_entree(Operation::ecriture, fichier, e); !r) return r;
  const DWORD a = ::GetFileAttributesW(e.large.c_str());
  if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT)) {
    if (!::DeleteFileW(e.large.c_str()) && !::RemoveDirectoryW(e.large.c_str()))
      return echec_systeme("delete link", e.chemin);
  } else if (a != INVALID_FILE_ATTRIBUTES) {
    Poignee h;
    return ouvre_ecriture(e, FILE_APPEND_DATA, OPEN_EXISTING, h);
  }
  // Missing: created and removed at once, so the server sees no empty error
  // file on a day without errors.
  Poignee h(::CreateFileW(e.large.c_str(), GENERIC_WRITE, partage, nullptr, CREATE_NEW, sans_lien,
                          nullptr));
  if (!h.ok()) return echec_systeme("create", e.chemin);
  h.ferme();
  ::DeleteFileW(e.large.c_str());
  return Resultat::succes();
}

Resultat supprime_entree(const Emplacement& fichier) {
  Entree e;
  if (Resultat r = ouvre_entree(Operation::suppression, fichier, e); !r) return r;
  // DeleteFileW removes a file link itself, never its target.
  if (!::DeleteFileW(e.large.c_str())) return echec_systeme("delete", e.chemin);
  return Resultat::succes();
}

Resultat retire_ajout_coupe(const Emplacement& fichier, std::int64_t taille,
                            std::string_view ligne) {
  Entree e;
  if (Resultat r = ouvre_entree(Operation::ecriture, fichier, e); !r) return r;
  Poignee h(::CreateFileW(e.large.c_str(), GENERIC_READ | GENERIC_WRITE, partage, nullptr,
                          OPEN_EXISTING, sans_lien, nullptr));
  if (!h.ok()) {
    const DWORD code = ::GetLastError();
    return code == ERROR_FILE_NOT_FOUND ? Resultat::succes()
                                        : echec_systeme("open", e.chemin, code);
  }
  std::uint64_t octets = 0;
  if (!fichier_simple(h.get(), &octets)) return Resultat::echec(e.chemin + " is not a file");
  const auto actuelle = static_cast<std::int64_t>(octets);
  const auto longueur = static_cast<std::int64_t>(ligne.size());
  if (taille < 0 || actuelle <= taille || actuelle >= taille + longueur) return Resultat::succes();
  std::string fin(static_cast<std::size_t>(actuelle - taille), '\0');
  LARGE_INTEGER position;
  position.QuadPart = taille;
  if (!::SetFilePointerEx(h.get(), position, nullptr, FILE_BEGIN))
    return echec_systeme("seek", e.chemin);
  DWORD lus = 0;
  if (!::ReadFile(h.get(), fin.data(), static_cast<DWORD>(fin.size()), &lus, nullptr) ||
      lus != fin.size())
    return echec_systeme("read", e.chemin);
  if (!ligne.starts_with(fin)) return Resultat::succes();
  if (!::SetFilePointerEx(h.get(), position, nullptr, FILE_BEGIN) || !::SetEndOfFile(h.get()))
    return echec_systeme("cut", e.chemin);
  return Resultat::succes();
}

Resultat synchronise_entree(const Emplacement& fichier) {
  Entree e;
  if (Resultat r = ouvre_entree(Operation::synchronisation, fichier, e); !r) return r;
  // FlushFileBuffers needs a handle open for writing.
  Poignee h(::CreateFileW(e.large.c_str(), GENERIC_WRITE, partage, nullptr, OPEN_EXISTING,
                          sans_lien, nullptr));
  if (!h.ok()) return echec_systeme("open", e.chemin);
  if (!fichier_simple(h.get())) return Resultat::echec(e.chemin + " is not a file");
  if (!::FlushFileBuffers(h.get())) return echec_systeme("flush", e.chemin);
  return Resultat::succes();
}

void DossierTenu::ferme() {
  if (ouvert()) ::CloseHandle(reinterpret_cast<HANDLE>(natif_));
  natif_ = ferme_;
}

namespace {

// Read and write sharing only: no one may rename or delete the folder while
// the exchange holds it. Backup semantics: the only way to open a folder.
OuvertureDossier tient_dossier(const std::wstring& large, DWORD drapeaux, std::string chemin,
                               DossierTenu& dossier) {
  Poignee h(::CreateFileW(large.c_str(), GENERIC_READ, partage, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS | drapeaux, nullptr));
  if (!h.ok()) {
    const DWORD code = ::GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? OuvertureDossier::absent
                                                                        : OuvertureDossier::echec;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h.get(), &info)) return OuvertureDossier::echec;
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return OuvertureDossier::refuse;
  // Opened as itself, a junction or folder link shows its reparse point.
  if ((drapeaux & FILE_FLAG_OPEN_REPARSE_POINT) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return OuvertureDossier::refuse;
  dossier.prend(reinterpret_cast<std::intptr_t>(h.relache()), std::move(chemin));
  return OuvertureDossier::ouvert;
}

}  // namespace

OuvertureDossier ouvre_dossier(std::string_view chemin, DossierTenu& dossier) {
  dossier.ferme();
  auto large = interne::chemin_large(chemin);
  if (!large) return OuvertureDossier::echec;
  return tient_dossier(*large, 0, std::string(chemin), dossier);
}

OuvertureDossier ouvre_sous_dossier(const DossierTenu& parent, std::string_view nom,
                                    DossierTenu& dossier) {
  dossier.ferme();
  if (!parent.ouvert()) return OuvertureDossier::echec;
  if (!nom_simple(nom)) return OuvertureDossier::refuse;
  auto large_parent = interne::chemin_large(parent.chemin());
  if (!large_parent) return OuvertureDossier::echec;
  const std::wstring large = interne::joint_large(*large_parent, interne::large_depuis_ansi(nom));
  return tient_dossier(large, FILE_FLAG_OPEN_REPARSE_POINT, chemin_entree(parent.chemin(), nom),
                       dossier);
}

Resultat liste_entrees(const DossierTenu& dossier, std::string_view motif,
                       std::vector<std::string>& noms) {
  noms.clear();
  if (echec_injecte(Operation::listage, dossier.chemin())) return echec_injection(dossier.chemin());
  if (!dossier.ouvert()) return Resultat::echec("folder not held: " + dossier.chemin());
  auto large = interne::chemin_large(dossier.chemin());
  if (!large) return Resultat::echec("path holds a NUL byte");
  std::vector<std::wstring> larges;
  unsigned long erreur = 0;
  if (!interne::liste_natif(*large, motif, noms, larges, erreur))
    return echec_systeme("list", dossier.chemin(), erreur);
  return Resultat::succes();
}

namespace {

// The entry itself, not what a link would lead to: a plain file or nothing.
bool attributs_fichier(const Emplacement& fichier, WIN32_FILE_ATTRIBUTE_DATA& donnees) {
  Entree e;
  if (!ouvre_entree(Operation::lecture, fichier, e)) return false;
  if (!::GetFileAttributesExW(e.large.c_str(), GetFileExInfoStandard, &donnees)) return false;
  return !(donnees.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

}  // namespace

std::optional<std::int64_t> taille_entree(const Emplacement& fichier) {
  WIN32_FILE_ATTRIBUTE_DATA donnees;
  if (!attributs_fichier(fichier, donnees)) return std::nullopt;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(donnees.nFileSizeHigh) << 32) |
                                   donnees.nFileSizeLow);
}

std::optional<std::chrono::nanoseconds> date_entree(const Emplacement& fichier) {
  WIN32_FILE_ATTRIBUTE_DATA donnees;
  if (!attributs_fichier(fichier, donnees)) return std::nullopt;
  // 100-nanosecond steps since 1601 to nanoseconds since 1970.
  const std::uint64_t t =
      (static_cast<std::uint64_t>(donnees.ftLastWriteTime.dwHighDateTime) << 32) |
      donnees.ftLastWriteTime.dwLowDateTime;
  return std::chrono::nanoseconds((static_cast<std::int64_t>(t) - 116444736000000000LL) * 100);
}

Resultat lit_entree(const Emplacement& fichier, std::int64_t position, std::size_t n,
                    std::string& octets) {
  octets.clear();
  Entree e;
  if (Resultat r = ouvre_entree(Operation::lecture, fichier, e); !r) return r;
  Poignee h(::CreateFileW(e.large.c_str(), GENERIC_READ, partage | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, sans_lien, nullptr));
  if (!h.ok()) return echec_systeme("open", e.chemin);
  if (!fichier_simple(h.get())) return Resultat::echec(e.chemin + " is not a file");
  LARGE_INTEGER depart;
  depart.QuadPart = position;
  if (!::SetFilePointerEx(h.get(), depart, nullptr, FILE_BEGIN))
    return echec_systeme("seek", e.chemin);
  octets.resize(n);
  std::size_t lus = 0;
  while (lus < n) {
    DWORD lu = 0;
    const DWORD demande = static_cast<DWORD>(std::min<std::size_t>(n - lus, 1u << 20));
    if (!::ReadFile(h.get(), octets.data() + lus, demande, &lu, nullptr)) {
      const DWORD code = ::GetLastError();
      octets.clear();
      return echec_systeme("read", e.chemin, code);
    }
    if (lu == 0) break;
    lus += lu;
  }
  octets.resize(lus);
  return Resultat::succes();
}

Resultat synchronise_dossier(const DossierTenu& dossier) {
  if (!dossier.ouvert()) return Resultat::echec("folder not held: " + dossier.chemin());
  // Held without delete sharing, the folder under its name is the one held.
  return synchronise_dossier(dossier.chemin());
}

}  // namespace pontex
