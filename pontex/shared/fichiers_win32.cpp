// Path operations on Windows: the system calls under fichiers.cpp. The file
// system already matches names ignoring case; paths arrive in the ANSI code
// page and are passed to the wide API.

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "pontex/shared/chemins_win32.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/fichiers_natifs.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

std::string chemin_natif(std::string_view chemin) {
  auto large = interne::chemin_large(chemin);
  return large ? interne::utf8_depuis_large(*large) : std::string();
}

namespace interne {

namespace {

constexpr DWORD partage = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE poignee(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

bool rate(CodeSysteme& code) {
  code = ::GetLastError();
  return false;
}

bool attributs(const CheminNatif& c, DWORD& a) {
  a = ::GetFileAttributesW(c.natif.c_str());
  return a != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

// Messages name the path as the shop wrote it.
bool resout_natif(std::string_view chemin, CheminNatif& c) {
  auto r = chemin_large(chemin);
  if (!r) return false;
  c.natif = std::move(*r);
  c.montre = std::string(chemin);
  return true;
}

// A read shares deletion too: the server may remove a file being read.
bool ouvre_chemin(const CheminNatif& c, Usage usage, Natif& f, CodeSysteme& code) {
  const bool lecture = usage == Usage::lecture;
  HANDLE h = ::CreateFileW(c.natif.c_str(), lecture ? GENERIC_READ : GENERIC_WRITE,
                           lecture ? partage | FILE_SHARE_DELETE : partage, nullptr,
                           lecture ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return rate(code);
  f = Natif(reinterpret_cast<std::intptr_t>(h));
  return true;
}

bool meme_fichier(std::intptr_t a, std::intptr_t b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return ::GetFileInformationByHandle(poignee(a), &ia) &&
         ::GetFileInformationByHandle(poignee(b), &ib) &&
         ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool fichier_visible(const CheminNatif& c) {
  DWORD a = 0;
  return attributs(c, a) &&
         !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

bool est_dossier(const CheminNatif& c) {
  DWORD a = 0;
  return attributs(c, a) && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool existe_natif(const CheminNatif& c) {
  DWORD a = 0;
  return attributs(c, a);
}

bool taille_chemin(const CheminNatif& c, std::int64_t& taille) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!::GetFileAttributesExW(c.natif.c_str(), GetFileExInfoStandard, &d) ||
      (d.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    return false;
  taille = static_cast<std::int64_t>((static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) |
                                     d.nFileSizeLow);
  return true;
}

bool liste_chemin(const CheminNatif& dossier, std::string_view motif,
                  std::vector<std::string>& noms, std::vector<CheminNatif>& chemins,
                  CodeSysteme& code) {
  std::vector<std::wstring> larges;
  if (!liste_natif(dossier.natif, motif, noms, larges, code)) return false;
  for (std::size_t i = 0; i < larges.size(); ++i) {
    std::string montre = dossier.montre;
    if (!montre.empty() && montre.back() != '\\' && montre.back() != '/') montre.push_back('\\');
    chemins.push_back(CheminNatif{montre + noms[i], joint_large(dossier.natif, larges[i])});
  }
  return true;
}

// The system changes a name's case itself.
bool renomme_chemin(const CheminNatif& de, const CheminNatif& vers, std::string_view,
                    CodeSysteme& code) {
  return ::MoveFileExW(de.natif.c_str(), vers.natif.c_str(), MOVEFILE_REPLACE_EXISTING) ||
         rate(code);
}

bool supprime_chemin(const CheminNatif& c, CodeSysteme& code) {
  return ::DeleteFileW(c.natif.c_str()) || rate(code);
}

bool cree_dossier_chemin(const CheminNatif& c, CodeSysteme& code) {
  return ::CreateDirectoryW(c.natif.c_str(), nullptr) || rate(code);
}

// NTFS writes its folder changes through its own log; flushing a folder
// needs write access to it, which a shop's account may not have. Where the
// folder cannot be opened so, the log is all there is to count on.
Resultat synchronise_chemin(const CheminNatif& dossier) {
  const std::wstring large = dossier.natif.empty() ? std::wstring(L".") : dossier.natif;
  Natif h(reinterpret_cast<std::intptr_t>(::CreateFileW(large.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                        partage, nullptr, OPEN_EXISTING,
                                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
  if (h.ok())
    (void)::FlushFileBuffers(poignee(h.get()));  // refused on some file systems: nothing more to do
  return Resultat::succes();
}

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
