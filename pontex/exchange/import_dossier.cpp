#include <algorithm>
#include <chrono>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/exchange/articles_echange.h"
#include "pontex/exchange/echange.h"
#include "pontex/exchange/entrees_signalees.h"
#include "pontex/exchange/fichiers_appliques.h"
#include "pontex/exchange/reprise.h"
#include "pontex/exchange/textes_journal.h"
#include "pontex/shared/arret_systeme.h"
#include "pontex/shared/entrees_dossier.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/fichiers_transit.h"
#include "pontex/shared/horloge.h"

namespace pontex {

namespace {

// A file changed less than this long ago may still be growing: on Linux the
// server can go on writing into a file we have already deleted, and the rest
// of it would be lost.
constexpr double delai_ecriture_secondes = 2.0;

// How long the copies of earlier deliveries stay in import\histo, in days.
constexpr int jours_gardes_histo = 31;

// `nom` ends with `fin` (a dot and lower-case letters), letters in any case.
bool finit_par(std::string_view nom, std::string_view fin) {
  if (nom.size() < fin.size()) return false;
  const std::string_view queue = nom.substr(nom.size() - fin.size());
  for (std::size_t i = 0; i < fin.size(); ++i) {
    const char c = fin[i] == '.' ? queue[i] : static_cast<char>(queue[i] | 0x20);
    if (c != fin[i]) return false;
  }
  return true;
}

bool fin_txt(std::string_view nom) { return finit_par(nom, ".txt"); }

// The kept copy: the listed name with its final ".txt", in any case, turned
// into ".old" ("X.TXT" -> "X.old", "a.txt.txt" -> "a.txt.old").
std::string nom_copie_gardee(std::string_view nom) {
  std::string base(fin_txt(nom) ? nom.substr(0, nom.size() - 4) : nom);
  return base + ".old";
}

bool encore_en_ecriture(const Emplacement& recu) {
  const std::optional<std::chrono::nanoseconds> modifie = date_entree(recu);
  if (!modifie) return false;  // the copy will tell whether the file is there
  // With its sub-second part: a file changed 1.6 s ago is still too young.
  const std::chrono::duration<double> age =
      std::chrono::system_clock::now().time_since_epoch() - *modifie;
  // A time in the future (a server whose clock runs ahead) holds nothing back.
  return age.count() >= 0.0 && age.count() < delai_ecriture_secondes;
}

// Names handled between two refreshes of the window's import list.
constexpr std::size_t fichiers_par_affichage = 50;

// What became of one listed name.
enum class Prise {
  prise,
  // Left for a later exchange (still being written, a copy, a sync or the
  // removal failed): said at every exchange.
  attente,
  // Left for good (a link, a pipe, not one plain name, gone): said once a day.
  refusee,
  trop_volumineuse,  // above the bound: said once a day
};

// The received file and the kept copy hold the same bytes. Read in pieces:
// a copy of 64 MiB is never held twice in memory.
bool memes_octets(const Emplacement& a, const Emplacement& b, std::int64_t taille) {
  constexpr std::size_t morceau = 1024 * 1024;
  std::string x, y;
  for (std::int64_t position = 0; position < taille;
       position += static_cast<std::int64_t>(morceau)) {
    if (!lit_entree(a, position, morceau, x) || !lit_entree(b, position, morceau, y)) return false;
    if (x != y || x.empty()) return false;
  }
  return true;
}

// Where an earlier delivery's copy goes: its name before ".old", "_", the
// moment it was moved, and ".old" ("mvt_x_20261205210709.old"); within one
// second, "_2" to "_9" after the moment. Nothing when all are taken.
std::optional<std::string> nom_date_libre(const DossierTenu& dossier, const std::string& gardee,
                                          const std::string& moment) {
  const std::string base = gardee.substr(0, gardee.size() - 4);
  for (int n = 1; n <= 9; ++n) {
    std::string nom = base + "_" + moment;
    if (n > 1) nom += "_" + std::to_string(n);
    nom += ".old";
    // A file under that name is someone's copy and is never replaced (a
    // folder there makes the copy fail; a link is replaced, not followed).
    if (nom_simple(nom) && !taille_entree({dossier, nom})) return nom;
  }
  return std::nullopt;
}

// The kept copy is the only copy of what the server sent: before the copy
// of another delivery under the same name is replaced, it goes into
// import\histo under a dated name, on the disk before anything replaces it.
// Without a held import\histo (missing, a link) or when it refuses the copy,
// it is renamed in the import folder itself and journaled, rather than lost.
// False when it could be kept nowhere: the received file then waits.
bool garde_livraison_precedente(const ValeursProgramme& valeurs, const DossiersEchange& dossiers,
                                FenetreEchange& fenetre, const std::string& nom,
                                const std::string& gardee) {
  const DossierTenu& import = dossiers.reception;
  // No earlier copy (or a link under its name, which is replaced, never
  // followed), or a received file the copy refuses anyway: nothing to keep.
  const std::optional<std::int64_t> taille_gardee = taille_entree({import, gardee});
  const std::optional<std::int64_t> taille_recue = taille_entree({import, nom});
  if (!taille_gardee || !taille_recue) return true;
  // The same bytes sent again: the copy stays what it was.
  if (*taille_gardee == *taille_recue &&
      (*taille_gardee == 0 || memes_octets({import, gardee}, {import, nom}, *taille_gardee)))
    return true;
  const std::string moment = format_aaaammjjhhnnss(valeurs.horloge->maintenant());
  const DossierTenu& histo = dossiers.reception_histo;
  if (histo.ouvert()) {
    if (const auto nom_histo = nom_date_libre(histo, gardee, moment)) {
      Refus refus = Refus::aucun;
      if (copie_entree({import, gardee}, {{histo, *nom_histo}}, taille_max_recu, refus) &&
          synchronise_entree({histo, *nom_histo}) && synchronise_dossier(histo))
        return true;
    }
  }
  const auto nom_import = nom_date_libre(import, gardee, moment);
  if (!nom_import || !renomme_entree(import, gardee, *nom_import) || !synchronise_dossier(import))
    return false;
  fenetre.ajoute_journal(std::string(textes::copie_gardee_import) + *nom_import);
  return true;
}

// Puts the received file into the working file and its kept copy, then takes
// it out of the import folder. Only when all three succeeded may it be
// applied: applied without its deletion it would be applied again at the
// next cycle; deleted without a copy it would be lost.
//
// The server writes this folder: a listed name is one name, never a path
// (a name holding "\" would reach outside the folder), the file is read only
// if it is a plain file (never through a link, which could expose any file
// of the shop to the server through the kept copy and the error file), and
// its size is bounded. Everything goes through the import folder the
// exchange holds, whatever the name "import" leads to by now.
//
// `copie` receives what the copy read: the working file's size, digest and
// encoding.
Prise prend_fichier(const ValeursProgramme& valeurs, const DossiersEchange& dossiers,
                    FenetreEchange& fenetre, const std::string& nom, ApercuAnalyse& copie) {
  if (!nom_simple(nom)) return Prise::refusee;
  const DossierTenu& import = dossiers.reception;
  // Nothing for a link, a folder, a device or a file gone meanwhile: known
  // before anything is written for it.
  const std::optional<std::int64_t> taille = taille_entree({import, nom});
  if (!taille) return Prise::refusee;
  if (static_cast<std::uint64_t>(*taille) > taille_max_recu) return Prise::trop_volumineuse;
  // An unknown reference must never be dropped: when the day's error file
  // cannot be written, the file waits for a cycle where it can.
  if (!verifie_ajout({import, nom_fichier_erreurs(valeurs)})) return Prise::attente;
  if (encore_en_ecriture({import, nom})) return Prise::attente;
  const std::string gardee = nom_copie_gardee(nom);
  if (!garde_livraison_precedente(valeurs, dossiers, fenetre, nom, gardee)) return Prise::attente;
  // On the disk before the working file exists: a working file is never
  // found without what tells how far it was applied.
  if (!SuiviReprise::note_prise(nom)) return Prise::attente;
  const Emplacement travail{dossiers.courant, std::string(nom_fichier_analyse)};
  Refus refus = Refus::aucun;
  copie = ApercuAnalyse{};
  const bool copiee =
      static_cast<bool>(copie_entree({import, nom}, {travail, {import, gardee}}, taille_max_recu,
                                     refus, [&](std::string_view bloc) { copie.ajoute(bloc); }));
  // The received file leaves the folder only once both copies are on the
  // disk, their bytes and then their names: a power cut must never find
  // the file gone and its copies empty or missing.
  if (copiee && synchronise_entree(travail) && synchronise_entree({import, gardee}) &&
      synchronise_dossier(dossiers.courant) && synchronise_dossier(import) &&
      supprime_entree({import, nom}))
    return Prise::prise;
  // The file stays where it is and comes again next cycle; its content
  // must not wait in the working file, where the test button could apply
  // it. Whatever is left is settled by the next start's resume.
  (void)supprime_fichier(nom_fichier_analyse);
  (void)supprime_fichier(nom_fichier_reprise);  // one left behind is settled at the next start
  if (refus == Refus::trop_volumineux) return Prise::trop_volumineuse;
  return refus == Refus::pas_un_fichier ? Prise::refusee : Prise::attente;
}

// The record of applied files is what catches a file sent again: while it
// cannot be read or written, that is said, as a re-send would be applied.
void signale_appliques(FenetreEchange& fenetre, const Resultat& r) {
  if (!r)
    fenetre.ajoute_journal(std::string(textes::appliques_non_ecrits) + r.raison(),
                           SorteLigne::erreur);
}

// The day's error file gets the line too: the server reads that file, and
// must learn that what it sent again was not applied.
void signale_deja_traite(const ValeursProgramme& valeurs, FenetreEchange& fenetre,
                         const DossierTenu& import, const std::string& nom) {
  std::string ligne(textes::fichier_deja_traite);
  ligne += nom;
  fenetre.ajoute_journal(ligne, SorteLigne::refus);
  ligne += "\r\n";
  // Not written (a full disk): the journal line is all there is.
  (void)ajoute_entree({import, nom_fichier_erreurs(valeurs)}, ligne);
}

// Applies a file just taken, unless it is one applied before. Anything but
// `finie` when its application stopped before its end and the working file
// waits for the next start: it is entered among the applied files only
// once wholly applied.
FinAnalyse applique_pris(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                         FichiersAppliques& appliques, const DossierTenu& import,
                         const std::string& nom, const ApercuAnalyse& copie) {
  // The removal goes to the disk before any record is applied: after a
  // power cut, the file must not be back in the folder once applied. Not
  // possible (a share that refuses it): the record of applied files below
  // still keeps it from being applied twice.
  (void)synchronise_dossier(import);
  if (appliques.contient(nom, copie.taille(), copie.empreinte())) {
    // Left in place, the working file would be applied by the next start.
    // A progress file goes after it, never before (a working file without
    // one is a file whose application has not begun).
    if (!supprime_fichier(nom_fichier_analyse)) return FinAnalyse::en_attente;
    (void)supprime_fichier(nom_fichier_reprise);  // usually there is none yet
    signale_deja_traite(valeurs, fenetre, import, nom);
    return FinAnalyse::finie;
  }
  fenetre.ajoute_journal(std::string(textes::traitement) + nom, SorteLigne::fichier_pris);
  // Not recorded (a full disk): the file would be applied again if it came
  // back, which is what was done before there was a record at all.
  return applique_import(valeurs, fenetre, nom, copie, [&](const FichierTermine&) {
    signale_appliques(fenetre, appliques.ajoute(nom, copie.taille(), copie.empreinte()));
  });
}

// An application that an earlier process left unfinished is finished first.
// Once it is, its received file counts as applied like any other, from
// whatever state it was taken up: the resume names it, with the size and
// digest of the bytes it applied. Anything but `finie` when it still cannot
// finish.
FinAnalyse reprend_et_note(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                           FichiersAppliques& appliques) {
  return reprend_analyse(valeurs, fenetre, [&](const FichierTermine& termine) {
    // A working file put there by other means names no received file.
    if (termine.nom != nom_fichier_analyse)
      signale_appliques(fenetre, appliques.ajoute(termine.nom, termine.taille, termine.empreinte));
  });
}

// Copies of earlier deliveries in import\histo are kept 31 days, by the
// moment in their name ("x_20261205210709.old", "x_20261205210709_2.old");
// any other name there is left alone.
void nettoie_histo(const DossierTenu& histo, const DateHeure& aujourdhui) {
  if (!histo.ouvert()) return;
  std::vector<std::string> noms;
  if (!liste_entrees(histo, "*.old", noms)) return;  // unreadable: next exchange
  using namespace std::chrono;
  const year_month_day limite{
      sys_days{year{aujourdhui.annee} / month{static_cast<unsigned>(aujourdhui.mois)} /
               day{static_cast<unsigned>(aujourdhui.jour)}} -
      days{jours_gardes_histo}};
  const long jour_limite = static_cast<long>(static_cast<int>(limite.year())) * 10000 +
                           static_cast<long>(static_cast<unsigned>(limite.month())) * 100 +
                           static_cast<long>(static_cast<unsigned>(limite.day()));
  const auto chiffre = [](char c) { return c >= '0' && c <= '9'; };
  for (const std::string& nom : noms) {
    std::string_view n = nom;
    if (!n.ends_with(".old")) continue;
    n.remove_suffix(4);
    if (n.size() >= 2 && n[n.size() - 2] == '_' && n.back() >= '2' && n.back() <= '9')
      n.remove_suffix(2);
    if (n.size() < 15 || n[n.size() - 15] != '_') continue;
    const std::string_view moment = n.substr(n.size() - 14);
    if (!std::all_of(moment.begin(), moment.end(), chiffre)) continue;
    long jour = 0;
    for (const char c : moment.substr(0, 8)) jour = jour * 10 + (c - '0');
    if (jour < jour_limite)
      (void)supprime_entree({histo, nom});  // not removable now: the next exchange tries again
  }
}

// Our own files in the import folder, which are not the server's to send.
bool fichier_des_notres(std::string_view nom) {
  return finit_par(nom, ".old") || finit_par(nom, ".err") || nom_temporaire_pontex(nom);
}

// Says `texte` + `nom`, once a day for an entry left there for good.
void signale(FenetreEchange& fenetre, EntreesSignalees& signalees, std::string_view texte,
             const std::string& nom, bool une_fois_par_jour) {
  if (une_fois_par_jour && !signalees.a_dire(texte, nom)) return;
  fenetre.ajoute_journal(std::string(texte) + nom, SorteLigne::refus);
}

// The folder is read once: reading it again after every file would make
// the exchange's time grow with the square of the files waiting. A file
// arriving meanwhile waits for the next exchange. At most noms_par_echange
// files are taken; entries left where they are do not count, so that no
// number of them can keep the files behind them waiting. The register found
// unreadable in the middle of a file stops the exchange there.
IssueImport prend_les_fichiers(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                               const DossiersEchange& dossiers, FichiersAppliques& appliques,
                               EntreesSignalees& signalees) {
  const DossierTenu& import = dossiers.reception;
  std::vector<EntreeDossier> entrees;
  // From the held folder: the window's list reads the folder by its name,
  // which may lead elsewhere by now. Every name, so that a file the server
  // named otherwise than "*.txt" is said rather than ignored in silence.
  (void)liste_entrees_detaillees(import, "*", entrees);  // unreadable: nothing
  // The exchange's clock: a test's pinned clock never runs out of time.
  const Horloge& horloge = *valeurs.horloge;
  const auto debut = horloge.instant();
  auto affiche = debut;
  std::size_t vus = 0, vus_affiches = 0, pris = 0;
  for (const EntreeDossier& entree : entrees) {
    if (pris == noms_par_echange || horloge.instant() - debut >= duree_import_max) break;
    // A stop asked by the system takes no further file: what waits in
    // the import folder stays there for the next start.
    if (arret_demande()) break;
    const std::string& nom = entree.nom;
    if (!correspond_motif(nom, motif_File1)) {
      // Plain files only: a link there (import\histo made one) is nobody's
      // delivery.
      if (!fichier_des_notres(nom) && taille_entree({import, nom}))
        signale(fenetre, signalees, textes::fichier_ignore, nom, true);
      continue;
    }
    ++vus;
    // A pipe or a device is never opened: reading one may never end.
    ApercuAnalyse copie;
    switch (entree.fichier ? prend_fichier(valeurs, dossiers, fenetre, nom, copie)
                           : Prise::refusee) {
      case Prise::prise:
        ++pris;
        if (const FinAnalyse fin = applique_pris(valeurs, fenetre, appliques, import, nom, copie);
            fin != FinAnalyse::finie) {
          fenetre.rafraichit_File1();
          return fin == FinAnalyse::caisse_illisible ? IssueImport::caisse_absente
                                                     : IssueImport::faite;
        }
        break;
      case Prise::attente:
        signale(fenetre, signalees, textes::fichier_non_traite, nom, false);
        break;
      case Prise::refusee:
        signale(fenetre, signalees, textes::fichier_non_traite, nom, true);
        break;
      case Prise::trop_volumineuse:
        signale(fenetre, signalees, textes::fichier_trop_volumineux, nom, true);
        break;
    }
    // The list box reads the whole folder at each refresh: once a second,
    // and not before a few more files are gone, is enough for the eye.
    if (vus - vus_affiches >= fichiers_par_affichage &&
        horloge.instant() - affiche >= std::chrono::seconds(1)) {
      fenetre.rafraichit_File1();
      affiche = horloge.instant();
      vus_affiches = vus;
    }
    fenetre.traite_evenements();
  }
  if (vus > 0) fenetre.rafraichit_File1();
  return IssueImport::faite;
}

}  // namespace

IssueImport traite_import(ValeursProgramme& valeurs, FenetreEchange& fenetre) {
  try {
    const TenueDossiers dossiers(valeurs, fenetre);
    // The register's files the exchange uses, looked at before anything is
    // taken or taken up: a register away (a till PC's share rebooting, the
    // index alone missing) leaves every file where it is, rather than each
    // reference taken for unknown.
    std::string fichier;
    if (Resultat r = valeurs.caisse.verifie_lisible(fichier); !r) {
      fenetre.ajoute_journal(texte_caisse_illisible(fichier, r.raison()) +
                                 std::string(textes::caisse_illisible_attente),
                             SorteLigne::arret);
      return IssueImport::caisse_absente;
    }
    FichiersAppliques appliques;
    signale_appliques(fenetre, appliques.charge(valeurs.horloge->maintenant()));
    // While an earlier application cannot finish, no file may take its
    // working file's place.
    if (analyse_en_attente()) {
      const FinAnalyse fin = reprend_et_note(valeurs, fenetre, appliques);
      if (fin == FinAnalyse::caisse_illisible) return IssueImport::caisse_absente;
      if (fin != FinAnalyse::finie) return IssueImport::faite;
    }
    // A refused import folder, or none: nothing to take.
    const DossierTenu& import = dossiers->reception;
    if (!import.ouvert()) return IssueImport::faite;
    nettoie_histo(dossiers->reception_histo, valeurs.horloge->maintenant());
    EntreesSignalees signalees;
    signalees.charge(dossiers->courant, valeurs.horloge->maintenant());
    const IssueImport issue = prend_les_fichiers(valeurs, fenetre, *dossiers, appliques, signalees);
    signalees.enregistre(dossiers->courant);
    return issue;
  } catch (const std::bad_alloc&) {
    // What was taken is applied; the rest waits for the next cycle.
    return IssueImport::faite;
  }
}

}  // namespace pontex
