#pragma once
// Operations on the cash register's data files, in the folder named by
// "#FICBASE#". The cash-register program uses these files at the same moment:
// each operation opens what it needs shared, reads whole records at the
// moment it runs, and keeps no copy of them afterwards.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pontex/data/enregistrements.h"
#include "pontex/data/mouvements_ecrits.h"
#include "pontex/shared/fichier_records.h"
#include "pontex/shared/resultat.h"

namespace pontex {

inline constexpr std::string_view nom_fichier_principal = "w_cai020.wdo";
inline constexpr std::string_view nom_fichier_articles = "w_caiar4.wdo";
inline constexpr std::string_view nom_fichier_compagnon = "w_caur44.wdo";
inline constexpr std::string_view nom_fichier_index = "W_caiind.WDO";
inline constexpr std::string_view nom_fichier_mouvements = "W_CAIREC.WDO";

// What one lookup read, for the benchmark and the tests.
struct StatsRecherche {
  int lectures_entete = 0;  // header record reads
  int sondes = 0;           // probes of the halving search
  int lectures_triees = 0;  // read calls those probes made
  int entrees_queue = 0;    // entries examined by the tail scan
};

// What a lookup or a read of the register came to. `illisible` is never
// "not there": the register could not be looked at (its folder away, a file
// that cannot be opened or read), so nothing may be concluded from it.
enum class IssueCaisse { trouve, absent, illisible };

// Find article by reference: the article number when found (0 when the only
// match carries 0), -1 otherwise; with the reason when unreadable.
struct RechercheArticle {
  IssueCaisse issue = IssueCaisse::absent;
  std::int32_t article = -1;
  std::string fichier;  // the file that could not be read
  std::string raison;
};

// The movement under way after a stop, as the movement file holds it now.
struct PlaceMouvement {
  enum class Sorte { trouvee, trou, absente, illisible } sorte = Sorte::absente;
  std::int64_t trou = 0;    // an empty slot within the count
  std::int64_t compte = 0;  // the header's count
};

class Caisse {
 public:
  // `dossier` is the "#FICBASE#" value, ending with a backslash (or empty:
  // the current directory).
  explicit Caisse(std::string dossier) { met_dossier(std::move(dossier)); }

  // Takes the folder of a newly loaded configuration; closes the article file.
  void met_dossier(std::string dossier) {
    ferme_articles();
    dossier_ = std::move(dossier);
    chemin_index_ = chemin(nom_fichier_index);
    chemin_mouvements_ = chemin(nom_fichier_mouvements);
  }
  const std::string& dossier() const { return dossier_; }
  std::string chemin(std::string_view nom) const { return dossier_ + std::string(nom); }

  // Presence of the cash register's main file "w_cai020.wdo" (hidden files do
  // not count).
  bool fichier_principal_present() const;
  // A register that keeps no movement file: its article file there, no
  // movement file beside it. A folder away is not one.
  bool sans_fichier_mouvements() const;

  // Open the article files: opens "w_caiar4.wdo" (kept open for the caller
  // until ferme_articles), opens and closes the companion "w_caur44.wdo",
  // and reads the header's article count (32-bit, so a register of more than
  // 32,767 articles is not taken for an empty one). An unreadable header
  // gives the count 0. Neither file is ever created: when one of them is
  // missing (a wrong folder) the count is 0, the article file stays closed
  // and the result is a failure.
  Resultat ouvre_articles(std::int32_t& nombre_articles);
  void ferme_articles();
  bool articles_ouverts() const { return articles_.est_ouvert(); }

  // Article k is record k + 1. A record beyond the end reads blank. With
  // `illisible`, told whether the failure is the file's (not open, not
  // readable or writable) rather than an article it does not hold.
  Resultat lit_article(std::int32_t k, EnregistrementArticle& article, bool* illisible = nullptr);
  Resultat ecrit_article(std::int32_t k, const EnregistrementArticle& article,
                         bool* illisible = nullptr);

  // Whether the files an exchange uses open and read now: the index's,
  // the article file's and the movement file's header records. The file
  // and the reason of the first that does not.
  Resultat verifie_lisible(std::string& fichier) const;

  // Find article by reference through "W_caiind.WDO" (reopened at each call,
  // closed afterwards): key "A" + reference, trailing spaces removed, padded
  // or cut to 16, upper case; halving search over the S sorted entries (at
  // most 200 probes, stopping when it swings between two positions), then,
  // when it found nothing (or an article number 0), a scan of the entries T
  // down to S, newest first, read in blocks. Found with the article number
  // (0 when the only match carries 0), absent (-1) only when every read the
  // lookup made succeeded; an index that cannot be opened or read is
  // `illisible`, never a reference the register does not hold.
  RechercheArticle cherche_article(std::string_view reference,
                                   StatsRecherche* stats = nullptr) const;

  // Append a movement: opens "W_CAIREC.WDO", reads header record 1, M = its
  // field 7 + 1, writes the header back with M (other fields unchanged), then
  // writes `mouvement` as record M + 1, and closes the file. The till
  // appends the same way at any moment, so right before the record is
  // written the header and record M + 1 are read again: when the till took
  // that place meanwhile, the next one is counted and taken instead. A
  // header that cannot be read, or an M pointing far beyond the end of the
  // file (a damaged header), fails without writing anything. Every movement
  // written is remembered (its number and bytes) for verifie_mouvements.
  Resultat ajoute_mouvement(const EnregistrementMouvement& mouvement,
                            std::int32_t* numero_ecrit = nullptr);

  // The movement file's count of movements (field 7 of its header); a
  // missing header (an emptied file) counts 0. Fails when the file cannot
  // be opened or read.
  Resultat compte_mouvements(std::int32_t& compte) const;

  // Where the exact `mouvement` lies after the movement `apres`, looking at
  // every slot after it (the till may have appended since), and the first
  // empty slot within the count, or beyond the end of the file: a count
  // raised by an append stopped before its record. With `rang`, the copy
  // of `mouvement` after `rang` others: records meant to append the very
  // same bytes are told apart by their order.
  PlaceMouvement cherche_mouvement(const EnregistrementMouvement& mouvement, std::int64_t apres,
                                   int rang = 0) const;

  // Puts `mouvement` into the empty slot `trou` that a stopped append of
  // ours counted. Read again right before the write: a slot the till has
  // written since is left to it and the movement appended instead. The
  // movement is checked by verifie_mouvements like an appended one.
  Resultat remplit_trou(const EnregistrementMouvement& mouvement, std::int64_t trou);

  // Gives back a count that a stopped append of ours raised over the last
  // slot, while the header still holds it and the slot is still empty:
  // the till would read the slot as a blank movement. The header and the
  // slot are read again right before the rewrite, and the rewrite undone
  // when the till appended meanwhile. True when given back.
  bool rend_compte(std::int64_t trou);

  // After a power cut the count may be back raised while its record is
  // lost: a last counted slot still empty a moment later (no append of the
  // till under way) is given back.
  void rend_compte_sans_mouvement();

  struct VerificationMouvements {
    int reecrits = 0;  // movements the till had overwritten, appended again
    std::vector<EnregistrementMouvement> perdus;  // still not in the file
  };
  // Checks that every movement appended since the last call still holds
  // its place (within the header's count, same bytes). The till can still
  // write over one of ours when both took the same place at the same
  // instant; those are appended again (and checked again, a few rounds at
  // most). Forgets the movements it checked.
  VerificationMouvements verifie_mouvements();
  std::size_t mouvements_a_verifier() const { return ecrits_.taille(); }

  // A movement of ours as appended: its number and its bytes.
  using MouvementEcrit = MouvementAjoute;

  // Asks the system to put the article file (when open) and the movement
  // file on the disk: what an exchange changed there then survives a power
  // cut. Costly, so once per applied file.
  Resultat vide_tampons();

 private:
  std::string dossier_;
  // The paths of the two files opened for every record applied, made once
  // per folder rather than once per opening.
  std::string chemin_index_ = std::string(nom_fichier_index);
  std::string chemin_mouvements_ = std::string(nom_fichier_mouvements);
  FichierRecords articles_;
  MouvementsEcrits ecrits_;
};

}  // namespace pontex
