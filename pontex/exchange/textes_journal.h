#pragma once
// Every text the exchange writes into the journal, the daily error file and
// the movement records, in one place. They are Windows-1252 bytes, as the
// window and the shop's files expect: "\xE9" is é, "\xEA" is ê. A hex escape
// swallows every hex digit that follows it, so an accented letter followed by
// a-f or a digit closes the literal and starts a new one ("\xE9" "crit").

#include <string_view>

namespace pontex::textes {

// Import folder.
inline constexpr std::string_view traitement = "Traitement : ";
// A received file left in the import folder for the next cycle: still being
// written by the server, or one of its copies or its deletion failed.
inline constexpr std::string_view fichier_non_traite = "Fichier non trait\xE9 : ";
// A received file whose name, size and bytes are those of a file applied in
// the last 31 days: not applied again, kept as its ".old" copy. Also written
// to the day's error file, so that the server sees it.
inline constexpr std::string_view fichier_deja_traite = "Fichier d\xE9j\xE0 trait\xE9 : ";
// A sub-folder of the transit folder that is a link, not a folder, or cannot
// be opened, so the exchange reads and writes nothing there. Followed by its
// name as the shop writes it: import, import\histo, export, export\histo.
inline constexpr std::string_view dossier_non_traite = "Dossier non trait\xE9 : ";
// Stops and refusals the window journals itself, outside an exchange: the
// register folder gone (a till PC's share away), a transit sub-folder
// missing, the folder lock refused. Followed by the folder or the reason.
inline constexpr std::string_view caisse_absente =
    "Donn\xE9"
    "es de caisse absentes : ";
inline constexpr std::string_view transit_absent = "Dossier de transit absent : ";
inline constexpr std::string_view verrou_refuse =
    "Le verrou du dossier ne peut pas \xEA"
    "tre pris : ";
// The status file for monitoring could not be written: followed by its name
// and the reason. Counted in the next status file that is written.
inline constexpr std::string_view etat_non_ecrit =
    "\xC9tat non \xE9"
    "crit : ";
// A received file above the size bound, left in the import folder.
inline constexpr std::string_view fichier_trop_volumineux = "Fichier trop volumineux : ";
// A file of the import folder whose name does not end in ".txt" (and is
// none of ours: ".old", ".err"): never taken, left where it is.
inline constexpr std::string_view fichier_ignore = "Fichier ignor\xE9, nom sans .txt : ";
// The kept copy of an earlier delivery under the same name, with other
// bytes, could not go into import\histo (missing, a link, or it refused the
// copy): kept in the import folder under this dated name instead.
inline constexpr std::string_view copie_gardee_import =
    "Copie pr\xE9"
    "c\xE9"
    "dente gard\xE9"
    "e dans import : ";

// Journal line of an applied movement: quantity + " x " + designation.
inline constexpr std::string_view fois = " x ";

// Daily error file lines and their journal lines (after the quantity and
// " x "). A reference that matches no article:
inline constexpr std::string_view erreur_reference = "Erreur reference : ";
// A quantity that no stock field can hold (too large for the register's
// single-precision numbers), so the record is not applied:
inline constexpr std::string_view erreur_quantite = "Erreur quantite : ";
// A quantity written with a decimal comma ("1,5"): the reader would take
// its whole part only, so the record is not applied. Followed, as above, by
// the quantity's text as received:
inline constexpr std::string_view erreur_virgule = "Erreur virgule : ";
// A reference from a UTF-8 file holding a character Windows-1252 cannot
// hold: written with "?" in its place, it is not looked up (it could only
// match the wrong article), so the record is not applied:
inline constexpr std::string_view erreur_caractere = "Erreur caractere : ";
// A matched article whose record could not be read or written back, so the
// record is not applied:
inline constexpr std::string_view erreur_article = "Erreur article : ";
// A matched article whose stock cannot take the quantity (it is not a
// number, or would become too large for the register's numbers), so the
// record is not applied:
inline constexpr std::string_view erreur_stock = "Erreur stock : ";
// The stock changed but the cash register's movement file refused the
// movement (damaged header, file not writable): followed by the article code.
inline constexpr std::string_view mouvement_non_enregistre = "Mouvement non enregistr\xE9 : ";
// After a received file: movements of ours that the till had written over
// at the same instant, appended again. Followed by their number.
inline constexpr std::string_view mouvements_reecrits =
    "Mouvements r\xE9\xE9"
    "crits : ";

// An unfinished analysis taken up again at start-up: "Reprise : " + the
// received file's name + " à partir de l'enregistrement " + its number.
inline constexpr std::string_view reprise = "Reprise : ";
inline constexpr std::string_view reprise_a_partir = " \xE0 partir de l'enregistrement ";
// It cannot be: nothing is applied from the working file. Followed by why.
inline constexpr std::string_view reprise_impossible = "Reprise impossible : ";
inline constexpr std::string_view reprise_sans_fichier = "fichier de travail absent pour ";
inline constexpr std::string_view reprise_autre_fichier =
    "le fichier de travail n'est plus celui de ";
inline constexpr std::string_view reprise_illisible = "suivi de reprise illisible";
inline constexpr std::string_view reprise_sans_suivi = "suivi de reprise absent";
// Then which records of the file are known to be applied...
inline constexpr std::string_view reprise_inconnus =
    ", enregistrements d\xE9j\xE0 appliqu\xE9s inconnus";
inline constexpr std::string_view reprise_aucun = ", aucun enregistrement appliqu\xE9";
inline constexpr std::string_view reprise_un = ", enregistrement 1 appliqu\xE9";
inline constexpr std::string_view reprise_jusqu_a = ", enregistrements 1 \xE0 ";
inline constexpr std::string_view reprise_appliques = " appliqu\xE9s";
// ...and, when there is one, the name the working file is kept under.
inline constexpr std::string_view reprise_garde = ", fichier de travail gard\xE9 sous ";
// The article of the record under way at the stop was changed by the
// cash-register program since: "Reprise : article " + code + this + number.
inline constexpr std::string_view reprise_ambigue_debut = "Reprise : article ";
inline constexpr std::string_view reprise_ambigue_fin =
    " modifi\xE9 par la caisse depuis l'arr\xEAt, stock \xE0 v\xE9rifier, enregistrement ";

// Lines of the working file that are not records, written to the error file
// and the journal followed by their first 100 bytes: the last line without
// its line end (it may be cut short), and a line too long to be a record.
inline constexpr std::string_view ligne_incomplete = "Ligne incomplete : ";
inline constexpr std::string_view ligne_trop_longue = "Ligne trop longue : ";
// The journal's lines of records sent to the error file end with where the
// record came from: " (" + the received file's name + ", ligne " + its line
// number + ")". The error file's lines do not: their format is the server's.
inline constexpr std::string_view origine_debut = " (";
inline constexpr std::string_view origine_ligne = ", ligne ";

// The analysis stopped before a record, which the next start takes up:
// what could not be written, then arret + the record's number + arret_fin.
inline constexpr std::string_view erreurs_non_ecrites =
    "Fichier d'erreurs non \xE9"
    "crit";
inline constexpr std::string_view mouvement_non_ecrit =
    "Mouvement non \xE9"
    "crit";
// The register's files could not be opened or read (its folder away, a
// share rebooting): followed by the file and the reason. Never taken for a
// reference the register does not hold.
inline constexpr std::string_view caisse_illisible =
    "Donn\xE9"
    "es de caisse illisibles : ";
// The same found before the exchange took anything: every received file
// stays in the import folder.
inline constexpr std::string_view caisse_illisible_attente =
    " : fichiers laiss\xE9s dans import, nouvel essai au retour de la caisse";
inline constexpr std::string_view suivi_non_ecrit =
    "Suivi de reprise non \xE9"
    "crit";
// The file an earlier process was copying when it stopped cannot be settled:
// whether it left the import folder can only be told there, and the exchange
// cannot reach that folder now. Both stay as they are until an exchange can.
// Followed by the received file's name.
inline constexpr std::string_view reprise_en_attente =
    "Reprise en attente, dossier import inaccessible : ";
// The record of files applied could not be read or written: a file sent
// again may be applied again until it can. Followed by why.
inline constexpr std::string_view appliques_non_ecrits =
    "Fichiers appliqu\xE9s non \xE9"
    "crits : ";
// A stop asked by the system (logoff, shutdown) between two records.
inline constexpr std::string_view arret_systeme = "Arr\xEAt demand\xE9 par le syst\xE8me";
inline constexpr std::string_view arret =
    " : analyse arr\xEAt\xE9"
    "e \xE0 l'enregistrement ";
inline constexpr std::string_view arret_fin = ", reprise au prochain d\xE9marrage";

// Export.
inline constexpr std::string_view sauvegarde_histo = "Sauvegarde histo Sorties";
inline constexpr std::string_view export_genere = "Export g\xE9n\xE9r\xE9";
// The folder refused to rename the finished export: written under its own
// name instead. Followed by the file name.
inline constexpr std::string_view export_sans_renommage =
    "Renommage refus\xE9, export \xE9"
    "crit directement : ";
// The export could not be written at all. Followed by the file name, " : "
// and why.
inline constexpr std::string_view export_non_ecrit =
    "Export non \xE9"
    "crit : ";

// Random sales generator.
inline constexpr std::string_view ventes_generees =
    "Ventes g\xE9n\xE9r\xE9"
    "es";
inline constexpr std::string_view aucun_article_tirable =
    "Aucun article ne peut \xEAtre tir\xE9 : pas de fichier de ventes";

// Origin written into every movement record of the cash register.
inline constexpr std::string_view origine_serveur = "-Serv:vpc-";

}  // namespace pontex::textes
