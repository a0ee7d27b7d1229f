#include "pontex/data/caisse.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "pontex/data/cle_index.h"
#include "pontex/shared/fichiers.h"

namespace pontex {

namespace {

// The tail of the index is read newest first in blocks of consecutive
// entries, one read call per block (6 KB), never one call per entry.
constexpr std::int64_t bloc_queue = 256;

// Probes recorded for the swing test; a probe beyond them ends the search.
constexpr int sondes_max = 200;

// The step below which the halving search reads its window in one call: 256
// entries either side (12 KB) take a lookup on a register of 64,000 keys
// from sixteen read calls to nine, and measured some 25 % more lookups a
// second of processor time than one read a probe. A window of 64 saves two
// calls fewer and was 10 % slower; one of 1,024 copies more than it saves.
constexpr std::int64_t fenetre_triees = 256;

// T and S of the index header as loop bounds: a negative count is 0, and a
// count is never larger than the entries the file holds now, so a damaged or
// foreign header cannot turn into billions of reads.
std::int64_t borne(std::int32_t compte, std::int64_t entrees) {
  return std::clamp<std::int64_t>(compte, 0, std::max<std::int64_t>(entrees, 0));
}

// Records the file holds, for bounding a count read from a header: what the
// handle has already seen, and the system asked only when the count goes
// beyond it (a lookup or an append then costs no extra system call).
std::int64_t records_pour(const FichierRecords& f, std::int64_t voulus) {
  const std::int64_t vus = f.nombre_records_vus();
  return voulus <= vus ? vus : f.nombre_records();
}

// Halving search over the sorted entries 1..S. The first probe is at
// S / 2 and the step is halved before each move, down to 1; position 0 is
// the header record, compared like an entry. The search ends on a match,
// when it leaves 1..S, when it swings between two neighbours, or after
// 201 probes. The article number of the match, 0 without one.
//
// Once the step is down to `fenetre_triees` entries, the entries within that
// many of the probe (what the rest of the search can reach in a sorted
// index) are read in one call and the same probes go on in that copy; a
// probe outside it (an index out of order walking on) reads a new window
// around it. Each probe sees the bytes it would have read alone: a handful
// of calls a lookup instead of one per probe, with the same article found.
// The copy lives for this lookup only.
//
// With `hors_fichier`, the search stops at the first probe the file does not
// hold and says so: S was taken from the header without asking the file's
// size, and the caller searches again within what the file holds.
//
// A read that fails (the file, not its end) ends the search with the reason
// in `panne`: nothing can be concluded from what was not read.
std::int32_t cherche_parmi_triees(const FichierRecords& index, const std::string& cle,
                                  std::int64_t tries, StatsRecherche& st, Resultat& panne,
                                  bool* hors_fichier = nullptr) {
  // Entries lo..lo + lus - 1 of the window read last (lus 0: none).
  std::array<std::uint8_t, static_cast<std::size_t>(2 * fenetre_triees + 1) * EntreeIndex::longueur>
      copie;
  std::int64_t lo = 0;
  std::size_t lus = 0;
  std::int64_t hi = -1;  // last position the window covers, read or not
  // Written at each probe before it is read back: left uninitialised, as
  // clearing its 1.6 KB would cost more than the probes' own work.
  std::array<std::int64_t, sondes_max + 1> historique;
  static const EntreeIndex blanche = EntreeIndex::vierge();
  std::int64_t pas = tries / 2;
  std::int64_t pos = pas;
  for (std::int64_t i = 1; i <= tries; ++i) {
    if (pos < lo || pos > hi) {
      // One entry, or once the step is small the window around it.
      lo = pos;
      hi = pos;
      if (pas <= fenetre_triees) {
        lo = std::max<std::int64_t>(pos - fenetre_triees, 0);
        hi = std::min(pos + fenetre_triees, tries);
      }
      ++st.lectures_triees;
      if (Resultat r = index.lit(lo + 1, copie.data(), static_cast<std::size_t>(hi - lo + 1), lus);
          !r) {
        panne = std::move(r);
        return 0;
      }
    }
    // An entry the file does not hold is blank and matches nothing.
    const auto rang = static_cast<std::size_t>(pos - lo);
    const bool lue = rang < lus;
    const std::uint8_t* entree =
        lue ? copie.data() + rang * EntreeIndex::longueur : blanche.octets.data();
    ++st.sondes;
    if (!lue && hors_fichier) {
      *hors_fichier = true;
      return 0;
    }
    if (i <= sondes_max) historique[i] = pos;
    pas = std::max<std::int64_t>(pas / 2, 1);
    const int c = compare_cle_entree(cle, entree);
    if (c > 0) {
      pos += pas;
      if (pos > tries) break;
    } else if (c < 0) {
      pos -= pas;
      if (pos < 1) break;
    } else {
      EntreeIndex trouvee;
      std::copy_n(entree, EntreeIndex::longueur, trouvee.octets.begin());
      return trouvee.numero();
    }
    if (i > 4) {
      if (i > sondes_max) break;
      if (historique[i] == historique[i - 2] && historique[i - 1] == historique[i - 3]) break;
    }
  }
  return 0;
}

// Tail scan: entries T down to S, newest first (the last sorted entry and,
// when S is 0, the header record included), read a block at a time. The
// header is read again, as the cash-register program may have added entries
// meanwhile. An entry that matches with article number -1 does not stop the
// scan. The article number of the match, -1 without one.
std::int32_t cherche_dans_queue(const FichierRecords& index, const std::string& cle,
                                std::int64_t tries, StatsRecherche& st, Resultat& panne) {
  EntreeIndex entree = EntreeIndex::vierge();
  std::size_t lus_entete = 0;
  ++st.lectures_entete;
  if (Resultat r = index.lit(1, entree.octets.data(), 1, lus_entete); !r) {
    panne = std::move(r);
    return -1;
  }
  if (lus_entete != 1) entree = EntreeIndex::vierge();  // the header counts no entry
  const std::int64_t entrees = records_pour(index, std::int64_t{entree.numero()} + 1) - 1;
  const std::int64_t total = std::min(borne(entree.numero(), entrees), entrees);

  // With an empty file `entrees` is -1 and nothing is read.
  std::array<std::uint8_t, static_cast<std::size_t>(bloc_queue) * EntreeIndex::longueur> tampon;
  std::int32_t resultat = -1;
  const auto* octets_cle = reinterpret_cast<const std::uint8_t*>(cle.data());
  for (std::int64_t haut = total; haut >= tries && resultat == -1;) {
    const std::int64_t bas = std::max(tries, haut - bloc_queue + 1);
    const auto nombre = static_cast<std::size_t>(haut - bas + 1);
    std::size_t lus = 0;
    if (Resultat r = index.lit(bas + 1, tampon.data(), nombre, lus); !r) {
      panne = std::move(r);
      return -1;
    }
    for (std::int64_t j = haut; j >= bas && resultat == -1; --j) {
      const auto rang = static_cast<std::size_t>(j - bas);
      ++st.entrees_queue;
      // An entry the file no longer holds (cut short meanwhile) is blank
      // and matches nothing.
      if (rang >= lus) continue;
      const std::uint8_t* e = tampon.data() + rang * EntreeIndex::longueur;
      if (egale_cle_entree(octets_cle, e)) {
        std::copy_n(e, EntreeIndex::longueur, entree.octets.begin());
        resultat = entree.numero();
      }
    }
    haut = bas - 1;
  }
  return resultat;
}

}  // namespace

bool Caisse::fichier_principal_present() const {
  return existe_fichier(chemin(nom_fichier_principal));
}

bool Caisse::sans_fichier_mouvements() const {
  return !existe_entree(chemin_mouvements_) && existe_fichier(chemin(nom_fichier_articles));
}

Resultat Caisse::ouvre_articles(std::int32_t& nombre_articles) {
  nombre_articles = 0;
  // Each record applied reads its article right after the write of the
  // record before: access times would cost an inode write each time. Not so
  // for the movement file, where Pontex races the till's appends: quicker
  // reads there made more of ours lost against a till appending flat out.
  Resultat r =
      articles_.ouvre(chemin(nom_fichier_articles), EnregistrementArticle::longueur,
                      FichierRecords::Creation::jamais, FichierRecords::DateAcces::laissee);

  // The cash-register program keeps the companion file beside the article
  // file; nothing in it is read, so it is closed at once rather than held
  // between two operations. Without it the folder is not a whole register:
  // no article is read from it and no stock goes to the server.
  {
    FichierRecords compagnon;
    if (Resultat c = compagnon.ouvre(chemin(nom_fichier_compagnon), 512); !c && r) {
      articles_.ferme();
      r = c;
    }
  }

  if (!r) return r;
  EnregistrementArticle entete;
  std::size_t lus = 0;
  r = articles_.lit(1, entete.octets.data(), 1, lus);
  if (!r) return r;
  if (lus == 0) return Resultat::succes();  // new or empty file: no article

  // 32-bit count: a register of more than 32,767 articles is not an empty
  // one. Callers loop up to this count, so it never exceeds the articles the
  // file really holds; an export then lists what exists.
  const std::int64_t presents = articles_.nombre_records() - 1;
  nombre_articles = static_cast<std::int32_t>(borne(entete.nombre_articles(), presents));
  return Resultat::succes();
}

void Caisse::ferme_articles() { articles_.ferme(); }

// A record beyond the end reads as a blank article and fails: the movement
// recording reads an article, changes it and writes it back, and must not
// write a blank record into the register as if it were the article.
Resultat Caisse::lit_article(std::int32_t k, EnregistrementArticle& article, bool* illisible) {
  if (illisible) *illisible = false;
  article = EnregistrementArticle::vierge();
  if (!articles_.est_ouvert()) {
    if (illisible) *illisible = true;
    return Resultat::echec("the article file is not open");
  }
  if (k < 0) return Resultat::echec("article number " + std::to_string(k) + " is negative");
  std::size_t lus = 0;
  EnregistrementArticle lu;
  const std::int64_t record = static_cast<std::int64_t>(k) + 1;
  if (Resultat r = articles_.lit(record, lu.octets.data(), 1, lus); !r) {
    if (illisible) *illisible = true;
    return r;
  }
  if (lus != 1)
    return Resultat::echec("record " + std::to_string(record) + " is beyond the end of the file");
  article = lu;
  return Resultat::succes();
}

// Only existing articles are written: Pontex changes stock figures, it never
// creates an article or touches the header record.
Resultat Caisse::ecrit_article(std::int32_t k, const EnregistrementArticle& article,
                               bool* illisible) {
  if (illisible) *illisible = false;
  if (!articles_.est_ouvert()) {
    if (illisible) *illisible = true;
    return Resultat::echec("the article file is not open");
  }
  const std::int64_t record = static_cast<std::int64_t>(k) + 1;
  if (k < 1 || record > records_pour(articles_, record))
    return Resultat::echec("article " + std::to_string(k) + " is not in the article file");
  Resultat r = articles_.ecrit(record, article.octets.data());
  if (!r && illisible) *illisible = true;
  return r;
}

Resultat Caisse::verifie_lisible(std::string& fichier) const {
  // Each file as the exchange opens it, and its header read once.
  const auto essaie = [&](std::string_view nom, std::size_t longueur, bool lecture_seule) {
    fichier = std::string(nom);
    FichierRecords f;
    Resultat r =
        lecture_seule ? f.ouvre_lecture(chemin(nom), longueur) : f.ouvre(chemin(nom), longueur);
    if (!r) return r;
    std::vector<std::uint8_t> entete(longueur);
    std::size_t lus = 0;
    return f.lit(1, entete.data(), 1, lus);
  };
  if (Resultat r = essaie(nom_fichier_index, EntreeIndex::longueur, true); !r) return r;
  if (Resultat r = essaie(nom_fichier_articles, EnregistrementArticle::longueur, false); !r)
    return r;
  // A register that keeps no movement file at all (the article file read
  // just now, the movement file not there) still takes stock changes; the
  // journal then says each movement is missing.
  if (Resultat r = essaie(nom_fichier_mouvements, EnregistrementMouvement::longueur, false);
      !r && existe_entree(chemin(nom_fichier_mouvements)))
    return r;
  fichier.clear();
  return Resultat::succes();
}

RechercheArticle Caisse::cherche_article(std::string_view reference, StatsRecherche* stats) const {
  StatsRecherche local;
  StatsRecherche& st = stats ? *stats : local;
  st = StatsRecherche{};
  RechercheArticle fait;
  const auto illisible = [&](Resultat r) {
    fait.issue = IssueCaisse::illisible;
    fait.article = -1;
    fait.fichier = std::string(nom_fichier_index);
    fait.raison = r.raison();
    return fait;
  };
  const auto resultat = [&](std::int32_t article) {
    fait.article = article;
    fait.issue = article == -1 ? IssueCaisse::absent : IssueCaisse::trouve;
    return fait;
  };

  // Reopened at each lookup: the cash-register program rewrites its index
  // whenever it sorts it.
  FichierRecords index;
  if (Resultat r = index.ouvre_lecture(chemin_index_, EntreeIndex::longueur); !r)
    return illisible(std::move(r));

  const std::string cle = cle_recherche(reference);
  EntreeIndex entete = EntreeIndex::vierge();
  std::size_t lus = 0;
  ++st.lectures_entete;
  if (Resultat r = index.lit(1, entete.octets.data(), 1, lus); !r) return illisible(std::move(r));
  if (lus != 1) entete = EntreeIndex::vierge();  // the header counts no entry
  // S as the header gives it, without asking the file's size: a sorted
  // index that holds its S entries (the usual case) is searched at the
  // cost of the reads alone. Only a miss, or a probe beyond the end of the
  // file, asks the size; S is then bounded by the entries the file holds,
  // and when that changes S the search is made again within them.
  Resultat panne = Resultat::succes();
  const std::int64_t tries_entete = std::max<std::int64_t>(entete.tries(), 0);
  bool hors_fichier = false;
  std::int32_t trouve = cherche_parmi_triees(index, cle, tries_entete, st, panne, &hors_fichier);
  if (!panne) return illisible(std::move(panne));
  if (trouve != 0) return resultat(trouve);
  const std::int64_t tries = borne(entete.tries(), index.nombre_records() - 1);
  if (hors_fichier || tries != tries_entete) {
    trouve = cherche_parmi_triees(index, cle, tries, st, panne);
    if (!panne) return illisible(std::move(panne));
    if (trouve != 0) return resultat(trouve);
  }
  trouve = cherche_dans_queue(index, cle, tries, st, panne);
  if (!panne) return illisible(std::move(panne));
  return resultat(trouve);
}

Resultat Caisse::vide_tampons() {
  Resultat r = articles_.est_ouvert() ? articles_.vide_tampons() : Resultat::succes();
  FichierRecords mouvements;
  Resultat m = mouvements.ouvre(chemin(nom_fichier_mouvements), EnregistrementMouvement::longueur);
  if (m) m = mouvements.vide_tampons();
  return r ? m : r;
}

}  // namespace pontex
