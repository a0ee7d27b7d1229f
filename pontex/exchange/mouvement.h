#pragma once
// Movement recording as the analysis uses it: the same as ecrit_mouvement,
// with an answer, so that a record which could not be applied is written to
// the error file instead of vanishing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "pontex/data/enregistrements.h"
#include "pontex/data/valeurs.h"
#include "pontex/exchange/fenetre_echange.h"
#include "pontex/shared/resultat.h"

namespace pontex {

// What the pre-write watcher sees: the article as read and as it is about
// to be written, and the movement record about to be appended, before
// anything is written.
struct EcrituresPrevues {
  std::int32_t article;
  const EnregistrementArticle& avant;
  const EnregistrementArticle& apres;
  const EnregistrementMouvement& mouvement;
};
// A look at the writes before they happen: a reference to the caller's own
// callable, which outlives the call. Applied at every record, it neither
// copies the callable nor takes memory for it.
class AvantEcriture {
 public:
  AvantEcriture() = default;
  template <typename F>
  requires(!std::is_same_v<std::remove_cvref_t<F>, AvantEcriture>)
      AvantEcriture(F& f)  // NOLINT: taken implicitly, as a callable is passed
      : objet_(&f), appel_([](const void* o, const EcrituresPrevues& e) -> bool {
          return (*static_cast<const F*>(o))(e);
        }) {}
  explicit operator bool() const { return appel_ != nullptr; }
  bool operator()(const EcrituresPrevues& e) const { return appel_(objet_, e); }

 private:
  const void* objet_ = nullptr;
  bool (*appel_)(const void*, const EcrituresPrevues&) = nullptr;
};

// What ecrit_mouvement did with one record.
struct MouvementEcrit {
  enum class Issue {
    applique,          // the article written, its movement appended (or journaled as lost)
    non_applique,      // nothing written: `motif` says why, for the day's error file
    mouvement_refuse,  // the article written, the movement file refused the movement
    // nothing written: the article file could not be read or written (the
    // register away), which says nothing of the record itself
    caisse_illisible,
  };
  Issue issue = Issue::non_applique;
  std::string_view motif;
  std::int32_t numero = 0;  // the movement's number, 0 when none was appended
  std::string raison;       // with caisse_illisible: why the file could not be used
};

// What one movement will write: the article as it is to be written back and
// the movement record to append, formed from the article as read. Nothing,
// with `motif` set for the day's error file, when the quantity does not fit
// the register's single-precision fields or the stock cannot take it.
struct MouvementPrepare {
  EnregistrementArticle nouveau;
  EnregistrementMouvement mouvement;
};
std::optional<MouvementPrepare> prepare_mouvement(const ValeursProgramme& valeurs,
                                                  const EnregistrementArticle& lu, double quantite,
                                                  std::string_view& motif);

// Applies `quantite` to article `article` (its number, from 1) and records
// the stock movement. Not applied, having changed nothing, when the article
// record cannot be read or written back, when the quantity does not fit the
// register's single-precision fields, or when the stock cannot take it (not
// a number, or carried beyond a Single). Once the article is written the
// movement counts as applied.
//
// `avant_ecriture`, when given, sees the writes before they happen;
// answering false stops the recording there (nothing written, not applied).
//
// A movement file that refuses the movement (a full disk, a damaged header)
// while it is there: with `arret_si_refuse` the caller is told and settles
// the movement later (no journal line here); without it, and when the
// movement file is missing altogether, the journal says "Mouvement non
// enregistré".
MouvementEcrit ecrit_mouvement(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                               std::int32_t article, double quantite,
                               const AvantEcriture& avant_ecriture = {},
                               bool arret_si_refuse = false);

// After a received file: checks that the movements it recorded are still
// in the movement file, appends again those the till wrote over, and
// journals how many were appended again, and any it could not
// record at all.
void verifie_mouvements_ecrits(ValeursProgramme& valeurs, FenetreEchange& fenetre);

// Workstation and user numbers of the movement records: the configuration
// text read as a number, rounded halves to even; 0 when it does not fit the
// field.
std::int32_t numero_poste(const ValeursProgramme& valeurs);
std::int16_t numero_utilisateur(const ValeursProgramme& valeurs);

}  // namespace pontex
