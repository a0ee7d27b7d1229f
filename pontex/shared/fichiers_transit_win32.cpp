// Transit folder files on Windows: the system calls under
// fichiers_transit.cpp. Every entry is opened with
// FILE_FLAG_OPEN_REPARSE_POINT, so a symbolic link or junction is opened as
// itself, and the attributes and reparse tag of the opened handle decide:
// only a plain disk file is read, and a link is deleted (the link, not its
// target) before a file is written under its name. A reparse point that
// redirects no name (a cloud-synced or deduplicated file) is no link: it is
// opened again through its file system's filter, which gives its content. A held folder is a handle
// opened without delete sharing: while it is open the folder can be neither renamed nor removed,
// nor can any folder of its path, so a path inside it keeps reaching it and the operations go by
// path. Every name reaches the system as a wide text: none is converted back to the ANSI code page
// on its way, nor handed to a call that reads wildcards in it.

#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <random>

#include "pontex/shared/chemins_win32.h"
#include "pontex/shared/fichiers_natifs.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex::interne {

namespace {

constexpr DWORD partage = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD sans_lien = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;

HANDLE poignee(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

bool attributs_ouverts(std::intptr_t natif, BY_HANDLE_FILE_INFORMATION& info) {
  return ::GetFileInformationByHandle(poignee(natif), &info);
}

// The attributes and reparse tag of an opened handle.
bool etiquette_ouverte(std::intptr_t natif, DWORD& attributs, DWORD& etiquette) {
  FILE_ATTRIBUTE_TAG_INFO info;
  if (!::GetFileInformationByHandleEx(poignee(natif), FileAttributeTagInfo, &info, sizeof info))
    return false;
  attributs = info.FileAttributes;
  etiquette = info.ReparseTag;
  return true;
}

// Opened as itself: a link or junction, not its target.
bool est_lien(std::intptr_t natif) {
  DWORD attributs = 0;
  DWORD etiquette = 0;
  if (etiquette_ouverte(natif, attributs, etiquette)) return redirige_nom(attributs, etiquette);
  // A file system that gives no tag: any reparse point counts as a link,
  // refused and never followed.
  BY_HANDLE_FILE_INFORMATION info;
  return attributs_ouverts(natif, info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The attributes of a name, the entry itself, and whether it redirects the
// name. A reparse point whose tag cannot be read counts as a link.
bool attributs_nom(const std::wstring& large, DWORD& attributs, bool& lien) {
  attributs = ::GetFileAttributesW(large.c_str());
  lien = false;
  if (attributs == INVALID_FILE_ATTRIBUTES) return false;
  if (!(attributs & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  // Attributes only, every sharing: disturbs no one, reads no content.
  const HANDLE h = ::CreateFileW(
      large.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    lien = true;
    return true;
  }
  Natif ouvert(reinterpret_cast<std::intptr_t>(h));
  lien = est_lien(ouvert.get());
  return true;
}

// `f` was opened as itself. A reparse point that redirects no name shows
// its reparse data there, not its content: opened again through its
// filter, and kept only if it is still the same entry (nothing put in its
// place meanwhile).
bool ouvre_contenu(const std::wstring& large, DWORD acces, DWORD partage_voulu, DWORD drapeaux,
                   Natif& f, CodeSysteme& code) {
  DWORD attributs = 0;
  DWORD etiquette = 0;
  if (!etiquette_ouverte(f.get(), attributs, etiquette) ||
      !(attributs & FILE_ATTRIBUTE_REPARSE_POINT) || redirige_nom(attributs, etiquette))
    return true;  // a plain entry, or a link the caller refuses
  BY_HANDLE_FILE_INFORMATION avant;
  BY_HANDLE_FILE_INFORMATION apres;
  Natif contenu(reinterpret_cast<std::intptr_t>(
      ::CreateFileW(large.c_str(), acces, partage_voulu, nullptr, OPEN_EXISTING,
                    drapeaux & ~DWORD{FILE_FLAG_OPEN_REPARSE_POINT}, nullptr)));
  if (!contenu.ok()) {
    code = ::GetLastError();
    (void)f.ferme();  // refused: nothing read or written through it
    return false;
  }
  if (!attributs_ouverts(f.get(), avant) || !attributs_ouverts(contenu.get(), apres) ||
      avant.dwVolumeSerialNumber != apres.dwVolumeSerialNumber ||
      avant.nFileIndexHigh != apres.nFileIndexHigh || avant.nFileIndexLow != apres.nFileIndexLow) {
    code = ERROR_CANT_ACCESS_FILE;
    (void)f.ferme();  // replaced meanwhile: nothing read or written through either
    return false;
  }
  f = std::move(contenu);
  return true;
}

bool ouvre(const std::wstring& large, DWORD acces, DWORD partage_voulu, DWORD creation,
           DWORD drapeaux, Natif& f, CodeSysteme& code) {
  f = Natif(reinterpret_cast<std::intptr_t>(
      ::CreateFileW(large.c_str(), acces, partage_voulu, nullptr, creation, drapeaux, nullptr)));
  if (!f.ok()) {
    code = ::GetLastError();
    return false;
  }
  if (!(drapeaux & FILE_FLAG_OPEN_REPARSE_POINT)) return true;
  return ouvre_contenu(large, acces, partage_voulu, drapeaux, f, code);
}

// Read and write sharing only: no one may rename or delete the folder while
// the exchange holds it. Backup semantics: the only way to open a folder.
OuvertureDossier tient_dossier(const std::wstring& large, DWORD drapeaux, std::intptr_t& natif) {
  Natif h;
  CodeSysteme code = 0;
  if (!ouvre(large, GENERIC_READ, partage, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | drapeaux, h,
             code))
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? OuvertureDossier::absent
                                                                        : OuvertureDossier::echec;
  BY_HANDLE_FILE_INFORMATION info;
  if (!attributs_ouverts(h.get(), info)) return OuvertureDossier::echec;
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return OuvertureDossier::refuse;
  // Opened as itself, a junction or folder link shows its reparse point; a
  // cloud-synced folder's reparse point redirects nothing.
  if ((drapeaux & FILE_FLAG_OPEN_REPARSE_POINT) && est_lien(h.get()))
    return OuvertureDossier::refuse;
  natif = h.relache();
  return OuvertureDossier::ouvert;
}

}  // namespace

Resultat resout_entree(const DossierTenu& dossier, std::string_view nom, bool, EntreeNative& e) {
  // The file system ignores case by itself.
  auto large = chemin_large(dossier.chemin());
  if (!large) return Resultat::echec("path holds a NUL byte");
  e.dossier = std::move(*large);
  e.large = joint_large(e.dossier, large_depuis_ansi(nom));
  return Resultat::succes();
}

OuvertureDossier ouvre_dossier_natif(std::string_view chemin, std::intptr_t& natif) {
  auto large = chemin_large(chemin);
  if (!large) return OuvertureDossier::echec;
  return tient_dossier(*large, 0, natif);
}

OuvertureDossier ouvre_sous_dossier_natif(const DossierTenu& parent, std::string_view nom,
                                          std::intptr_t& natif) {
  auto large_parent = chemin_large(parent.chemin());
  if (!large_parent) return OuvertureDossier::echec;
  return tient_dossier(joint_large(*large_parent, large_depuis_ansi(nom)),
                       FILE_FLAG_OPEN_REPARSE_POINT, natif);
}

Resultat synchronise_dossier_natif(const DossierTenu& dossier) {
  // Held without delete sharing, the folder under its name is the one held.
  // NTFS writes its folder changes through its own log; flushing a folder
  // needs write access to it, which a shop's account may not have. Where
  // the folder cannot be opened so, the log is all there is to count on.
  auto large = chemin_large(dossier.chemin());
  if (!large) return Resultat::echec("path holds a NUL byte");
  Natif h;
  CodeSysteme code = 0;
  if (ouvre(*large, GENERIC_READ | GENERIC_WRITE, partage, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS, h, code))
    (void)::FlushFileBuffers(poignee(h.get()));  // refused on some file systems: nothing more
  return Resultat::succes();
}

bool ouvre_existant(const EntreeNative& e, Acces acces, Natif& f, CodeSysteme& code) {
  switch (acces) {
    case Acces::lecture:
      return ouvre(e.large, GENERIC_READ, partage | FILE_SHARE_DELETE, OPEN_EXISTING, sans_lien, f,
                   code);
    case Acces::modification:
      return ouvre(e.large, GENERIC_READ | GENERIC_WRITE, partage, OPEN_EXISTING, sans_lien, f,
                   code);
    case Acces::vidage:
      // FlushFileBuffers needs a handle open for writing.
      return ouvre(e.large, GENERIC_WRITE, partage, OPEN_EXISTING, sans_lien, f, code);
  }
  return false;
}

bool absent(CodeSysteme code) { return code == ERROR_FILE_NOT_FOUND; }

bool lien_ou_dossier(const EntreeNative& e, CodeSysteme) {
  // A folder does not open as a file at all: it is refused like a link.
  DWORD a = 0;
  bool lien = false;
  return attributs_nom(e.large, a, lien) && ((a & FILE_ATTRIBUTE_DIRECTORY) || lien);
}

bool cree_exclusif(const EntreeNative& e, Natif& f, CodeSysteme& code, bool& deja_pris) {
  const bool ok = ouvre(e.large, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, sans_lien, f, code);
  deja_pris = !ok && (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS);
  return ok;
}

Resultat ouvre_ecriture(const EntreeNative& e, Ecriture mode, Natif& f) {
  const DWORD acces = mode == Ecriture::remplace ? GENERIC_WRITE : FILE_APPEND_DATA;
  const DWORD creation = mode == Ecriture::ajoute_existant ? OPEN_EXISTING : OPEN_ALWAYS;
  CodeSysteme code = 0;
  for (int essai = 0; essai < 2; ++essai) {
    if (!ouvre(e.large, acces, partage, essai == 0 ? creation : CREATE_NEW, sans_lien, f, code))
      return echec_code("open", e.chemin, code);
    if (!est_lien(f.get())) break;
    (void)f.ferme();  // the link itself: nothing written through it
    if (!supprime_lien(e, code)) return echec_code("unlink", e.chemin, code);
  }
  bool simple = false;
  std::uint64_t taille = 0;
  if (!f.ok() || !etat_ouvert(f.get(), simple, taille, code) || !simple) {
    (void)f.ferme();  // refused: nothing written
    return Resultat::echec(e.chemin + " is not a file");
  }
  // Emptied at the opening, as on Linux: the old content never shows past
  // the new one's end.
  if (mode == Ecriture::remplace && !::SetEndOfFile(poignee(f.get())))
    return echec_code("open", e.chemin, ::GetLastError());
  return Resultat::succes();
}

bool ecrit_suite(std::intptr_t natif, const char* p, std::size_t n) {
  return ecrit_tout(poignee(natif), p, n);
}

bool coupe_a(std::intptr_t natif, std::int64_t taille, CodeSysteme& code) {
  LARGE_INTEGER position;
  position.QuadPart = taille;
  if (::SetFilePointerEx(poignee(natif), position, nullptr, FILE_BEGIN) &&
      ::SetEndOfFile(poignee(natif)))
    return true;
  code = ::GetLastError();
  return false;
}

bool genre(const EntreeNative& e, Genre& g, CodeSysteme&) {
  DWORD a = 0;
  bool lien = false;
  g = !attributs_nom(e.large, a, lien) ? Genre::absent : lien ? Genre::lien : Genre::autre;
  return true;
}

// A plain file on a disk: not a folder, not a link or junction, not a pipe
// or device. A handle the system says nothing of is none.
bool etat_ouvert(std::intptr_t natif, bool& simple, std::uint64_t& taille, CodeSysteme&) {
  BY_HANDLE_FILE_INFORMATION info;
  simple = ::GetFileType(poignee(natif)) == FILE_TYPE_DISK && attributs_ouverts(natif, info) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !est_lien(natif);
  if (simple) taille = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return true;
}

bool etat_entree(const EntreeNative& e, std::int64_t& taille, std::chrono::nanoseconds& date) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!::GetFileAttributesExW(e.large.c_str(), GetFileExInfoStandard, &d) ||
      (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  if (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    DWORD a = 0;
    bool lien = true;
    if (!attributs_nom(e.large, a, lien) || lien) return false;
  }
  taille = static_cast<std::int64_t>((static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) |
                                     d.nFileSizeLow);
  // 100-nanosecond steps since 1601 to nanoseconds since 1970.
  const std::uint64_t t = (static_cast<std::uint64_t>(d.ftLastWriteTime.dwHighDateTime) << 32) |
                          d.ftLastWriteTime.dwLowDateTime;
  date = std::chrono::nanoseconds((static_cast<std::int64_t>(t) - 116444736000000000LL) * 100);
  return true;
}

bool renomme_natif(const EntreeNative& de, const EntreeNative& vers, CodeSysteme& code) {
  if (::MoveFileExW(de.large.c_str(), vers.large.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  code = ::GetLastError();
  return false;
}

bool supprime_natif(const EntreeNative& e, CodeSysteme& code) {
  // DeleteFileW removes a file link itself, never its target.
  if (::DeleteFileW(e.large.c_str())) return true;
  code = ::GetLastError();
  return false;
}

bool supprime_lien(const EntreeNative& e, CodeSysteme& code) {
  if (::DeleteFileW(e.large.c_str()) || ::RemoveDirectoryW(e.large.c_str())) return true;
  code = ::GetLastError();
  return false;
}

bool liste_noms(const DossierTenu& dossier, std::string_view motif, std::vector<std::string>& noms,
                CodeSysteme& code) {
  auto large = chemin_large(dossier.chemin());
  if (!large) {
    code = ERROR_INVALID_NAME;
    return false;
  }
  std::vector<std::wstring> larges;
  unsigned long erreur = 0;
  if (!liste_natif(*large, motif, noms, larges, erreur)) {
    code = erreur;
    return false;
  }
  return true;
}

std::uint64_t alea() {
  std::uint64_t v = 0;
  if (BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&v), sizeof v,
                                       BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
    return v;
  std::random_device source;
  return (static_cast<std::uint64_t>(source()) << 32) ^ source();
}

}  // namespace pontex::interne
