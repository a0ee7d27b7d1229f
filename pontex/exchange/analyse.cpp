#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "pontex/exchange/articles_echange.h"
#include "pontex/exchange/echange.h"
#include "pontex/exchange/mouvement.h"
#include "pontex/exchange/texte_mouvements.h"
#include "pontex/exchange/textes_journal.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/horloge.h"
#include "pontex/shared/nombres.h"

namespace pontex {

namespace {

// A record that is not applied leaves a line in the day's error file (opened
// and closed for this one line, so that the server or the shop can read the
// file at any moment) and in the journal. The date is taken per line: a run
// across midnight splits its errors over the two days' files.
void signale_record(ValeursProgramme& valeurs, FenetreEchange& fenetre, std::string_view motif,
                    const RecordMouvement& record, const std::optional<double>& quantite) {
  const char sep = valeurs.separateur_decimal;
  std::string ligne(motif);
  ligne += record.reference;
  std::string texte_journal;
  if (quantite) {
    ligne += format_nombre_imprime(*quantite, sep);
    texte_journal = format_deux_decimales(*quantite, sep);
  } else {
    // Unreadable as a number: the text as received, so that nothing of the
    // server's record is lost.
    std::string_view texte = record.texte_quantite;
    texte.remove_suffix(texte.size() - (texte.find_last_not_of(" \t") + 1));
    texte.remove_prefix(std::min(texte.size(), texte.find_first_not_of(" \t")));
    ligne += ' ';
    ligne += texte;
    ligne += ' ';
    texte_journal = texte;
  }
  ligne += "\r\n";

  const std::string fichier = dossier_import(valeurs) + "erreurs_" +
                              format_jj_mm_aaaa(valeurs.horloge->maintenant()) + ".err";
  ajoute_texte(fichier, ligne);

  texte_journal += textes::fois;
  texte_journal += motif;
  texte_journal += record.reference;
  fenetre.ajoute_journal(texte_journal);
}

void applique_record(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                     const RecordMouvement& record) {
  const std::optional<double> quantite = quantite_record(record);
  if (!quantite) {
    signale_record(valeurs, fenetre, textes::erreur_quantite, record, quantite);
    return;
  }
  const std::int32_t k = valeurs.caisse.cherche_article(record.reference);
  if (k < 1) {
    signale_record(valeurs, fenetre, textes::erreur_reference, record, quantite);
    return;
  }
  // The recording reads the article itself, at the last moment, and checks
  // that read: reading it here too would only cost a system call.
  valeurs.numero_article = k;
  valeurs.quantite = *quantite;
  std::string_view motif;
  if (!applique_mouvement(valeurs, fenetre, &motif)) {
    signale_record(valeurs, fenetre, motif, record, quantite);
  }
}

}  // namespace

void applique_analyse(ValeursProgramme& valeurs, FenetreEchange& fenetre) {
  try {
    if (!existe_fichier(nom_fichier_analyse)) return;

    std::int32_t n = 0;
    valeurs.caisse.ouvre_articles(n);
    valeurs.nombre_articles = n;

    std::string texte;
    if (lit_texte(nom_fichier_analyse, texte)) {
      for (const RecordMouvement& record : decoupe_records(texte)) {
        applique_record(valeurs, fenetre, record);
      }
    }

    valeurs.caisse.ferme_articles();
    verifie_mouvements_ecrits(valeurs, fenetre);
    supprime_fichier(nom_fichier_analyse);
  } catch (const std::bad_alloc&) {
    // A working file too large for memory. Its content stays in the import
    // file's ".old" copy; the working file goes, as after any run, so that
    // no record of it can be applied a second time.
    valeurs.caisse.ferme_articles();
    supprime_fichier(nom_fichier_analyse);
  }
}

}  // namespace pontex
