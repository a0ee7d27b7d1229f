// Record files on Windows, shared with the cash-register program: opened for
// reading and writing with FILE_SHARE_READ | FILE_SHARE_WRITE and no lock;
// each read or write is one ReadFile / WriteFile of whole records at their
// own offset, looped only when the system transfers less than asked.

#include <windows.h>

#include <algorithm>
#include <limits>

#include "pontex/shared/chemins_win32.h"
#include "pontex/shared/fichier_records.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

namespace {

HANDLE poignee(void* h) { return static_cast<HANDLE>(h); }

Resultat echec_systeme(const char* quoi, const std::string& chemin, DWORD code) {
  return Resultat::echec(std::string(quoi) + " " + chemin + ": " + interne::texte_erreur(code));
}

bool position(std::int64_t premier, std::size_t nombre, std::size_t longueur, std::int64_t& debut,
              std::size_t& octets) {
  using Limite = std::numeric_limits<std::int64_t>;
  if (premier < 1 || longueur == 0) return false;
  const auto l = static_cast<std::uint64_t>(longueur);
  const auto index = static_cast<std::uint64_t>(premier - 1);
  if (index > static_cast<std::uint64_t>(Limite::max()) / l) return false;
  if (nombre > std::numeric_limits<std::size_t>::max() / longueur) return false;
  debut = static_cast<std::int64_t>(index * l);
  octets = nombre * longueur;
  return static_cast<std::uint64_t>(octets) <= static_cast<std::uint64_t>(Limite::max() - debut);
}

OVERLAPPED a_la_position(std::int64_t octet) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(octet) & 0xFFFFFFFFu);
  o.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(octet) >> 32);
  return o;
}

constexpr std::size_t morceau_max = 1u << 30;

}  // namespace

FichierRecords::~FichierRecords() { ferme(); }

Resultat FichierRecords::ouvre(std::string_view chemin, std::size_t longueur_record,
                               Creation creation, DateAcces) {
  return ouvre_acces(chemin, longueur_record, creation, false);
}

Resultat FichierRecords::ouvre_lecture(std::string_view chemin, std::size_t longueur_record) {
  return ouvre_acces(chemin, longueur_record, Creation::jamais, true);
}

Resultat FichierRecords::ouvre_acces(std::string_view chemin, std::size_t longueur_record,
                                     Creation creation, bool lecture_seule, DateAcces) {
  ferme();
  if (longueur_record == 0) return Resultat::echec("record length 0");
  if (interne::echec_injecte(Operation::ouverture, chemin))
    return Resultat::echec("failure injected for " + std::string(chemin));
  auto large = interne::chemin_large(chemin);
  if (!large) return Resultat::echec("path holds a NUL byte");

  constexpr DWORD partage = FILE_SHARE_READ | FILE_SHARE_WRITE;
  // A missing file is created empty only when the caller allows it.
  const DWORD disposition = creation == Creation::si_absent ? OPEN_ALWAYS : OPEN_EXISTING;
  const DWORD acces = lecture_seule ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  HANDLE h = ::CreateFileW(large->c_str(), acces, partage, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  // A read-only file (a copy of a register) is still read; writes then fail.
  if (h == INVALID_HANDLE_VALUE && !lecture_seule && ::GetLastError() == ERROR_ACCESS_DENIED)
    h = ::CreateFileW(large->c_str(), GENERIC_READ, partage, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return echec_systeme("open", std::string(chemin), ::GetLastError());
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    ::CloseHandle(h);
    return Resultat::echec(std::string(chemin) + " is not a file");
  }
  // A lookup asks the size only when it needs it (nombre_records).
  LARGE_INTEGER taille_ouverture{};
  if (!lecture_seule && !::GetFileSizeEx(h, &taille_ouverture)) taille_ouverture.QuadPart = 0;
  ++compteurs_es().ouvertures;
  handle_ = h;
  taille_vue_ = taille_ouverture.QuadPart;
  chemin_ = std::string(chemin);
  longueur_ = longueur_record;
  return Resultat::succes();
}

void FichierRecords::ferme() {
  if (handle_ != nullptr) ::CloseHandle(poignee(handle_));
  handle_ = nullptr;
  chemin_.clear();
  longueur_ = 0;
  taille_vue_ = 0;
}

bool FichierRecords::est_ouvert() const { return handle_ != nullptr; }

std::int64_t FichierRecords::nombre_records() const {
  if (handle_ == nullptr || longueur_ == 0) return 0;
  LARGE_INTEGER taille;
  if (!::GetFileSizeEx(poignee(handle_), &taille)) return 0;
  vu(taille.QuadPart);
  return taille.QuadPart / static_cast<std::int64_t>(longueur_);
}

std::int64_t FichierRecords::nombre_records_vus() const {
  if (handle_ == nullptr || longueur_ == 0) return 0;
  return taille_vue_ / static_cast<std::int64_t>(longueur_);
}

Resultat FichierRecords::lit(std::int64_t premier, void* tampon, std::size_t nombre,
                             std::size_t& lus) const {
  lus = 0;
  if (handle_ == nullptr) return Resultat::echec("record file not open");
  if (interne::echec_injecte(Operation::lecture, chemin_))
    return Resultat::echec("failure injected for " + chemin_);
  std::int64_t debut = 0;
  std::size_t octets = 0;
  if (!position(premier, nombre, longueur_, debut, octets))
    return Resultat::echec("record number out of range");
  auto* p = static_cast<char*>(tampon);
  std::size_t total = 0;
  while (total < octets) {
    ++compteurs_es().lectures;
    OVERLAPPED o = a_la_position(debut + static_cast<std::int64_t>(total));
    DWORD n = 0;
    const DWORD demande = static_cast<DWORD>(std::min(octets - total, morceau_max));
    if (!::ReadFile(poignee(handle_), p + total, demande, &n, &o)) {
      const DWORD code = ::GetLastError();
      if (code == ERROR_HANDLE_EOF) break;
      return echec_systeme("read", chemin_, code);
    }
    if (n == 0) break;  // end of file
    total += n;
  }
  vu(debut + static_cast<std::int64_t>(total));
  // A trailing partial record (the other program writing it right now, or
  // a damaged file) is not a record.
  lus = total / longueur_;
  return Resultat::succes();
}

Resultat FichierRecords::ecrit(std::int64_t premier, const void* tampon, std::size_t nombre) {
  if (handle_ == nullptr) return Resultat::echec("record file not open");
  if (interne::echec_injecte(Operation::ecriture, chemin_))
    return Resultat::echec("failure injected for " + chemin_);
  std::int64_t debut = 0;
  std::size_t octets = 0;
  if (!position(premier, nombre, longueur_, debut, octets))
    return Resultat::echec("record number out of range");
  if (debut > taille_vue_ && debut - taille_vue_ > ecart_max_octets) {
    // Far past the end we know of: ask the system before refusing.
    LARGE_INTEGER taille;
    if (!::GetFileSizeEx(poignee(handle_), &taille))
      return echec_systeme("size", chemin_, ::GetLastError());
    vu(taille.QuadPart);
    if (debut > taille.QuadPart && debut - taille.QuadPart > ecart_max_octets)
      return Resultat::echec("write of record " + std::to_string(premier) +
                             " refused: " + std::to_string(debut - taille.QuadPart) +
                             " bytes past the end of " + chemin_);
  }
  const auto* p = static_cast<const char*>(tampon);
  std::size_t total = 0;
  while (total < octets) {
    ++compteurs_es().ecritures;
    OVERLAPPED o = a_la_position(debut + static_cast<std::int64_t>(total));
    DWORD n = 0;
    const DWORD demande = static_cast<DWORD>(std::min(octets - total, morceau_max));
    if (!::WriteFile(poignee(handle_), p + total, demande, &n, &o))
      return echec_systeme("write", chemin_, ::GetLastError());
    if (n == 0) return echec_systeme("write", chemin_, ERROR_DISK_FULL);
    total += n;
  }
  vu(debut + static_cast<std::int64_t>(total));
  return Resultat::succes();
}

}  // namespace pontex

namespace pontex {

Resultat FichierRecords::vide_tampons() {
  if (handle_ == nullptr) return Resultat::echec("record file not open");
  if (interne::echec_injecte(Operation::synchronisation, chemin_))
    return Resultat::echec("failure injected for " + chemin_);
  // Refused on a file opened for reading only; nothing of ours to flush then.
  if (!::FlushFileBuffers(poignee(handle_))) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_ACCESS_DENIED) return echec_systeme("flush", chemin_, code);
  }
  return Resultat::succes();
}

}  // namespace pontex
