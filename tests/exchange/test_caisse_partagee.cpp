// The movement file shared with a till appending at the same moment.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "pontex/data/caisse.h"
#include "pontex/data/mouvements_ecrits.h"
#include "pontex/shared/fichier_records.h"
#include "tests/support/dossier_temporaire.h"

namespace pontex::test {
namespace {

// The till's steps (read M, write M + 1, its record) played before each of our record operations.

constexpr std::size_t L = EnregistrementMouvement::longueur;
constexpr std::int32_t deja_la = 3;  // the till's movements before the run

// Record `n` of the till: "TILL" and its number, the rest 'T'.
std::array<std::uint8_t, L> record_caisse(std::uint32_t n) {
  std::array<std::uint8_t, L> r;
  r.fill('T');
  std::memcpy(r.data(), "TILL", 4);
  std::memcpy(r.data() + 4, &n, 4);
  return r;
}

EnregistrementMouvement notre_mouvement(int i) {
  EnregistrementMouvement m = EnregistrementMouvement::vierge();
  m.met_code("NOUS-" + std::to_string(i));
  m.met_poste(1);
  return m;
}

// The till, one step at a time, through its own handle (unseen by the hook).
class CaissePasAPas {
 public:
  explicit CaissePasAPas(std::string chemin) : chemin_(std::move(chemin)) {}
  // Step 3k: reads the count; 3k + 1: writes it raised; 3k + 2: writes its
  // record at the place it counted.
  void pas() {
    const std::uint32_t etape = pas_++;
    FichierRecords f;
    ASSERT_TRUE(f.ouvre(chemin_, L));
    switch (etape % 3) {
      case 0: {
        std::size_t lus = 0;
        ASSERT_TRUE(f.lit(1, entete_.octets.data(), 1, lus));
        ASSERT_EQ(lus, 1u);
        entete_.met_poste(entete_.poste() + 1);
        break;
      }
      case 1:
        ASSERT_TRUE(f.ecrit(1, entete_.octets.data()));
        break;
      case 2:
        ASSERT_TRUE(f.ecrit(entete_.poste() + 1, record_caisse(deja_la + etape / 3).data()));
        break;
    }
  }
  std::uint32_t pas_faits() const { return pas_; }

 private:
  std::string chemin_;
  std::uint32_t pas_ = 0;
  EnregistrementMouvement entete_ = EnregistrementMouvement::vierge();
};

// What the movement file holds, as the cash-register program reads it.
struct Lecture {
  std::int32_t compte = 0;
  std::vector<std::uint32_t> caisse;  // the till's record numbers, in order
  std::vector<std::string> nous;      // our codes, in order
  int vides = 0;                      // counted places that hold no record
};

Lecture lit_mouvements(const std::string& chemin) {
  Lecture l;
  FichierRecords f;
  EXPECT_TRUE(f.ouvre(chemin, L));
  EnregistrementMouvement e;
  std::size_t lus = 0;
  EXPECT_TRUE(f.lit(1, e.octets.data(), 1, lus));
  l.compte = e.poste();
  for (std::int32_t m = 1; m <= l.compte; ++m) {
    EnregistrementMouvement r = EnregistrementMouvement::vierge();
    std::fill(r.octets.begin(), r.octets.end(), 0);
    (void)f.lit(m + 1, r.octets.data(), 1, lus);
    if (std::memcmp(r.octets.data(), "TILL", 4) == 0) {
      std::uint32_t n = 0;
      std::memcpy(&n, r.octets.data() + 4, 4);
      l.caisse.push_back(n);
    } else if (std::all_of(r.octets.begin(), r.octets.end(), [](auto c) { return c == 0; })) {
      ++l.vides;
    } else {
      l.nous.push_back(r.code());
    }
  }
  return l;
}

class AjoutPasAPas : public ::testing::Test {
 protected:
  AjoutPasAPas() : caisse(dossier_caisse()) {}
  static std::string dossier_caisse() {
    std::filesystem::create_directory("caisse");
    return "caisse\\";
  }
  std::string chemin() const { return caisse.chemin(nom_fichier_mouvements); }

  // A movement file holding the till's first movements.
  void prepare() {
    std::filesystem::remove("caisse/W_CAIREC.WDO");
    FichierRecords f;
    ASSERT_TRUE(f.ouvre(chemin(), L, FichierRecords::Creation::si_absent));
    EnregistrementMouvement e = EnregistrementMouvement::vierge();
    std::fill(e.octets.begin(), e.octets.end(), ' ');
    e.met_poste(deja_la);
    ASSERT_TRUE(f.ecrit(1, e.octets.data()));
    for (std::int32_t m = 1; m <= deja_la; ++m)
      ASSERT_TRUE(f.ecrit(m + 1, record_caisse(m - 1).data()));
  }

  // Pontex appends `nos_mouvements` movements and checks them as after a received file; the till's
  // step i is played right before Pontex's record operation `places[i]` on the movement file (after
  // all of them when beyond). Returns the number of Pontex's operations.
  int joue(int nos_mouvements, const std::vector<int>& places) {
    prepare();
    return joue_apres_preparation(places, [&] {
      for (int i = 0; i < nos_mouvements; ++i)
        EXPECT_TRUE(caisse.ajoute_mouvement(notre_mouvement(i)));
    });
  }

  // The same around any of our operations on a movement file already prepared. A till already
  // part-way (`deja`) goes on from its next step; `places` holds an unused place for each step
  // done. `sortes` gets what each of our operations was.
  int joue_apres_preparation(const std::vector<int>& places, const std::function<void()>& nous,
                             CaissePasAPas* deja = nullptr) {
    CaissePasAPas propre(chemin());
    CaissePasAPas& till = deja ? *deja : propre;
    int operations = 0;
    bool dans_la_caisse = false;
    sortes.clear();
    {
      EchecInjecte crochet([&](Operation o, std::string_view c) {
        if (dans_la_caisse || (o != Operation::lecture && o != Operation::ecriture) ||
            !c.ends_with(nom_fichier_mouvements))
          return false;
        sortes.push_back(o);
        dans_la_caisse = true;
        while (till.pas_faits() < places.size() && places[till.pas_faits()] == operations)
          till.pas();
        dans_la_caisse = false;
        ++operations;
        return false;
      });
      nous();
      const Caisse::VerificationMouvements v = caisse.verifie_mouvements();
      EXPECT_TRUE(v.perdus.empty());
    }
    while (till.pas_faits() < places.size()) till.pas();
    return operations;
  }

  // Every way of placing the till's `pas` steps, in their order, among `places` places.
  static void places_possibles(int pas, int places, std::vector<int>& courant,
                               const std::function<void(const std::vector<int>&)>& f) {
    if (static_cast<int>(courant.size()) == pas) {
      f(courant);
      return;
    }
    for (int p = courant.empty() ? 0 : courant.back(); p < places; ++p) {
      courant.push_back(p);
      places_possibles(pas, places, courant, f);
      courant.pop_back();
    }
  }

  // What one interleaving left, against what both sides appended.
  struct Bilan {
    int caisse_perdus = 0, nous_perdus = 0, doubles = 0, vides = 0, compte_faux = 0;
    bool intact() const {
      return caisse_perdus == 0 && nous_perdus == 0 && doubles == 0 && vides == 0 &&
             compte_faux == 0;
    }
  };
  Bilan bilan(int nos_mouvements, int appends_caisse) {
    const Lecture l = lit_mouvements(chemin());
    Bilan b;
    std::set<std::uint32_t> caisse_vus(l.caisse.begin(), l.caisse.end());
    std::set<std::string> nous_vus(l.nous.begin(), l.nous.end());
    b.doubles =
        static_cast<int>(l.caisse.size() - caisse_vus.size() + l.nous.size() - nous_vus.size());
    for (std::uint32_t n = 0; n < static_cast<std::uint32_t>(deja_la + appends_caisse); ++n)
      b.caisse_perdus += !caisse_vus.contains(n);
    for (int i = 0; i < nos_mouvements; ++i)
      b.nous_perdus += !nous_vus.contains(notre_mouvement(i).code());
    b.vides = l.vides;
    b.compte_faux = l.compte != deja_la + appends_caisse + nos_mouvements;
    return b;
  }

  // Plays every interleaving of the till's `appends_caisse` appends with Pontex's `nos_mouvements`
  // appends and their check. `pas_separes`: the till's three steps of one append each at their own
  // place; otherwise each append of the till happens whole at one place. Returns the interleavings
  // played; `echecs` gets those that lost something.
  int toutes(int nos_mouvements, int appends_caisse, bool pas_separes,
             std::vector<std::pair<std::string, Bilan>>& echecs) {
    const int seules = joue(nos_mouvements, {});
    int jouees = 0;
    std::vector<int> courant;
    const int pas = pas_separes ? 3 * appends_caisse : appends_caisse;
    places_possibles(pas, seules + 2, courant, [&](const std::vector<int>& p) {
      std::vector<int> places;
      for (int x : p)
        for (int k = 0; k < (pas_separes ? 1 : 3); ++k) places.push_back(x);
      ++jouees;
      joue(nos_mouvements, places);
      const Bilan b = bilan(nos_mouvements, appends_caisse);
      if (b.intact()) return;
      std::string ordre;
      for (int x : places) ordre += std::to_string(x) + " ";
      echecs.emplace_back(ordre, b);
    });
    return jouees;
  }

  static std::string decrit(const std::vector<std::pair<std::string, Bilan>>& echecs) {
    std::string t;
    for (const auto& [ordre, b] : echecs)
      t += "till's steps before our operations " + ordre + ": till lost " +
           std::to_string(b.caisse_perdus) + ", ours lost " + std::to_string(b.nous_perdus) +
           ", doubled " + std::to_string(b.doubles) + ", blank " + std::to_string(b.vides) +
           (b.compte_faux ? ", count wrong" : "") + "\n";
    return t;
  }

  // What a killed append of ours leaves: the count raised over an empty slot, deja_la + 1. A
  // `till` given reads the count first: it was half-way through an append of its own.
  void prepare_trou(CaissePasAPas* till = nullptr) {
    prepare();
    if (till) till->pas();
    FichierRecords f;
    ASSERT_TRUE(f.ouvre(chemin(), L));
    EnregistrementMouvement e;
    std::size_t lus = 0;
    ASSERT_TRUE(f.lit(1, e.octets.data(), 1, lus));
    e.met_poste(deja_la + 1);
    ASSERT_TRUE(f.ecrit(1, e.octets.data()));
  }

  // The resume's two ways out of that slot, with the till's whole appends at every point: the
  // movement put into the slot, or the count given back and the record's movement appended again.
  // Returns the interleavings that lost, doubled or miscounted anything.
  // The resume's way out of the slot: the movement put into it, or the count given back and the
  // movement appended again.
  std::function<void()> reprise(bool remplir) {
    return [this, remplir] {
      if (remplir) {
        EXPECT_TRUE(caisse.remplit_trou(notre_mouvement(0), deja_la + 1));
      } else {
        (void)caisse.rend_compte(deja_la + 1);
        EXPECT_TRUE(caisse.ajoute_mouvement(notre_mouvement(0)));
      }
    };
  }

  std::string reprise_a_chaque_point(bool remplir, int appends_caisse) {
    const auto nous = reprise(remplir);
    prepare_trou();
    const int seules = joue_apres_preparation({}, nous);
    std::string echecs;
    std::vector<int> courant;
    places_possibles(appends_caisse, seules + 2, courant, [&](const std::vector<int>& p) {
      std::vector<int> places;
      for (int x : p)
        for (int k = 0; k < 3; ++k) places.push_back(x);
      prepare_trou();
      joue_apres_preparation(places, nous);
      const Lecture l = lit_mouvements(chemin());
      std::set<std::uint32_t> caisse_vus(l.caisse.begin(), l.caisse.end());
      const bool caisse_entiere =
          caisse_vus.size() == l.caisse.size() &&
          caisse_vus.size() == static_cast<std::size_t>(deja_la + appends_caisse);
      const bool nous_une_fois = l.nous == std::vector<std::string>{notre_mouvement(0).code()};
      // A slot left blank is the one our stopped append counted, and only when the till counted
      // past it before we could give it back; the count always takes in every record.
      const bool compte_juste =
          l.compte == deja_la + appends_caisse + 1 + l.vides && l.vides <= (remplir ? 0 : 1);
      if (caisse_entiere && nous_une_fois && compte_juste) return;
      std::string ordre;
      for (int x : places) ordre += std::to_string(x) + " ";
      echecs += "till before our operations " + ordre + ": till " +
                std::to_string(l.caisse.size()) + ", ours " + std::to_string(l.nous.size()) +
                ", blank " + std::to_string(l.vides) + ", count " + std::to_string(l.compte) + "\n";
    });
    return echecs;
  }

  // The same with the till's steps apart: it read the count before our stopped append raised it
  // (both count the same slot), then writes its count and its record at every pair of points of
  // the resume. Its record may only be covered by a write of ours that comes right behind our
  // last look at the file (the race any append without a lock has), never when it was there
  // before we looked.
  std::string reprise_pas_separes(bool remplir) {
    const auto nous = reprise(remplir);
    prepare_trou();
    const int seules = joue_apres_preparation({}, nous);
    std::string echecs;
    for (int compte = 0; compte < seules; ++compte)
      for (int record = compte; record < seules; ++record) {
        CaissePasAPas till(chemin());
        prepare_trou(&till);
        joue_apres_preparation({-1, compte, record}, nous, &till);
        const Lecture l = lit_mouvements(chemin());
        std::set<std::uint32_t> caisse_vus(l.caisse.begin(), l.caisse.end());
        const bool course = record > 0 && record < static_cast<int>(sortes.size()) &&
                            sortes[record] == Operation::ecriture &&
                            sortes[record - 1] == Operation::lecture;
        const bool caisse_entiere =
            caisse_vus.size() == l.caisse.size() && (caisse_vus.size() == deja_la + 1u || course);
        const bool nous_une_fois = l.nous == std::vector<std::string>{notre_mouvement(0).code()};
        const bool compte_juste =
            l.compte == static_cast<std::int32_t>(l.caisse.size() + 1) && l.vides == 0;
        if (caisse_entiere && nous_une_fois && compte_juste) continue;
        echecs += "till's count before our operation " + std::to_string(compte) +
                  ", its record before " + std::to_string(record) + ": till " +
                  std::to_string(l.caisse.size()) + ", ours " + std::to_string(l.nous.size()) +
                  ", blank " + std::to_string(l.vides) + ", count " + std::to_string(l.compte) +
                  "\n";
      }
    return echecs;
  }

  DossierTemporaire dossier;
  Caisse caisse;
  std::vector<Operation> sortes;  // our operations on the movement file, in order
};

// The resume fills the slot its stopped append counted, or gives that count back, the till
// appending at every point: never one of its records left outside the count, never a blank but
// the one it had already counted past. Then the till half-way through its append when ours was
// stopped, its steps apart around the resume: the slot it wrote meanwhile is never filled over,
// nothing is doubled or left blank.
TEST_F(AjoutPasAPas, LaRepriseDUnAjoutArreteAChaquePoint) {
  for (bool remplir : {true, false}) {
    for (int appends : {1, 2})
      EXPECT_EQ(reprise_a_chaque_point(remplir, appends), "") << remplir << " " << appends;
    EXPECT_EQ(reprise_pas_separes(remplir), "") << remplir;
  }
}

// The till's whole append at every point of one or two of ours, and two of its at every pair.
TEST_F(AjoutPasAPas, UnAjoutEntierDeLaCaisseAChaquePoint) {
  for (const auto& [nous, caisse] : {std::pair{1, 1}, std::pair{2, 1}, std::pair{1, 2}}) {
    std::vector<std::pair<std::string, Bilan>> echecs;
    EXPECT_GT(toutes(nous, caisse, false, echecs), 0);
    EXPECT_TRUE(echecs.empty()) << decrit(echecs);
  }
}

// The till's steps apart: a lost race is possible without a lock, a double or a blank never.
TEST_F(AjoutPasAPas, LesPasDeLaCaisseSeparesAChaquePoint) {
  std::vector<std::pair<std::string, Bilan>> echecs;
  EXPECT_GT(toutes(1, 1, true, echecs), 0);
  for (const auto& [ordre, b] : echecs) {
    EXPECT_EQ(b.doubles, 0) << ordre;
    EXPECT_EQ(b.vides, 0) << ordre;
  }
}

// A large delivery's movements wait for their check in a compact form: each
// comes back whole, in order, across the blocks they fill, whatever its bytes
// and however its number moved from the one before (runs, gaps, a step back,
// the largest count); out of turn, sorting puts them in order of their
// numbers, those of the same number as they came.
TEST(MouvementsEcrits, ChacunRevientEntierEtLesTriesGardentLeurOrdre) {
  std::vector<MouvementAjoute> attendus;
  MouvementsEcrits m;
  std::int64_t numero = 0;
  for (int i = 0; i < 20000; ++i) {
    MouvementAjoute a;
    numero = i == 7000 ? 5 : i == 9000 ? INT32_MAX : i % 997 == 0 ? numero + 300 : numero + 1;
    a.numero = numero;
    a.enregistrement = notre_mouvement(i);
    // Some that differ from the one before in every byte, some alike in all.
    if (i % 101 == 0)
      std::fill(a.enregistrement.octets.begin(), a.enregistrement.octets.end(),
                static_cast<std::uint8_t>(i));
    if (i % 103 == 0 && i > 0) a.enregistrement = attendus.back().enregistrement;
    m.ajoute(a);
    attendus.push_back(a);
  }
  ASSERT_EQ(m.taille(), attendus.size());
  EXPECT_FALSE(m.en_ordre());
  const auto relus = [&] {
    std::vector<MouvementAjoute> r;
    MouvementsEcrits::Lecteur lecteur(m);
    for (MouvementAjoute a; lecteur.suivant(a);) r.push_back(a);
    return r;
  };
  const auto egaux = [](const std::vector<MouvementAjoute>& a,
                        const std::vector<MouvementAjoute>& b) {
    if (a.size() != b.size()) return testing::AssertionFailure() << a.size() << " for " << b.size();
    for (std::size_t i = 0; i < a.size(); ++i)
      if (a[i].numero != b[i].numero || a[i].enregistrement.octets != b[i].enregistrement.octets)
        return testing::AssertionFailure() << "movement " << i;
    return testing::AssertionSuccess();
  };
  EXPECT_TRUE(egaux(relus(), attendus));
  m.trie();
  std::stable_sort(attendus.begin(), attendus.end(),
                   [](const auto& a, const auto& b) { return a.numero < b.numero; });
  EXPECT_TRUE(m.en_ordre());
  EXPECT_TRUE(egaux(relus(), attendus));
}

// After a large file, the till's records written over a few of ours (the
// first, either side of a block of the check's reads, the last): those are
// appended again, once each, and the till's records stay.
TEST_F(AjoutPasAPas, LesEcrasesDUnGrosFichierSontRemisUneFois) {
  prepare();
  constexpr int nombre = 3000;
  for (int i = 0; i < nombre; ++i) ASSERT_TRUE(caisse.ajoute_mouvement(notre_mouvement(i)));
  {
    FichierRecords f;
    ASSERT_TRUE(f.ouvre(chemin(), L));
    std::uint32_t n = 100;
    for (int i : {0, 255, 256, 511, 1024, nombre - 1})
      ASSERT_TRUE(f.ecrit(deja_la + i + 2, record_caisse(n++).data()));
  }
  const Caisse::VerificationMouvements v = caisse.verifie_mouvements();
  EXPECT_EQ(v.reecrits, 6);
  EXPECT_TRUE(v.perdus.empty());
  const Lecture l = lit_mouvements(chemin());
  std::vector<std::string> nous = l.nous;
  std::sort(nous.begin(), nous.end());
  std::vector<std::string> attendus;
  for (int i = 0; i < nombre; ++i) attendus.push_back(notre_mouvement(i).code());
  std::sort(attendus.begin(), attendus.end());
  EXPECT_EQ(nous, attendus);
  EXPECT_EQ(l.caisse, (std::vector<std::uint32_t>{0, 1, 2, 100, 101, 102, 103, 104, 105}));
  EXPECT_EQ(l.vides, 0);
  EXPECT_EQ(l.compte, deja_la + nombre + 6);
  EXPECT_EQ(caisse.mouvements_a_verifier(), 0u);
}

}  // namespace
}  // namespace pontex::test
