#pragma once
// The exchange with the stock server, as procedures that run without a
// display. The main window's timers and buttons call them.

#include "pontex/data/valeurs.h"
#include "pontex/exchange/fenetre_echange.h"

namespace pontex {

// Takes every stock movement file waiting in the import folder, in the
// import list's order, and applies it.
void traite_import(ValeursProgramme& valeurs, FenetreEchange& fenetre);

// Applies the working file "prov_stk_ana_ron.txt" of the current directory
// to the articles, then deletes it.
void applique_analyse(ValeursProgramme& valeurs, FenetreEchange& fenetre);

// Applies valeurs.quantite to article valeurs.numero_article and records the
// stock movement.
void ecrit_mouvement(ValeursProgramme& valeurs, FenetreEchange& fenetre);

// Archives the waiting export files and writes a new stock level export.
void genere_sorties(ValeursProgramme& valeurs, FenetreEchange& fenetre);

// Writes five random sales into the import folder (hidden test button).
void genere_ventes(ValeursProgramme& valeurs, FenetreEchange& fenetre);

}  // namespace pontex
