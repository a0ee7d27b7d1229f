#include "pontex/exchange/mouvement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "pontex/exchange/echange.h"
#include "pontex/exchange/texte_mouvements.h"
#include "pontex/exchange/textes_journal.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/horloge.h"
#include "pontex/shared/nombres.h"

namespace pontex {

namespace {

constexpr double plus_grand_single = static_cast<double>(std::numeric_limits<float>::max());

// stock + quantity formed in double and stored as a Single. A sum the Single
// cannot hold would be stored as infinity and the article would show a stock
// that can never be sold down again: that step fails and the field keeps its
// value.
std::optional<float> somme_single(float actuel, double quantite) {
  const double somme = static_cast<double>(actuel) + quantite;
  if (!std::isfinite(somme) || std::fabs(somme) > plus_grand_single) return std::nullopt;
  return static_cast<float>(somme);
}

template <typename Entier>
Entier numero_arrondi(const std::string& texte) {
  const auto valeur = lit_nombre_sur(texte);
  if (!valeur) return 0;
  const auto arrondi =
      arrondi_pair(*valeur, std::numeric_limits<Entier>::min(), std::numeric_limits<Entier>::max());
  return arrondi ? static_cast<Entier>(*arrondi) : 0;
}

// The workstation and user numbers go into every movement record: read
// once from their text and kept while the text stays the same (the
// settings window may change it between two exchanges).
template <typename Entier>
class NumeroLu {
 public:
  Entier de(const std::string& texte) {
    if (!lu_ || texte != texte_) {
      valeur_ = numero_arrondi<Entier>(texte);
      texte_ = texte;
      lu_ = true;
    }
    return valeur_;
  }

 private:
  bool lu_ = false;
  std::string texte_;
  Entier valeur_ = 0;
};

// The date and time texts of a movement, made again only when the minute
// turns: every record of an import asks for them twice.
class TextesMinute {
 public:
  void pour(const DateHeure& d) {
    if (faits_ && d.minute == quand_.minute && d.heure == quand_.heure && d.jour == quand_.jour &&
        d.mois == quand_.mois && d.annee == quand_.annee)
      return;
    quand_ = d;
    date_ = format_jj_mm_aaaa(d);
    heure_ = format_hh_mm(d);
    faits_ = true;
  }
  const std::string& date() const { return date_; }
  const std::string& heure() const { return heure_; }

 private:
  bool faits_ = false;
  DateHeure quand_{};
  std::string date_, heure_;
};

}  // namespace

std::int32_t numero_poste(const ValeursProgramme& valeurs) {
  static NumeroLu<std::int32_t> poste;
  return poste.de(valeurs.config.numpost);
}

std::int16_t numero_utilisateur(const ValeursProgramme& valeurs) {
  static NumeroLu<std::int16_t> utilisateur;
  return utilisateur.de(valeurs.config.utilisa);
}

std::optional<MouvementPrepare> prepare_mouvement(const ValeursProgramme& valeurs,
                                                  const EnregistrementArticle& lu, double quantite,
                                                  std::string_view& motif) {
  // The movement record keeps the quantity as a Single too: a quantity that
  // does not fit cannot be recorded truthfully.
  if (!std::isfinite(quantite) || std::fabs(quantite) > plus_grand_single) {
    motif = textes::erreur_quantite;
    return std::nullopt;
  }
  MouvementPrepare p{lu, EnregistrementMouvement::vierge()};
  EnregistrementArticle& nouveau = p.nouveau;

  thread_local TextesMinute minute;
  minute.pour(valeurs.horloge->maintenant());
  const std::string& date = minute.date();

  // A stock that is not a number, or that the quantity would carry beyond
  // what a Single holds, cannot take the movement: the article is left as
  // it is and no movement is recorded, or the shop's history would show a
  // change its stock never made.
  const std::optional<float> stock = somme_single(nouveau.stock(), quantite);
  if (!stock) {
    motif = textes::erreur_stock;
    return std::nullopt;
  }
  nouveau.met_stock(*stock);
  // The second quantity only follows the stock: one the till left unusable
  // keeps its value and does not hold the movement back.
  if (auto seconde = somme_single(nouveau.quantite2(), -quantite)) {
    nouveau.met_quantite2(*seconde);
  }
  nouveau.met_date_mouvement(date);

  // Built before anything is written, so that whoever watches the writes
  // (the analysis keeps what it needs to finish them after a stop) knows
  // the exact bytes that will land in the movement file.
  EnregistrementMouvement& mouvement = p.mouvement;
  mouvement.met_date(date);
  mouvement.met_heure(minute.heure());
  mouvement.met_code(nouveau.code());
  mouvement.met_reserve("      ");
  // The quantity with its decimals, whatever the workstation's separator.
  mouvement.met_quantite(static_cast<float>(quantite));
  mouvement.met_valeur(nouveau.valeur());
  mouvement.met_poste(numero_poste(valeurs));
  mouvement.met_utilisateur(numero_utilisateur(valeurs));
  mouvement.met_origine(textes::origine_serveur);
  return p;
}

MouvementEcrit ecrit_mouvement(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                               std::int32_t article, double quantite,
                               const AvantEcriture& avant_ecriture, bool arret_si_refuse) {
  MouvementEcrit fait;
  fait.motif = textes::erreur_article;
  if (!std::isfinite(quantite) || std::fabs(quantite) > plus_grand_single) {
    fait.motif = textes::erreur_quantite;
    return fait;
  }

  // Read the record afresh: the cash-register program may have changed it
  // since the lookup. Writing back a buffer that was not read would put
  // another article's bytes into this record, so nothing goes on without it.
  EnregistrementArticle lu = EnregistrementArticle::vierge();
  bool illisible = false;
  if (Resultat r = valeurs.caisse.lit_article(article, lu, &illisible); !r) {
    if (illisible) {
      fait.issue = MouvementEcrit::Issue::caisse_illisible;
      fait.raison = r.raison();
    }
    return fait;
  }
  std::optional<MouvementPrepare> prepare = prepare_mouvement(valeurs, lu, quantite, fait.motif);
  if (!prepare) return fait;
  const EnregistrementArticle& nouveau = prepare->nouveau;
  const EnregistrementMouvement& mouvement = prepare->mouvement;
  if (avant_ecriture && !avant_ecriture({article, lu, nouveau, mouvement})) return fait;

  // If the new stock did not reach the file, journaling it and recording a
  // movement would tell the shop a change that never happened.
  if (Resultat r = valeurs.caisse.ecrit_article(article, nouveau, &illisible); !r) {
    if (illisible) {
      fait.issue = MouvementEcrit::Issue::caisse_illisible;
      fait.raison = r.raison();
    }
    return fait;
  }
  fait.issue = MouvementEcrit::Issue::applique;

  // Quantity, " x ", designation: built in place, as it is for every record.
  const std::string quantite_texte = format_deux_decimales(quantite, valeurs.separateur_decimal);
  const std::string_view designation = nouveau.vue_designation();
  std::array<char, 128> tampon;
  if (quantite_texte.size() + textes::fois.size() + designation.size() <= tampon.size()) {
    char* fin = std::copy(quantite_texte.begin(), quantite_texte.end(), tampon.data());
    fin = std::copy(textes::fois.begin(), textes::fois.end(), fin);
    fin = std::copy(designation.begin(), designation.end(), fin);
    fenetre.ajoute_journal(
        std::string_view(tampon.data(), static_cast<std::size_t>(fin - tampon.data())),
        SorteLigne::mouvement);
  } else {
    fenetre.ajoute_journal(quantite_texte + std::string(textes::fois) + std::string(designation),
                           SorteLigne::mouvement);
  }

  if (!valeurs.caisse.ajoute_mouvement(mouvement, &fait.numero)) {
    // A register folder away is not a register without a movement file.
    if (arret_si_refuse && !valeurs.caisse.sans_fichier_mouvements()) {
      fait.issue = MouvementEcrit::Issue::mouvement_refuse;
      return fait;
    }
    std::string alerte(textes::mouvement_non_enregistre);
    alerte += sans_espaces(nouveau.code());
    fenetre.ajoute_journal(alerte, SorteLigne::erreur);
  }
  return fait;
}

void verifie_mouvements_ecrits(ValeursProgramme& valeurs, FenetreEchange& fenetre) {
  const Caisse::VerificationMouvements v = valeurs.caisse.verifie_mouvements();
  if (v.reecrits > 0) {
    fenetre.ajoute_journal(std::string(textes::mouvements_reecrits) + std::to_string(v.reecrits));
  }
  for (const EnregistrementMouvement& perdu : v.perdus) {
    const std::string code = perdu.code();
    std::string ligne(textes::mouvement_non_enregistre);
    ligne += sans_espaces(code);
    fenetre.ajoute_journal(ligne, SorteLigne::erreur);
  }
}

}  // namespace pontex
