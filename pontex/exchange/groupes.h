#pragma once
// What lets a power cut at any moment leave every record of the working file
// applied exactly once. The records are applied in groups: before a group's
// first write, what each of its records will write (as the progress file
// notes it for the one record under way) goes into "reprise_groupes.wdo"
// beside "Pontex.wdo" and is put on the disk; at the group's end the article,
// movement and error files are put on the disk. The next group's note
// replaces the group's only then, so that the note on the disk always covers
// every write the disk may or may not hold. After a stop, each record of the
// group noted is settled against the files as they are.
//
// Two files hold the notes, written in turn (odd groups in the first, even
// ones in the second): a note cut short by a power cut leaves the one before
// it whole.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/data/valeurs.h"
#include "pontex/exchange/reprise.h"
#include "pontex/shared/fichier_records.h"
#include "pontex/shared/resultat.h"

namespace pontex {

inline constexpr std::string_view noms_fichiers_groupes[2] = {"reprise_groupes_1.wdo",
                                                              "reprise_groupes_2.wdo"};

// One group of records of a working file.
struct Groupe {
  std::uint64_t sequence = 0;           // groups of one file, from 1
  std::uint64_t taille_fichier = 0;     // the working file's size...
  std::uint64_t empreinte_fichier = 0;  // ...and digest of its bytes
  std::int64_t premier = 1;             // the first record the group covers...
  std::int64_t debut = 0;               // ...and its byte position
  std::int64_t dernier = 0;             // the last record it covers
  // Each record the group writes, in order: attente is article or
  // ligne_erreur, with what it tells. A record it covers without one was
  // settled before the group.
  std::vector<EtatReprise> ecritures;

  // Each group costs the syncs of four files at its end: 100,000 records
  // make 7 groups.
  static constexpr std::size_t ecritures_max = 16384;
};

// The records a group holds: Groupe::ecritures_max, unless a test asks for
// fewer (0 gives the default back) to see a group's end in a small file.
std::size_t ecritures_par_groupe();
void limite_ecritures_par_groupe(std::size_t n);

// Whether each group's note and files are put on the disk: always, but in
// the benchmark build, where the environment can turn it off to time what it
// costs.
bool syncs_groupes();

class NoteGroupes {
 public:
  // Empty notes for a new working file, in place of any earlier ones: put
  // in place by renames, which the folder's sync that follows puts on the
  // disk, so that no group of an earlier file is ever read for this one.
  static Resultat nouvelle();
  // Writes `groupe` into its place and puts it on the disk.
  Resultat note(const Groupe& groupe) {
    return note(groupe, groupe.ecritures.size(),
                [&](std::size_t i, EtatReprise& e) { e = groupe.ecritures[i]; });
  }
  // The same for the group whose head is `tete` (its own entries left
  // aside) and whose `nombre` entries `entree(i, etat)` gives one by one:
  // written a few hundred at a time, so that a whole group's note is never
  // held in memory beside the plans it is made from.
  template <typename Entree>
  Resultat note(const Groupe& tete, std::size_t nombre, const Entree& entree) {
    if (Resultat r = commence(tete, nombre); !r) return r;
    for (std::size_t i = 0; i < nombre; ++i) {
      etat_ = EtatReprise{};
      entree(i, etat_);
      if (Resultat r = ajoute(etat_); !r) return r;
    }
    return termine();
  }
  void ferme() {
    fichiers_[0].ferme();
    fichiers_[1].ferme();
  }

 private:
  Resultat commence(const Groupe& tete, std::size_t nombre);
  Resultat ajoute(const EtatReprise& etat);
  Resultat vide_entrees();
  Resultat termine();

  FichierRecords fichiers_[2];
  FichierRecords* fichier_ = nullptr;  // the one the group goes to
  std::vector<std::uint8_t> tete_, entrees_;
  std::uint64_t controle_ = 0;  // the check sum so far
  std::int64_t position_ = 0;   // where the entries held go in the file
  EtatReprise etat_;
};

// The last whole group noted for the working file of that size and digest.
std::optional<Groupe> lit_groupe(std::uint64_t taille_fichier, std::uint64_t empreinte_fichier);

// Settles every record of `groupe` against the files as they are (see
// regle_record): what of a record's writes is missing is done, unless the
// whole record must be applied again.
struct ReglementGroupe {
  std::vector<std::int64_t> a_refaire;  // records to apply again, in order
  std::int64_t premier = 1;             // first record applied or finished, for the journal
  std::vector<std::string> alertes;
  // A movement the movement file refused: nothing goes on before it is in.
  std::optional<std::int64_t> refuse;
  // The register's file that could not be read: nothing goes on.
  std::string caisse_illisible;
  // The first error line to write again, what a full disk let through of it
  // cut back first.
  std::optional<EtatReprise> ligne_a_refaire;
};
ReglementGroupe regle_groupe(ValeursProgramme& valeurs, const Groupe& groupe);

}  // namespace pontex
