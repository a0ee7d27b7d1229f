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
#include <utility>
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
  (void)f.lit(record, o.data(), 2, lus);  // unread bytes stay zeros: a free place
  return o;
}

// One append of ours, in named steps: read the place the header's count
// gives, claim it by writing the count, check that the till did not take it
// meanwhile, write the record. A place found taken moves the append on to
// the next free one and the claim starts again.
class AjoutMouvement {
 public:
  AjoutMouvement(FichierRecords& f, const EnregistrementMouvement& mouvement)
      : f_(f), mouvement_(mouvement), records_ouverture_(f.nombre_records_vus()) {}

  // Reads the count and checks that the place it gives is plausible.
  Resultat lit_place();
  // Writes the count that takes in our place, noting first what a free place
  // holds there.
  Resultat reclame();

  enum class Verdict {
    libre,          // ours: the record may be written
    prise,          // the till wrote there, or after it: go on to the next place
    compte_ecrase,  // the till wrote an older count over ours: claim again
  };
  // Looks again right before writing. On the last try the record goes where
  // the count now says: a count raised without its record would show the till
  // a blank movement.
  Verdict verifie(bool dernier);
  // Moves on past every place the till took.
  Resultat place_suivante();
  // Writes the record at the claimed place.
  Resultat ecrit();

  std::int64_t place() const { return m_; }

 private:
  FichierRecords& f_;
  const EnregistrementMouvement& mouvement_;
  const std::int64_t records_ouverture_;
  EnregistrementMouvement entete_;
  EnregistrementMouvement entete_avant_;
  std::int64_t premier_ = 0;  // the place the count gave at first
  std::int64_t m_ = 0;        // the place claimed
  std::int64_t compte_relu_ = 0;
  Octets libre_{};
};

Resultat AjoutMouvement::lit_place() {
  // A movement file without its header record (emptied) starts from a
  // blank header: the first movement is then record 2.
  std::size_t lus = 0;
  if (Resultat r = f_.lit(1, entete_.octets.data(), 1, lus); !r) return r;
  if (lus == 0) entete_ = EnregistrementMouvement::vierge();
  entete_avant_ = entete_;

  const std::int64_t ancien = entete_.compte_mouvements();
  if (ancien < 0)
    return Resultat::echec("damaged movement header: count " + std::to_string(ancien));
  premier_ = m_ = ancien + 1;
  // The new record may lie at most ecart_max_mouvements records past the end.
  // The size seen at the opening may be older than the count read after it
  // (the till appending flat out meanwhile): asked again before refusing,
  // since a refused movement stops the file being applied.
  std::int64_t records = records_ouverture_;
  if (premier_ + 1 > records + 1 + ecart_max_mouvements) records = f_.nombre_records();
  if (premier_ > INT32_MAX || premier_ + 1 > records + 1 + ecart_max_mouvements)
    return Resultat::echec("damaged movement header: count " + std::to_string(ancien) +
                           " for a file of " + std::to_string(records) + " records");
  return Resultat::succes();
}

Resultat AjoutMouvement::reclame() {
  // A place that already held a record when the file was opened (records
  // beyond the count, left by the till) is free as long as it holds the
  // same bytes; any other place is free while it reads as zeros.
  libre_ = {};
  if (m_ + 1 <= records_ouverture_) libre_ = contenu_places(f_, m_ + 1);
  // The count first, then the record, as the cash-register program does.
  entete_.met_compte_mouvements(static_cast<std::int32_t>(m_));
  return f_.ecrit(1, entete_.octets.data());
}

AjoutMouvement::Verdict AjoutMouvement::verifie(bool dernier) {
  // One read of the header, one of the place. Another record there means
  // the till counted from the same M and already wrote its movement: that
  // place is its own.
  EnregistrementMouvement relu;
  std::size_t relus = 0;
  const auto lit_compte = [&] {
    return f_.lit(1, relu.octets.data(), 1, relus) && relus == 1 ? relu.compte_mouvements() : m_;
  };
  compte_relu_ = lit_compte();
  const Octets places = contenu_places(f_, m_ + 1);
  const bool prise = !std::equal(places.begin(), places.begin() + L, libre_.begin());
  // A record after ours while the count is still ours: the till had
  // appended between our read of the count and our write of it, and our
  // count went back over its records. They are counted in again. Unless
  // the till appended right between our two reads: it counted from ours,
  // its count says so now, and our place is still ours; taken for the
  // first case, that place would stay blank under the count.
  const bool suivante_prise = !std::equal(places.begin() + L, places.end(), libre_.begin() + L);
  if (compte_relu_ <= m_ && suivante_prise && !prise) compte_relu_ = lit_compte();
  const bool depassee = compte_relu_ <= m_ && suivante_prise;
  if (dernier) return Verdict::libre;
  if (prise || depassee) return Verdict::prise;
  // The till wrote an older count over ours: ours is written again, or the
  // record would lie beyond the count and the next append take it.
  if (compte_relu_ < m_) return Verdict::compte_ecrase;
  return Verdict::libre;
}

Resultat AjoutMouvement::place_suivante() {
  const std::int64_t fin = f_.nombre_records() - 1;
  m_ = std::max({m_, compte_relu_, fin}) + 1;
  if (m_ > INT32_MAX) return Resultat::echec("movement count beyond a Long");
  return Resultat::succes();
}

Resultat AjoutMouvement::ecrit() {
  Resultat r = f_.ecrit(m_ + 1, mouvement_.octets.data());
  // Do not leave a count that takes in a record never written: the
  // cash-register program would read it as a blank movement.
  if (!r && m_ == premier_) (void)f_.ecrit(1, entete_avant_.octets.data());  // best effort
  return r;
}

}  // namespace

Resultat Caisse::ajoute_mouvement(const EnregistrementMouvement& mouvement,
                                  std::int32_t* numero_ecrit) {
  FichierRecords f;
  // Its header is read right after each of our writes to it: without the
  // access time, those reads do not each have the system look at it.
  if (Resultat r = f.ouvre(chemin_mouvements_, EnregistrementMouvement::longueur,
                           FichierRecords::Creation::jamais, FichierRecords::DateAcces::laissee);
      !r)
    return r;
  AjoutMouvement ajout(f, mouvement);
  if (Resultat r = ajout.lit_place(); !r) return r;
  for (int essai = 0; essai < essais_max; ++essai) {
    if (Resultat r = ajout.reclame(); !r) return r;
    switch (ajout.verifie(essai == essais_max - 1)) {
      case AjoutMouvement::Verdict::prise:
        if (Resultat r = ajout.place_suivante(); !r) return r;
        continue;
      case AjoutMouvement::Verdict::compte_ecrase:
        continue;
      case AjoutMouvement::Verdict::libre:
        break;
    }
    if (Resultat r = ajout.ecrit(); !r) return r;
    ecrits_.ajoute({ajout.place(), mouvement});
    if (numero_ecrit) *numero_ecrit = static_cast<std::int32_t>(ajout.place());
    return Resultat::succes();
  }
  return Resultat::echec("no place for the movement");
}

// --- The resume's operations ------------------------------------------------
// A killed append of ours may leave its count raised over an empty slot; the
// next start finds the movement, fills that slot or gives the count back.
// Each rewrite of the header reads the header and the slots again right
// before and after, like an append: the till appends at any moment.

namespace {

bool vide(const std::uint8_t* o) {
  return std::all_of(o, o + L, [](std::uint8_t c) { return c == 0; });
}

Resultat lit_entete(const FichierRecords& f, EnregistrementMouvement& entete) {
  std::size_t lus = 0;
  entete = EnregistrementMouvement::vierge();
  Resultat r = f.lit(1, entete.octets.data(), 1, lus);
  if (r && lus != 1) entete = EnregistrementMouvement::vierge();  // emptied: no movement
  return r;
}

}  // namespace

Resultat Caisse::compte_mouvements(std::int32_t& compte) const {
  compte = 0;
  FichierRecords f;
  if (Resultat r = f.ouvre(chemin_mouvements_, L); !r) return r;
  EnregistrementMouvement entete;
  if (Resultat r = lit_entete(f, entete); !r) return r;
  compte = std::max(entete.compte_mouvements(), 0);
  return Resultat::succes();
}

PlaceMouvement Caisse::cherche_mouvement(const EnregistrementMouvement& mouvement,
                                         std::int64_t apres, int rang) const {
  PlaceMouvement place;
  FichierRecords f;
  EnregistrementMouvement entete;
  if (!f.ouvre(chemin_mouvements_, L) || !lit_entete(f, entete)) {
    place.sorte = PlaceMouvement::Sorte::illisible;
    return place;
  }
  place.compte = entete.compte_mouvements();
  const std::int64_t enregistres = f.nombre_records() - 1;  // movements the file holds
  const std::int64_t premier = std::max<std::int64_t>(apres, 0) + 1;
  const std::int64_t dernier = std::max(place.compte, enregistres);

  constexpr std::size_t bloc = 256;
  std::vector<std::uint8_t> tampon(bloc * L);
  for (std::int64_t m = premier; m <= dernier; m += static_cast<std::int64_t>(bloc)) {
    const auto nombre = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(bloc), dernier - m + 1));
    std::size_t lus = 0;
    if (!f.lit(m + 1, tampon.data(), nombre, lus)) {
      place.sorte = PlaceMouvement::Sorte::illisible;
      return place;
    }
    for (std::size_t i = 0; i < nombre; ++i) {
      const std::int64_t numero = m + static_cast<std::int64_t>(i);
      const std::uint8_t* e = tampon.data() + i * L;
      if (i < lus && std::equal(e, e + L, mouvement.octets.begin()) && rang-- == 0) {
        place.sorte = PlaceMouvement::Sorte::trouvee;
        return place;
      }
      if ((i >= lus || vide(e)) && place.trou == 0 && numero <= place.compte) place.trou = numero;
    }
  }
  if (place.trou != 0) place.sorte = PlaceMouvement::Sorte::trou;
  return place;
}

Resultat Caisse::remplit_trou(const EnregistrementMouvement& mouvement, std::int64_t trou) {
  if (trou < 1) return Resultat::echec("no slot to fill");
  {
    FichierRecords f;
    if (Resultat r = f.ouvre(chemin_mouvements_, L, FichierRecords::Creation::jamais,
                             FichierRecords::DateAcces::laissee);
        !r)
      return r;
    // The slot once more, right before the write: the till may have
    // counted it meanwhile from a count written over ours, and written its
    // record there. That record is its own; ours goes after the last.
    std::array<std::uint8_t, L> place{};
    std::size_t lus = 0;
    if (Resultat r = f.lit(trou + 1, place.data(), 1, lus); !r) return r;
    if (lus == 0 || vide(place.data())) {
      if (Resultat r = f.ecrit(trou + 1, mouvement.octets.data()); !r) return r;
      // Checked after the file like an append: a till that wrote its record
      // right over ours gets it appended again.
      ecrits_.ajoute({trou, mouvement});
      return Resultat::succes();
    }
  }
  return ajoute_mouvement(mouvement);
}

bool Caisse::rend_compte(std::int64_t trou) {
  FichierRecords f;
  if (!f.ouvre(chemin_mouvements_, L, FichierRecords::Creation::jamais,
               FichierRecords::DateAcces::laissee))
    return false;
  EnregistrementMouvement entete;
  if (!lit_entete(f, entete) || entete.compte_mouvements() != trou || trou < 1) return false;
  // The slot and the one after it empty: nothing of the till's lies there.
  const Octets avant = contenu_places(f, trou + 1);
  if (!std::all_of(avant.begin(), avant.end(), [](std::uint8_t c) { return c == 0; })) return false;
  EnregistrementMouvement rendu = entete;
  rendu.met_compte_mouvements(static_cast<std::int32_t>(trou - 1));
  if (!f.ecrit(1, rendu.octets.data())) return false;  // not given back: the slot stays blank
  // Read again: a till that read the count before our rewrite and wrote its
  // own after would otherwise lose its records past our count (and so
  // would one that appended again from ours into the slot). A record past
  // the count read now puts the count back over it: nothing is lost, the
  // slot at worst stays blank as it was. The slot itself too: a till that
  // counted it from the same count as our stopped append writes its record
  // there after its count, maybe right after our rewrite; one that appended
  // from our count between our two reads says so in its count by now.
  EnregistrementMouvement relu;
  bool entete_lu = static_cast<bool>(lit_entete(f, relu));
  const Octets apres = contenu_places(f, trou + 1);
  const bool place_prise = !vide(apres.data());
  const bool suivante_prise = !vide(apres.data() + L);
  if (entete_lu && relu.compte_mouvements() < trou && place_prise && !suivante_prise)
    entete_lu = static_cast<bool>(lit_entete(f, relu));
  if (entete_lu && ((relu.compte_mouvements() <= trou && suivante_prise) ||
                    (relu.compte_mouvements() < trou && place_prise))) {
    const std::int64_t fin =
        std::max<std::int64_t>(suivante_prise ? trou + 1 : trou, f.nombre_records() - 1);
    relu.met_compte_mouvements(static_cast<std::int32_t>(std::min<std::int64_t>(fin, INT32_MAX)));
    (void)f.ecrit(1, relu.octets.data());  // best effort: the till's next append counts them
    return false;
  }
  return true;
}

namespace {

// Whether the last counted slot of the movement file is empty, and the
// count then.
bool dernier_vide(const FichierRecords& f, std::int32_t& compte) {
  EnregistrementMouvement entete;
  if (!lit_entete(f, entete)) return false;
  compte = entete.compte_mouvements();
  if (compte < 1) return false;
  std::array<std::uint8_t, L> dernier{};
  std::size_t lus = 0;
  if (!f.lit(std::int64_t{compte} + 1, dernier.data(), 1, lus)) return false;
  return lus == 0 || vide(dernier.data());
}

}  // namespace

void Caisse::rend_compte_sans_mouvement() {
  std::int32_t compte = 0, encore = 0;
  {
    FichierRecords f;
    if (!f.ouvre(chemin_mouvements_, L)) return;
    if (!dernier_vide(f, compte)) return;
    // The till writes its record right after its count.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!dernier_vide(f, encore) || encore != compte) return;
  }
  (void)rend_compte(compte);  // not given back: the slot stays blank, nothing of ours is lost
}

namespace {

// What one round of the check found.
struct Constat {
  std::vector<EnregistrementMouvement> perdus;      // to append again
  std::vector<Caisse::MouvementEcrit> hors_compte;  // to look at again later
};

// Where one of ours stands: `lu` is its place's bytes, or null beyond the end.
void classe(const Caisse::MouvementEcrit& e, const std::uint8_t* lu, std::int64_t compte,
            bool regarder_encore, Constat& c) {
  const auto& attendu = e.enregistrement.octets;
  if (lu == nullptr || !std::equal(attendu.begin(), attendu.end(), lu)) {
    c.perdus.push_back(e.enregistrement);
  } else if (e.numero > compte) {
    // Still there, but the till wrote an older count over ours: it does not
    // see the record. Appended again at once, it could end up counted twice
    // once a later count takes its old place in again; it is looked at
    // again first, after the till's next appends have either written over it
    // or counted it in.
    if (regarder_encore) {
      c.hors_compte.push_back(e);
    } else {
      c.perdus.push_back(e.enregistrement);
    }
  }
}

// Reads ours back. They were written one after the other, mostly in runs of
// consecutive places: each run is read in blocks, not record by record.
// False when the movement file cannot be read at all.
bool constate(const std::string& chemin, MouvementsEcrits& a_verifier, bool regarder_encore,
              Constat& c) {
  FichierRecords f;
  if (!f.ouvre(chemin, L)) return false;
  EnregistrementMouvement entete;
  std::size_t lus = 0;
  if (!f.lit(1, entete.octets.data(), 1, lus) || lus != 1) return false;
  const std::int64_t compte = entete.compte_mouvements();
  // Usually already in order: each append lands after the one before.
  a_verifier.trie();
  std::vector<Caisse::MouvementEcrit> suite;
  suite.reserve(bloc_verification);
  std::vector<std::uint8_t> tampon(bloc_verification * L);
  MouvementsEcrits::Lecteur lecteur(a_verifier);
  Caisse::MouvementEcrit e;
  bool encore = lecteur.suivant(e);
  while (encore) {
    suite.assign(1, e);
    while ((encore = lecteur.suivant(e)) && suite.size() < bloc_verification &&
           e.numero == suite.front().numero + std::ssize(suite))
      suite.push_back(e);
    std::size_t presents = 0;
    if (!f.lit(suite.front().numero + 1, tampon.data(), suite.size(), presents)) presents = 0;
    for (std::size_t j = 0; j < suite.size(); ++j)
      classe(suite[j], j < presents ? tampon.data() + j * L : nullptr, compte, regarder_encore, c);
  }
  return true;
}

}  // namespace

Caisse::VerificationMouvements Caisse::verifie_mouvements() {
  VerificationMouvements v;
  MouvementsEcrits a_verifier = std::exchange(ecrits_, {});
  for (int tour = 0; tour < tours_max && !a_verifier.vide(); ++tour) {
    Constat c;
    if (!constate(chemin_mouvements_, a_verifier, tour + 2 < tours_max, c)) break;
    if (c.perdus.empty() && c.hors_compte.empty()) break;
    if (tour == tours_max - 1) {
      v.perdus = std::move(c.perdus);
      break;
    }
    for (const EnregistrementMouvement& e : c.perdus) {
      if (ajoute_mouvement(e)) {
        if (tour == 0) ++v.reecrits;
      } else {
        v.perdus.push_back(e);
      }
    }
    a_verifier = std::exchange(ecrits_, {});
    if (!c.hors_compte.empty()) {
      for (const MouvementEcrit& e : c.hors_compte) a_verifier.ajoute(e);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  return v;
}

}  // namespace pontex
