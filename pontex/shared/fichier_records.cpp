// Record files, the same on every system: the bounds of a read or write,
// the refusal of a write far past the end, the test hook and the I/O counts.
// Each read or write is one positioned system call of whole records, looped
// only when the system transfers less than asked in one go; the calls
// themselves are in fichier_records_posix.cpp / _win32.cpp.

#include "pontex/shared/fichier_records.h"

#include <algorithm>
#include <limits>
#include <string>

#include "pontex/shared/fichiers.h"
#include "pontex/shared/fichiers_natifs.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

namespace {

// Byte offset of record `premier` and byte count of `nombre` records, or
// false when they do not fit in a file offset.
// Checked by overflow tests rather than divisions: this runs before every
// read and write, some twenty times per record applied.
bool position(std::int64_t premier, std::size_t nombre, std::size_t longueur, std::int64_t& debut,
              std::size_t& octets) {
  using Limite = std::numeric_limits<std::int64_t>;
  if (premier < 1 || longueur == 0) return false;
  std::int64_t d = 0;
  if (__builtin_mul_overflow(premier - 1, longueur, &d)) return false;
  if (__builtin_mul_overflow(nombre, longueur, &octets)) return false;
  debut = d;
  return static_cast<std::uint64_t>(octets) <= static_cast<std::uint64_t>(Limite::max() - debut);
}

Resultat echec_injection(std::string_view chemin) {
  return Resultat::echec("failure injected for " + std::string(chemin));
}

}  // namespace

namespace interne {

Resultat echec_code(const char* quoi, const std::string& chemin, CodeSysteme code) {
  return Resultat::echec(std::string(quoi) + " " + chemin + ": " + texte_code(code));
}

}  // namespace interne

FichierRecords::~FichierRecords() { ferme(); }

Resultat FichierRecords::ouvre(std::string_view chemin, std::size_t longueur_record,
                               Creation creation, DateAcces date) {
  return ouvre_acces(chemin, longueur_record, creation, false, date);
}

Resultat FichierRecords::ouvre_lecture(std::string_view chemin, std::size_t longueur_record) {
  return ouvre_acces(chemin, longueur_record, Creation::jamais, true, DateAcces::laissee);
}

Resultat FichierRecords::ouvre_acces(std::string_view chemin, std::size_t longueur_record,
                                     Creation creation, bool lecture_seule, DateAcces date) {
  ferme();
  if (longueur_record == 0) return Resultat::echec("record length 0");
  if (interne::echec_injecte(Operation::ouverture, chemin)) return echec_injection(chemin);
  interne::OuvertureRecords o;
  o.creer = creation == Creation::si_absent;
  o.lecture_seule = lecture_seule;
  o.sans_date_acces = date == DateAcces::laissee;
  std::intptr_t natif = interne::natif_aucun;
  std::int64_t taille = 0;
  if (Resultat r = interne::ouvre_records(chemin, o, natif, taille); !r) return r;
  ++compteurs_es().ouvertures;
  natif_ = natif;
  taille_vue_ = taille;
  // The caller's own form of the path: the test hook and the messages
  // speak of the file as the program names it.
  garde_chemin(chemin);
  longueur_ = longueur_record;
  return Resultat::succes();
}

void FichierRecords::garde_chemin(std::string_view chemin) {
  if (chemin.size() <= chemin_court_.size()) {
    std::copy(chemin.begin(), chemin.end(), chemin_court_.begin());
    taille_chemin_ = chemin.size();
    chemin_long_.clear();
  } else {
    chemin_long_ = std::string(chemin);
  }
}

void FichierRecords::ferme() {
  // Nothing written is lost at the close of a record file: each write went
  // to the system whole, and vide_tampons is what puts it on the disk.
  if (natif_ != interne::natif_aucun) (void)interne::ferme_natif(natif_);
  natif_ = interne::natif_aucun;
  taille_chemin_ = 0;
  chemin_long_.clear();
  longueur_ = 0;
  taille_vue_ = 0;
}

bool FichierRecords::est_ouvert() const { return natif_ != interne::natif_aucun; }

std::int64_t FichierRecords::nombre_records() const {
  if (!est_ouvert() || longueur_ == 0) return 0;
  std::int64_t taille = 0;
  interne::CodeSysteme code = 0;
  if (!interne::taille_records(natif_, taille, code)) return 0;
  vu(taille);
  return taille / static_cast<std::int64_t>(longueur_);
}

std::int64_t FichierRecords::nombre_records_vus() const {
  if (!est_ouvert() || longueur_ == 0) return 0;
  return taille_vue_ / static_cast<std::int64_t>(longueur_);
}

Resultat FichierRecords::lit(std::int64_t premier, void* tampon, std::size_t nombre,
                             std::size_t& lus) const {
  lus = 0;
  if (!est_ouvert()) return Resultat::echec("record file not open");
  if (interne::echec_injecte(Operation::lecture, chemin())) return echec_injection(chemin());
  std::int64_t debut = 0;
  std::size_t octets = 0;
  if (!position(premier, nombre, longueur_, debut, octets))
    return Resultat::echec("record number out of range");
  auto* p = static_cast<char*>(tampon);
  std::size_t total = 0;
  while (total < octets) {
    ++compteurs_es().lectures;
    interne::CodeSysteme code = 0;
    const std::int64_t n = interne::lit_a(natif_, p + total, octets - total,
                                          debut + static_cast<std::int64_t>(total), code);
    if (n == interne::transfert_repris) continue;
    if (n < 0) return interne::echec_code("read", std::string(chemin()), code);
    if (n == 0) break;  // end of file
    total += static_cast<std::size_t>(n);
  }
  // Only bytes read prove the file's size: a read far past the end (a
  // damaged header's count) reads nothing, and taking its position as seen
  // would let a later write there skip the size check, or a scan run over
  // millions of records the file does not hold.
  if (total > 0) vu(debut + static_cast<std::int64_t>(total));
  // A trailing partial record (the other program writing it right now, or
  // a damaged file) is not a record.
  lus = total / longueur_;
  return Resultat::succes();
}

Resultat FichierRecords::ecrit(std::int64_t premier, const void* tampon, std::size_t nombre) {
  if (!est_ouvert()) return Resultat::echec("record file not open");
  if (interne::echec_injecte(Operation::ecriture, chemin())) return echec_injection(chemin());
  std::int64_t debut = 0;
  std::size_t octets = 0;
  if (!position(premier, nombre, longueur_, debut, octets))
    return Resultat::echec("record number out of range");
  if (debut > taille_vue_ && debut - taille_vue_ > ecart_max_octets) {
    // Far past the end we know of: ask the system before refusing.
    std::int64_t taille = 0;
    interne::CodeSysteme code = 0;
    if (!interne::taille_records(natif_, taille, code))
      return interne::echec_code(interne::verbe_taille, std::string(chemin()), code);
    vu(taille);
    if (debut > taille && debut - taille > ecart_max_octets)
      return Resultat::echec("write of record " + std::to_string(premier) +
                             " refused: " + std::to_string(debut - taille) +
                             " bytes past the end of " + std::string(chemin()));
  }
  const auto* p = static_cast<const char*>(tampon);
  std::size_t total = 0;
  while (total < octets) {
    ++compteurs_es().ecritures;
    interne::CodeSysteme code = 0;
    const std::int64_t n = interne::ecrit_a(natif_, p + total, octets - total,
                                            debut + static_cast<std::int64_t>(total), code);
    if (n == interne::transfert_repris) continue;
    if (n < 0) return interne::echec_code("write", std::string(chemin()), code);
    total += static_cast<std::size_t>(n);
  }
  vu(debut + static_cast<std::int64_t>(total));
  return Resultat::succes();
}

Resultat FichierRecords::vide_tampons() {
  if (!est_ouvert()) return Resultat::echec("record file not open");
  if (interne::echec_injecte(Operation::synchronisation, chemin()))
    return echec_injection(chemin());
  interne::CodeSysteme code = 0;
  if (!interne::synchronise_natif(natif_, code))
    return interne::echec_code("flush", std::string(chemin()), code);
  return Resultat::succes();
}

}  // namespace pontex
