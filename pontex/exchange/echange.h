#pragma once
// The exchange with the stock server, as procedures that run without a
// display. The main window's timers and buttons call them.

#include <string_view>

#include "pontex/data/valeurs.h"
#include "pontex/exchange/fenetre_echange.h"

namespace pontex {

// Takes every stock movement file waiting in the import folder, in the
// import list's order, and applies it.
void traite_import(ValeursProgramme& valeurs, FenetreEchange& fenetre);

// Applies the working file "prov_stk_ana_ron.txt" of the current directory
// to the articles, then deletes it. An analysis that an earlier process
// began and did not finish is taken up where it stopped, each record
// applied once. False when the file is left to be taken up at the next
// start (the error file or the progress file could not be written): no
// other file may take the working file's place before.
bool applique_analyse(ValeursProgramme& valeurs, FenetreEchange& fenetre);

// The same for a working file just copied from the received file `nom`: a
// new application from its first record, whatever an earlier progress file
// says.
bool applique_import(ValeursProgramme& valeurs, FenetreEchange& fenetre, std::string_view nom);

// A working file or a progress file is waiting from an earlier process.
bool analyse_en_attente();

// Applies valeurs.quantite to article valeurs.numero_article and records the
// stock movement.
void ecrit_mouvement(ValeursProgramme& valeurs, FenetreEchange& fenetre);

// Archives the waiting export files and writes a new stock level export.
// True when the new export is in the export folder for the server.
bool genere_sorties(ValeursProgramme& valeurs, FenetreEchange& fenetre);

// Writes five random sales into the import folder (hidden test button).
void genere_ventes(ValeursProgramme& valeurs, FenetreEchange& fenetre);

}  // namespace pontex
