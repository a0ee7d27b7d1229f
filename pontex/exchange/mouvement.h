#pragma once
// Movement recording as the analysis uses it: the same as ecrit_mouvement,
// with an answer, so that a record which could not be applied is written to
// the error file instead of vanishing.

#include <cstdint>
#include <functional>
#include <string_view>

#include "pontex/data/enregistrements.h"
#include "pontex/data/valeurs.h"
#include "pontex/exchange/fenetre_echange.h"
#include "pontex/shared/resultat.h"

namespace pontex {

// Applies valeurs.quantite to article valeurs.numero_article and records the
// movement. Fails, having changed nothing, when the article record cannot be
// read or written back, when the quantity does not fit the register's
// single-precision fields, or when the stock cannot take it (not a number,
// or carried beyond a Single); `motif` then receives the day's error file
// text for the case. Once the article is written the movement counts as
// applied: a movement file that refuses the movement is reported in the
// journal, the stock keeps its new value.
//
// `avant_ecriture`, when given, sees the article as read and as it is about
// to be written, and the movement record about to be appended, before
// anything is written; answering false stops the recording there (nothing
// written, a failure returned). `numero_mouvement` receives the number of
// the movement appended (untouched when none was).
//
// `refuse`, when given, receives true when the article was written but the
// movement file, present, refused the movement (a full disk, a damaged
// header): the caller then stops where it is and settles the movement later,
// and no journal line is written here. Without it, or when the movement file
// is missing altogether, the journal says "Mouvement non enregistré".
struct EcrituresPrevues {
  std::int32_t article;
  const EnregistrementArticle& avant;
  const EnregistrementArticle& apres;
  const EnregistrementMouvement& mouvement;
};
using AvantEcriture = std::function<bool(const EcrituresPrevues&)>;
Resultat applique_mouvement(ValeursProgramme& valeurs, FenetreEchange& fenetre,
                            const AvantEcriture& avant_ecriture = {},
                            std::int32_t* numero_mouvement = nullptr,
                            std::string_view* motif = nullptr, bool* refuse = nullptr);

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
