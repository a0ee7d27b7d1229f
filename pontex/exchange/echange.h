#pragma once
// The exchange with the stock server, as procedures that run without a
// display. The main window's timers and buttons call them.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "pontex/data/valeurs.h"
#include "pontex/exchange/fenetre_echange.h"
#include "pontex/exchange/lecteur_analyse.h"

namespace pontex {

// Holds the exchange's folders for its own lifetime: the program's folder,
// the transit folder and, never through a link, its import, import\histo,
// export and export\histo. A sub-folder that is a link or not a folder is
// journaled "Dossier non traité : " + its name and left closed, so nothing
// is read or written there while the rest of the exchange goes on. Our own
// temporary files left in export by a stopped process are removed.
// When an exchange already holds them (the cycle holds them around both of
// its halves), that one's are used and this holds nothing more.
class TenueDossiers {
 public:
  TenueDossiers(ValeursProgramme& valeurs, FenetreEchange& fenetre);
  ~TenueDossiers();
  TenueDossiers(const TenueDossiers&) = delete;
  TenueDossiers& operator=(const TenueDossiers&) = delete;

  const DossiersEchange& operator*() const { return *valeurs_.dossiers; }
  const DossiersEchange* operator->() const { return &*valeurs_.dossiers; }

 private:
  ValeursProgramme& valeurs_;
  bool a_ouvert_ = false;
};

// Takes the stock movement files waiting in the import folder, in the
// import list's order, and applies them. The folder is read once; one call
// handles at most noms_par_echange of its names and starts no new file after
// duree_import_max, so that the export follows within a minute however many
// files wait: the rest is taken by the next exchange.
//
// Before anything is taken, the register's files it uses must open and
// read; when they do not, every file stays in the import folder, the
// journal says so once, and the caller learns that the register was away
// (at that check or in the middle of a file): it waits for the register
// and tries again.
enum class IssueImport {
  faite,           // what could be taken was taken
  caisse_absente,  // the register could not be read: files left for later
};
IssueImport traite_import(ValeursProgramme& valeurs, FenetreEchange& fenetre);
inline constexpr std::size_t noms_par_echange = 500;
inline constexpr std::chrono::seconds duree_import_max{30};

// Applies the working file "prov_stk_ana_ron.txt" of the current directory
// to the articles, then deletes it. An analysis that an earlier process
// began and did not finish is taken up where it stopped, each record
// applied once. False when the file is left to be taken up at the next
// start (the error file or the progress file could not be written): no
// other file may take the working file's place before.
bool applique_analyse(ValeursProgramme& valeurs, FenetreEchange& fenetre);

// A received file whose application a resume finished: its name as listed,
// its size and the digest of its bytes, as the files applied record them.
struct FichierTermine {
  std::string nom;
  std::uint64_t taille = 0;
  std::uint64_t empreinte = 0;
};

// What the exchange runs first when an earlier process left a working file
// or a progress file: the same as applique_analyse, except that a working
// file without a progress file is never applied (it may be applied in part
// already): it is kept aside and the journal says "Reprise impossible".
enum class FinAnalyse {
  finie,             // applied to its end (or settled) and cleared
  en_attente,        // left for the next start to take up
  caisse_illisible,  // the same, stopped because the register could not be read
};
// Called with the file finished, if one was, while its progress file still
// says so: what it records (the applied files) is on the disk before the
// progress file goes, so that a power cut never leaves the file applied and
// forgotten by the record that refuses it when it is sent again.
using NoteFichierTermine = std::function<void(const FichierTermine&)>;

// A file caught while being copied waits, journaled, while the import
// folder cannot be reached: only there can it be told whether it was taken.
FinAnalyse reprend_analyse(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                           const NoteFichierTermine& termine);

// The same for a working file just copied from the received file `nom`: a
// new application from its first record, whatever an earlier progress file
// says. `copie` is what the copy saw of it: the file is not read again for
// its size, digest or encoding.
FinAnalyse applique_import(ValeursProgramme& valeurs, FenetreEchange& fenetre, std::string_view nom,
                           const ApercuAnalyse& copie, const NoteFichierTermine& termine);

// The journal line of a register that cannot be read, and of the file
// where a record stopped at it: "Données de caisse illisibles : <file>
// <reason>".
std::string texte_caisse_illisible(std::string_view fichier, std::string_view raison);

// A working file or a progress file is waiting from an earlier process.
bool analyse_en_attente();

// Archives the waiting export files and writes a new stock level export.
// True when the new export is in the export folder for the server.
bool genere_sorties(ValeursProgramme& valeurs, FenetreEchange& fenetre);

// Writes five random sales into the import folder (hidden test button).
void genere_ventes(ValeursProgramme& valeurs, FenetreEchange& fenetre);

}  // namespace pontex
