// Appending movements to "W_CAIREC.WDO" while the till appends its own.
//
// Both programs follow the same protocol: read the count M in the header,
// write M + 1 back, write the record at the place M + 1. The till knows no
// lock, and a lock of ours would make its writes fail, so two appends that
// read the same count take the same place and the later record wins. Pontex
// makes its side safe by looking again right before it writes, and by
// checking its records after each received file.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "pontex/data/caisse.h"

namespace pontex {

namespace {

// A movement header whose count would put the new record further than this
// past the end of the file is taken for damaged. A few records of slack let
// an append go through while the cash-register program, which may raise the
// count before writing its own record, is half-way through one of its own.
constexpr std::int64_t ecart_max_mouvements = 16;

// Places tried for one movement before giving up: each time the till has
// taken the place, the next count after the till's is tried.
constexpr int essais_max = 256;

// Rounds of verification after a file: a movement appended again is checked
// again, but the till cannot keep winning the same race for long.
constexpr int tours_max = 8;

// Consecutive movement records read in one call by the verification.
constexpr std::size_t bloc_verification = 256;

constexpr std::size_t L = EnregistrementMouvement::longueur;

// What a place and the one after it hold now, in one read; a place beyond
// the end reads as zeros, and so does a hole the till left by writing
// further on. A record the till is writing right now may come back cut
// short: its bytes are kept, so it is not taken for a free place.
using Octets = std::array<std::uint8_t, 2 * L>;
Octets contenu_places(const FichierRecords& f, std::int64_t record) {
  Octets o{};
  std::size_t lus = 0;
  (void)f.lit(record, o.data(), 2, lus);
  return o;
}

}  // namespace

Resultat Caisse::ajoute_mouvement(const EnregistrementMouvement& mouvement,
                                  std::int32_t* numero_ecrit) {
  FichierRecords f;
  Resultat r = f.ouvre(chemin_mouvements_, EnregistrementMouvement::longueur);
  if (!r) return r;
  const std::int64_t records_ouverture = f.nombre_records_vus();

  // A movement file without its header record (emptied) starts from a
  // blank header: the first movement is then record 2.
  EnregistrementMouvement entete;
  std::size_t lus = 0;
  r = f.lit(1, entete.octets.data(), 1, lus);
  if (!r) return r;
  if (lus == 0) entete = EnregistrementMouvement::vierge();

  const std::int64_t ancien = entete.poste();
  if (ancien < 0)
    return Resultat::echec("damaged movement header: count " + std::to_string(ancien));
  const std::int64_t premier = ancien + 1;
  // The new record may lie at most ecart_max_mouvements records past the end.
  // The size seen at the opening may be older than the count read after it
  // (the till appending flat out meanwhile): asked again before refusing,
  // since a refused movement stops the file being applied.
  std::int64_t records = records_ouverture;
  if (premier + 1 > records + 1 + ecart_max_mouvements) records = f.nombre_records();
  if (premier > INT32_MAX || premier + 1 > records + 1 + ecart_max_mouvements)
    return Resultat::echec("damaged movement header: count " + std::to_string(ancien) +
                           " for a file of " + std::to_string(records) + " records");

  const EnregistrementMouvement avant = entete;
  std::int64_t m = premier;
  for (int essai = 0; essai < essais_max; ++essai) {
    // A place that already held a record when the file was opened (records
    // beyond the count, left by the till) is free as long as it holds the
    // same bytes; any other place is free while it reads as zeros.
    Octets libre{};
    if (m + 1 <= records_ouverture) libre = contenu_places(f, m + 1);

    // The count first, then the record, as the cash-register program does.
    entete.met_poste(static_cast<std::int32_t>(m));
    r = f.ecrit(1, entete.octets.data());
    if (!r) return r;

    // Look again right before writing: one read of the header, one of the
    // place. Another record there means the till counted from the same M
    // and already wrote its movement: that place is its own.
    EnregistrementMouvement relu;
    std::size_t relus = 0;
    const std::int64_t compte =
        f.lit(1, relu.octets.data(), 1, relus) && relus == 1 ? relu.poste() : m;
    const Octets places = contenu_places(f, m + 1);
    const bool prise = !std::equal(places.begin(), places.begin() + L, libre.begin());
    // A record after ours while the count is still ours: the till had
    // appended between our read of the count and our write of it, and our
    // count went back over its records. They are counted in again.
    const bool depassee =
        compte <= m && !std::equal(places.begin() + L, places.end(), libre.begin() + L);
    // After many tries the record goes where the count now says: a count
    // raised without its record would show the till a blank movement.
    const bool dernier = essai == essais_max - 1;
    if ((prise || depassee) && !dernier) {
      const std::int64_t fin = f.nombre_records() - 1;
      m = std::max({m, compte, fin}) + 1;
      if (m > INT32_MAX) return Resultat::echec("movement count beyond a Long");
      continue;
    }
    // The till wrote an older count over ours: ours is written again, or
    // the record would lie beyond the count and the next append take it.
    if (compte < m && !dernier) continue;

    r = f.ecrit(m + 1, mouvement.octets.data());
    if (!r) {
      // Do not leave a count that takes in a record never written: the
      // cash-register program would read it as a blank movement.
      if (m == premier) (void)f.ecrit(1, avant.octets.data());
      return r;
    }
    ecrits_.push_back({m, mouvement});
    if (numero_ecrit) *numero_ecrit = static_cast<std::int32_t>(m);
    return Resultat::succes();
  }
  return Resultat::echec("no place for the movement");
}

Caisse::VerificationMouvements Caisse::verifie_mouvements() {
  VerificationMouvements v;
  std::vector<MouvementEcrit> a_verifier = std::move(ecrits_);
  ecrits_.clear();

  for (int tour = 0; tour < tours_max && !a_verifier.empty(); ++tour) {
    FichierRecords f;
    if (!f.ouvre(chemin_mouvements_, EnregistrementMouvement::longueur)) break;
    EnregistrementMouvement entete;
    std::size_t lus = 0;
    if (!f.lit(1, entete.octets.data(), 1, lus) || lus != 1) break;
    const std::int64_t compte = entete.poste();

    // Ours were written one after the other, mostly in runs of consecutive
    // places: each run is read in blocks, not record by record.
    // Usually already in order: each append lands after the one before.
    const auto par_numero = [](const MouvementEcrit& a, const MouvementEcrit& b) {
      return a.numero < b.numero;
    };
    if (!std::is_sorted(a_verifier.begin(), a_verifier.end(), par_numero))
      std::stable_sort(a_verifier.begin(), a_verifier.end(), par_numero);
    std::vector<EnregistrementMouvement> perdus;
    std::vector<MouvementEcrit> hors_compte;
    std::vector<std::uint8_t> tampon(bloc_verification * L);
    for (std::size_t i = 0; i < a_verifier.size();) {
      std::size_t n = 1;
      while (i + n < a_verifier.size() && n < bloc_verification &&
             a_verifier[i + n].numero == a_verifier[i].numero + static_cast<std::int64_t>(n))
        ++n;
      std::size_t presents = 0;
      if (!f.lit(a_verifier[i].numero + 1, tampon.data(), n, presents)) presents = 0;
      for (std::size_t j = 0; j < n; ++j) {
        const MouvementEcrit& e = a_verifier[i + j];
        const std::uint8_t* lu = tampon.data() + j * L;
        const bool intact = j < presents && std::equal(e.enregistrement.octets.begin(),
                                                       e.enregistrement.octets.end(), lu);
        if (!intact) {
          perdus.push_back(e.enregistrement);
        } else if (e.numero > compte) {
          // Still there, but the till wrote an older count over ours: it
          // does not see the record. Appended again at once, it could end
          // up counted twice once a later count takes its old place in
          // again; it is looked at again first, after the till's next
          // appends have either written over it or counted it in.
          if (tour + 2 < tours_max) {
            hors_compte.push_back(e);
          } else {
            perdus.push_back(e.enregistrement);
          }
        }
      }
      i += n;
    }

    if (perdus.empty() && hors_compte.empty()) break;
    if (tour == tours_max - 1) {
      v.perdus = std::move(perdus);
      break;
    }
    f.ferme();
    for (const EnregistrementMouvement& e : perdus) {
      if (ajoute_mouvement(e)) {
        if (tour == 0) ++v.reecrits;
      } else {
        v.perdus.push_back(e);
      }
    }
    a_verifier = std::move(ecrits_);
    ecrits_.clear();
    if (!hors_compte.empty()) {
      a_verifier.insert(a_verifier.end(), hors_compte.begin(), hors_compte.end());
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  return v;
}

}  // namespace pontex
