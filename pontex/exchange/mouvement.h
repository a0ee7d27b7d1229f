#pragma once
// Movement recording as the analysis uses it: the same as ecrit_mouvement,
// with an answer, so that a record which could not be applied is written to
// the error file instead of vanishing.

#include "pontex/data/valeurs.h"
#include "pontex/exchange/fenetre_echange.h"
#include "pontex/shared/resultat.h"

namespace pontex {

// Applies valeurs.quantite to article valeurs.numero_article and records the
// movement. Fails, having changed nothing, when the article record cannot be
// read or written back, or when the quantity does not fit the register's
// single-precision fields. Once the article is written the movement counts
// as applied: a movement file that refuses the movement is reported in the
// journal, the stock keeps its new value.
Resultat applique_mouvement(ValeursProgramme& valeurs, FenetreEchange& fenetre);

// Workstation and user numbers of the movement records: the configuration
// text read as a number, rounded halves to even; 0 when it does not fit the
// field.
std::int32_t numero_poste(const ValeursProgramme& valeurs);
std::int16_t numero_utilisateur(const ValeursProgramme& valeurs);

}  // namespace pontex
