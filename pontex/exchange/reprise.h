#pragma once
// What lets an analysis killed in the middle of a file (power cut, logoff,
// killed process) be finished by the next start, each record applied once:
// a small record, "reprise_analyse.wdo" beside "Pontex.wdo",
// rewritten in place before the effects of every record of the working
// file. It names the working file (its size and a digest of its bytes), the
// record under way and where the next one starts, and what is needed to tell
// afterwards whether that record's writes happened: the article's stock and
// second quantity before and after, the exact movement record about to be
// appended and the movement count it goes after, or the error line about to
// be appended and the error file's size before it.
//
// It comes into being before the working file does: first naming the
// received file about to be copied ("taking"), then, once the copy is whole,
// with the working file's size and digest. A working file without it is
// never applied from its first record by the exchange, since nothing then
// tells which of its records were applied already.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/data/valeurs.h"
#include "pontex/exchange/fenetre_echange.h"
#include "pontex/shared/fichier_records.h"
#include "pontex/shared/octets.h"
#include "pontex/shared/resultat.h"

namespace pontex {

inline constexpr std::string_view nom_fichier_reprise = "reprise_analyse.wdo";

struct EtatReprise {
  enum class Attente : std::uint32_t {
    rien = 0,          // between two records: the next one starts at `suivante`
    article = 1,       // an article write and a movement append under way
    ligne_erreur = 2,  // an error line under way
    termine = 3,       // every record applied
    prise = 4,         // the received file `nom` being copied: nothing applied
  };
  Attente attente = Attente::rien;
  std::uint64_t taille_fichier = 0;     // the working file's size...
  std::uint64_t empreinte_fichier = 0;  // ...and digest of its bytes
  std::int64_t numero = 1;              // the record under way (or next), from 1
  std::int64_t debut = 0;               // its byte position
  std::int64_t suivante = 0;            // the next record's byte position
  // Article write under way.
  std::int32_t article = 0;
  std::uint32_t stock_avant = 0, quantite2_avant = 0;  // Single bits
  std::uint32_t stock_apres = 0, quantite2_apres = 0;
  std::int32_t mouvements_avant = 0;  // the movement goes after this number
  std::array<std::uint8_t, 64> mouvement{};
  // Error line under way.
  std::string date_erreurs;  // dd-mm-yyyy of the error file's name
  std::int64_t taille_erreurs = 0;
  std::int64_t longueur_ligne = 0;
  std::uint64_t empreinte_ligne = 0;
  // The received file's name, its bytes exactly as listed: what the resume
  // looks for in the import folder and enters among the files applied.
  std::string nom;

  // The record's length: 512 bytes, more for a name above 255 bytes.
  static constexpr std::size_t longueur = 512;
  // A name that does not fit (none the systems make) is refused, the
  // received file left where it is: never cut.
  static constexpr std::size_t nom_max = 16 * 1024;
  static constexpr std::size_t longueur_max = 2 * nom_max;
  std::vector<std::uint8_t> encode() const;
  // The same into `o`, whose memory is reused: the record is written again
  // at every record applied.
  void encode(std::vector<std::uint8_t>& o) const;
  // Nothing when the bytes are not a whole, undamaged record.
  static std::optional<EtatReprise> decode(const std::uint8_t* octets, std::size_t taille);
};

// Where the fields of a record under way lie in a file that keeps it: the
// progress record, or an entry of a group's note. The file's own fields
// (its signature, the working file's size and digest, the received file's
// name, its check sum) are its codec's.
struct ChampsEtat {
  Champ attente, numero, debut, suivante, article, stock_avant, quantite2_avant, stock_apres,
      quantite2_apres, mouvements_avant, mouvement, date_erreurs, taille_erreurs, longueur_ligne,
      empreinte_ligne;
};
void ecrit_champs(const EtatReprise& etat, const ChampsEtat& champs, std::uint8_t* octets);
// Reads them as stored: what they may hold is the reader's to check.
void lit_champs(const std::uint8_t* octets, const ChampsEtat& champs, EtatReprise& etat);

// The progress file, opened once per working file and written in place.
class SuiviReprise {
 public:
  // Creates or replaces the file with `etat` and puts it on the disk.
  Resultat commence(const EtatReprise& etat);
  // One write of the whole record, in place.
  Resultat note(const EtatReprise& etat);
  // Notes the file as finished and puts that on the disk: after a power
  // cut, a finished file is never applied again.
  Resultat termine(EtatReprise& etat);
  void ferme() { fichier_.ferme(); }
  // Notes that the received file `nom` is about to be copied into the
  // working file, and puts that on the disk.
  static Resultat note_prise(std::string_view nom);

 private:
  FichierRecords fichier_;
  std::vector<std::uint8_t> octets_;  // the record last written, its memory kept
};

// Absent only when nothing at all stands under the progress file's name: a
// folder, a link or a file of the wrong size there is unreadable.
enum class LectureReprise { absente, illisible, lue };
LectureReprise lit_reprise(EtatReprise& etat);

// Settles the record under way in `etat` against the cash register's files
// and the error file, as they are now: what of its writes did not happen is
// done (the movement appended, or put into the slot its count reserved),
// unless the whole record must be applied again. A movement count raised
// over an empty slot is settled too: filled with the movement when the
// article was written, given back when the article is still at its stock
// before and the slot is the last one counted.
struct Reglement {
  std::int64_t depuis = 0;  // byte position to go on from
  std::int64_t numero = 1;  // the number of the record there
  // The first record the resumed run applies or finishes, for the journal.
  std::int64_t premier = 1;
  // A journal line about the record under way: its article changed by the
  // cash-register program since, so that its outcome cannot be told, or its
  // movement refused by the movement file.
  std::string alerte;
  // The movement of a written article could not be appended: nothing may go
  // on before it is, the next start settles the record again.
  bool mouvement_refuse = false;
  // The record's error line is to be written again: a start of it that a
  // full disk left in the error file is cut back first.
  bool ligne_a_refaire = false;
  // The register's file that could not be read to settle the record: the
  // record stays under way, for a start that can read it.
  std::string caisse_illisible = {};
};
//
// A movement found while the article is still at its stock before (a power
// cut kept the movement file's new bytes and lost the article file's) has
// the article written as it was to be.
//
// When the same article has other records in the record's group, the stocks
// those leave it at count as well: `anterieurs`, those the earlier records
// left it at before this one (this record not yet written), `posterieurs`,
// those the later ones leave it at (this record written). When `rang`
// earlier records of the group were to append the very same movement bytes
// (the same article, quantity and minute), `etat.mouvements_avant` is the
// count the first of them follows and the record's movement is the next copy
// after those.
struct StockArticle {
  std::uint32_t stock = 0, quantite2 = 0;  // Single bits
};
Reglement regle_record(ValeursProgramme& valeurs, const EtatReprise& etat,
                       std::span<const StockArticle> anterieurs = {},
                       std::span<const StockArticle> posterieurs = {}, int rang = 0);

}  // namespace pontex
