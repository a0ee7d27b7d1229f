#include "pontex/exchange/alertes_journal.h"

#include <array>

#include "pontex/exchange/textes_journal.h"
#include "pontex/shared/journal_fichier.h"

namespace pontex {

namespace {

// A record that was not applied: its quantity (or the quantity's text as
// received), " x ", then one of these. A designation follows " x " on every
// applied record's line, so only the texts right after it count.
constexpr std::array motifs_record = {
    textes::erreur_reference,
    textes::erreur_quantite,
    textes::erreur_article,
    textes::erreur_stock,
};

// Lines that begin with one of these.
constexpr std::array debuts = {
    textes::fichier_non_traite,       textes::fichier_trop_volumineux,
    textes::mouvement_non_enregistre, textes::reprise_impossible,
    textes::ligne_incomplete,         textes::ligne_trop_longue,
    textes::erreurs_non_ecrites,      textes::suivi_non_ecrit,
    textes::export_non_ecrit,         textes::export_sans_renommage,
    textes::aucun_article_tirable,    JournalFichier::non_ecrit,
};

// Lines that hold one of these after a name or a number of their own: the
// analysis stopped, and an article the till changed while it was stopped.
constexpr std::array milieux = {
    textes::arret,
    textes::reprise_ambigue_fin,
};

}  // namespace

bool est_alerte_journal(std::string_view message) {
  for (const std::string_view d : debuts) {
    if (message.starts_with(d)) return true;
  }
  for (const std::string_view m : milieux) {
    if (message.find(m) != std::string_view::npos) return true;
  }
  // A quantity text the server wrote may itself hold " x ": every " x "
  // is tried, the designation of an applied record comes after the first.
  for (std::size_t x = message.find(textes::fois); x != std::string_view::npos;
       x = message.find(textes::fois, x + 1)) {
    const std::string_view suite = message.substr(x + textes::fois.size());
    for (const std::string_view m : motifs_record) {
      if (suite.starts_with(m)) return true;
    }
  }
  return false;
}

bool est_ligne_alerte_journal(std::string_view ligne) {
  constexpr std::string_view separateur = " - ";
  const std::size_t s = ligne.find(separateur);
  if (s == std::string_view::npos) return false;
  return est_alerte_journal(ligne.substr(s + separateur.size()));
}

}  // namespace pontex
