#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "pontex/exchange/articles_echange.h"
#include "pontex/exchange/echange.h"
#include "pontex/exchange/textes_journal.h"
#include "pontex/shared/fichiers_transit.h"
#include "pontex/shared/horloge.h"
#include "pontex/shared/nombres.h"

namespace pontex {

namespace {

// Moves the export files the server has not collected into the archive. A
// file whose copy failed, or whose copy could not be put on the disk, stays:
// it is the only trace of that stock level.
// The server writes this folder too: a listed name that is not one plain
// name, a link, or a file beyond the bound is left where it is and journaled,
// and a link standing in the archive under the same name is replaced, never
// written through. The waiting files are read from the export folder the
// exchange holds, with the export list's pattern: the list itself reads the
// folder by its name, which may lead elsewhere by now. Without a held
// archive, nothing is moved.
void archive_attentes(const DossiersEchange& dossiers, FenetreEchange& fenetre) {
  std::vector<std::string> attentes;
  // Unreadable, the folder has nothing waiting to archive.
  (void)liste_entrees(dossiers.emission, motif_File2, attentes);
  fenetre.remplit_List2(attentes);
  for (const std::string& nom : attentes) {
    Refus refus = Refus::aucun;
    if (copie_entree({dossiers.emission, nom}, {{dossiers.emission_histo, nom}}, taille_max_recu,
                     refus)) {
      // The waiting file goes only once its archive copy is on the disk,
      // bytes and name: a power cut must not leave neither of them.
      if (synchronise_entree({dossiers.emission_histo, nom}) &&
          synchronise_dossier(dossiers.emission_histo))
        (void)supprime_entree(
            {dossiers.emission, nom});  // a copy left behind is archived again next time
    } else if (refus == Refus::trop_volumineux) {
      fenetre.ajoute_journal(std::string(textes::fichier_trop_volumineux) + nom, SorteLigne::refus);
    } else if (refus == Refus::pas_un_fichier) {
      fenetre.ajoute_journal(std::string(textes::fichier_non_traite) + nom, SorteLigne::refus);
    }
  }
}

// One line per article taking part in the exchange, in the order of the
// article file: reference, TAB, stock, TAB, CR LF. Nothing when the article
// file cannot be opened (`raison` says why): an empty export would tell
// the server the shop sells nothing any more.
std::optional<std::string> lignes_stock(ValeursProgramme& valeurs, std::string& raison) {
  std::string contenu;
  std::int32_t n = 0;
  const Resultat ouvert = valeurs.caisse.ouvre_articles(n);
  valeurs.nombre_articles = n;
  if (!ouvert) {
    raison = ouvert.raison();
    return std::nullopt;
  }
  const bool alternative = valeurs.config.refarti != 0;
  // The count never exceeds the records the file holds (a 32-bit count:
  // registers of more than 32,767 articles are exported whole).
  contenu.reserve(static_cast<std::size_t>(n) * 24);
  EnregistrementArticle article = EnregistrementArticle::vierge();
  std::string reference;
  for (std::int32_t k = 1; k <= n; ++k) {
    // An unreadable record is left out rather than sent with the bytes of
    // the article read before it.
    if (!valeurs.caisse.lit_article(k, article)) continue;
    if (!article_echange(article, alternative, reference)) continue;
    contenu += reference;
    contenu += '\t';
    contenu += format_deux_decimales(article.stock(), valeurs.separateur_decimal);
    contenu += "\t\r\n";
  }
  valeurs.caisse.ferme_articles();
  return contenu;
}

// The export is lost for this exchange: its name and why, for support.
void journal_export_non_ecrit(FenetreEchange& fenetre, const std::string& nom,
                              std::string_view raison) {
  std::string ligne(textes::export_non_ecrit);
  ligne += nom;
  ligne += " : ";
  ligne += raison;
  fenetre.ajoute_journal(ligne, SorteLigne::erreur);
}

// The server collects "*.txt" from the export folder at any moment: the file
// is written under a name it does not collect and renamed once complete.
// That name is drawn at random and created exclusively, so nobody can put a
// link there beforehand and have the export written through it. Some
// network shares and synced folders refuse the rename; the export is then
// written under its own name rather than lost (a link there is replaced).
// True when the export is in the export folder.
bool ecrit_export(const DossierTenu& dossier, FenetreEchange& fenetre, const std::string& nom,
                  const std::string& contenu) {
  std::string provisoire;
  if (const Resultat r = ecrit_temporaire(dossier, contenu, provisoire); !r) {
    journal_export_non_ecrit(fenetre, nom, r.raison());
    return false;
  }
  // Its bytes go to the disk before its name does: after a power cut the
  // server must find the whole export or none, never an empty one. A share
  // that refuses the sync still gets the export.
  (void)synchronise_entree({dossier, provisoire});
  if (renomme_entree(dossier, provisoire, nom)) return true;
  (void)supprime_entree({dossier, provisoire});  // a stray temporary is never collected
  const Resultat direct = ecrit_entree({dossier, nom}, contenu);
  if (direct) {
    fenetre.ajoute_journal(std::string(textes::export_sans_renommage) + nom, SorteLigne::erreur);
    return true;
  }
  journal_export_non_ecrit(fenetre, nom, direct.raison());
  return false;
}

}  // namespace

bool genere_sorties(ValeursProgramme& valeurs, FenetreEchange& fenetre) {
  bool ecrit = false;
  try {
    const TenueDossiers dossiers(valeurs, fenetre);
    archive_attentes(*dossiers, fenetre);
    fenetre.ajoute_journal(textes::sauvegarde_histo);

    const std::string nom =
        valeurs.config.nom_sto + format_aaaammjjhhnnss(valeurs.horloge->maintenant()) + ".txt";
    std::string raison;
    if (const auto contenu = lignes_stock(valeurs, raison)) {
      ecrit = ecrit_export(dossiers->emission, fenetre, nom, *contenu);
    } else {
      journal_export_non_ecrit(fenetre, nom, raison);
    }
  } catch (const std::bad_alloc&) {
    valeurs.caisse.ferme_articles();
  }
  fenetre.rafraichit_File2();
  // Only an export the server can collect is announced as generated.
  if (ecrit) fenetre.ajoute_journal(textes::export_genere);
  fenetre.traite_evenements();
  return ecrit;
}

}  // namespace pontex
