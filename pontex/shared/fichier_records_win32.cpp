// Record files on Windows: the system calls under fichier_records.cpp.
// Shared with the cash-register program: opened with FILE_SHARE_READ |
// FILE_SHARE_WRITE and no lock; ReadFile / WriteFile at the records' own
// offsets.

#include <windows.h>

#include <algorithm>

#include "pontex/shared/chemins_win32.h"
#include "pontex/shared/fichiers_natifs.h"

namespace pontex::interne {

namespace {

HANDLE poignee(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

OVERLAPPED a_la_position(std::int64_t octet) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(octet) & 0xFFFFFFFFu);
  o.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(octet) >> 32);
  return o;
}

// ReadFile and WriteFile take a 32-bit count.
constexpr std::size_t morceau_max = 1u << 30;

}  // namespace

std::string texte_code(CodeSysteme code) { return texte_erreur(code); }

CodeSysteme derniere_erreur() { return ::GetLastError(); }

bool ferme_natif(std::intptr_t natif) {
  return natif == natif_aucun || ::CloseHandle(poignee(natif));
}

const char* const verbe_taille = "size";

// Windows no longer keeps access times on its disks by default: the
// access-time wish is not asked of it.
Resultat ouvre_records(std::string_view chemin, const OuvertureRecords& o, std::intptr_t& natif,
                       std::int64_t& taille) {
  auto large = chemin_large(chemin);
  if (!large) return Resultat::echec("path holds a NUL byte");
  constexpr DWORD partage = FILE_SHARE_READ | FILE_SHARE_WRITE;
  // A missing file is created empty only when the caller allows it.
  const DWORD disposition = o.creer ? OPEN_ALWAYS : OPEN_EXISTING;
  const DWORD acces = o.lecture_seule ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  HANDLE h = ::CreateFileW(large->c_str(), acces, partage, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  // A read-only file (a copy of a register) is still read; writes then fail.
  if (h == INVALID_HANDLE_VALUE && !o.lecture_seule && ::GetLastError() == ERROR_ACCESS_DENIED)
    h = ::CreateFileW(large->c_str(), GENERIC_READ, partage, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return echec_code("open", std::string(chemin), ::GetLastError());
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    ::CloseHandle(h);
    return Resultat::echec(std::string(chemin) + " is not a file");
  }
  // A lookup asks the size only when it needs it (nombre_records).
  LARGE_INTEGER taille_ouverture{};
  if (!o.lecture_seule && !::GetFileSizeEx(h, &taille_ouverture)) taille_ouverture.QuadPart = 0;
  natif = reinterpret_cast<std::intptr_t>(h);
  taille = taille_ouverture.QuadPart;
  return Resultat::succes();
}

bool taille_records(std::intptr_t natif, std::int64_t& taille, CodeSysteme& code) {
  LARGE_INTEGER t;
  if (!::GetFileSizeEx(poignee(natif), &t)) {
    code = ::GetLastError();
    return false;
  }
  taille = t.QuadPart;
  return true;
}

std::int64_t lit_a(std::intptr_t natif, void* p, std::size_t n, std::int64_t position,
                   CodeSysteme& code) {
  OVERLAPPED o = a_la_position(position);
  DWORD lu = 0;
  if (::ReadFile(poignee(natif), p, static_cast<DWORD>(std::min(n, morceau_max)), &lu, &o))
    return lu;
  code = ::GetLastError();
  return code == ERROR_HANDLE_EOF ? 0 : transfert_rate;
}

std::int64_t ecrit_a(std::intptr_t natif, const void* p, std::size_t n, std::int64_t position,
                     CodeSysteme& code) {
  OVERLAPPED o = a_la_position(position);
  DWORD ecrit = 0;
  if (!::WriteFile(poignee(natif), p, static_cast<DWORD>(std::min(n, morceau_max)), &ecrit, &o)) {
    code = ::GetLastError();
    return transfert_rate;
  }
  if (ecrit > 0) return ecrit;
  code = ERROR_DISK_FULL;
  return transfert_rate;
}

bool synchronise_natif(std::intptr_t natif, CodeSysteme& code) {
  if (::FlushFileBuffers(poignee(natif))) return true;
  code = ::GetLastError();
  // Refused on a file opened for reading only; nothing of ours to flush then.
  return code == ERROR_ACCESS_DENIED;
}

}  // namespace pontex::interne
