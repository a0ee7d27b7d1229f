#pragma once
// The stock server, simulated for the demo shop and its test. Like the real
// server it meets the shop only in the transit folder: it delivers stock
// movement files into "import\" and collects the stock level exports that
// Pontex leaves in "export\". To tell the person watching the demo what
// became of each delivery, it also reads (never writes) the cash register's
// files: the stocks before and after, the movements recorded in
// "W_CAIREC.WDO", and the day's error file of unknown references. It checks
// that every movement sent was recorded once, with the stock it should give,
// and that the export carries the new stocks.
//
// It knows the shop through its "Pontex.wdo": transit folder, cash-register
// folder, reference mode, export prefix and restart delay.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/shared/horloge.h"
#include "pontex/shared/resultat.h"

namespace pontex::serveur {

// What the server needs to know of the shop.
struct Boutique {
  std::string transit;  // Windows-style, ends with a backslash
  std::string caisse;   // cash-register folder, ends with a backslash
  bool par_reference_alternative = false;
  std::string prefixe_export;  // "#NOM_STO#"
  double delai_minutes = 0;    // "#TIM_ANA#"
};

// Reads "Pontex.wdo" in the shop's folder (native path).
Resultat lit_boutique(const std::string& dossier_boutique, Boutique& b);

// An article the server may send movements for: the shop exports it, so the
// server learned its reference, and the shop's lookup finds it by that
// reference.
struct ArticleConnu {
  std::int32_t numero = 0;
  std::string reference;  // as exported: no surrounding spaces
};

// The articles the server knows, in the order of the article file.
Resultat lit_catalogue(const Boutique& b, std::vector<ArticleConnu>& catalogue);

// References of the movement files waiting in the import folder (left by an
// earlier run, or dropped by someone else). A delivery leaves them out, so
// that its account does not mix with theirs.
std::set<std::string> references_en_attente(const Boutique& b);

// One record of a delivery.
struct LigneEnvoyee {
  std::string reference;
  int quantite = 0;
  // The article the reference names (0: a reference the shop does not
  // know), and what it held when the file was delivered.
  std::int32_t numero = 0;
  std::string code;
  std::string designation;  // Windows-1252, trailing spaces removed
  float stock_avant = 0;
};

struct Envoi {
  std::string nom;  // name in the import folder
  std::vector<LigneEnvoyee> lignes;
  // State of the shop's files at delivery, to tell what came afterwards.
  std::int32_t mouvements_avant = 0;
  std::string fichier_erreurs;  // the day's error file at delivery
  std::uint64_t taille_erreurs_avant = 0;
};

// Draws `connues` distinct known references (one in three is a sale, a
// negative quantity; the others are deliveries), two of them among the
// newest articles when the catalogue has enough, and one reference the shop
// does not know, placed at random among them.
Envoi prepare_envoi(const Boutique& b, const std::vector<ArticleConnu>& catalogue,
                    std::mt19937& tirage, int connues = 12);

// The stock movement text of a delivery: reference, TAB, quantity, LF.
std::string texte_envoi(const Envoi& e);

// Notes the stocks, the movement count and the error file's size, then puts
// the file into the import folder: written under a name Pontex does not
// take (".tmp") and renamed once complete. `e.nom` is set from `maintenant`.
Resultat depose_envoi(const Boutique& b, Envoi& e, const DateHeure& maintenant);

// True once the delivered file has left the import folder.
bool envoi_pris(const Boutique& b, const Envoi& e);

// Export files waiting in the export folder, by name (oldest first).
std::vector<std::string> exports_en_attente(const Boutique& b);

// Moves an export file into `recus` (native folder, created when missing)
// and gives its content.
Resultat collecte_export(const Boutique& b, const std::string& nom, const std::string& recus,
                         std::string& contenu);

// One movement found in the movement file after a delivery.
struct MouvementVu {
  std::int32_t numero = 0;  // movement m = record m + 1
  std::string code;
  float quantite = 0;
  std::int32_t article = 0;  // 0: no article of the delivery has this code
  std::string reference;
  std::string designation;
  std::optional<float> stock_avant;  // known for the articles of the delivery
  float stock_apres = 0;             // what the article holds now
};

struct Bilan {
  std::vector<MouvementVu> mouvements;
  std::vector<std::string> erreurs;  // new lines of the error file(s), Windows-1252
  std::string export_nom;
  std::size_t export_lignes = 0;
  std::size_t articles_exportables = 0;  // what the export should list
  // What does not add up, in plain English; empty when all is well.
  std::vector<std::string> anomalies;
};

// Reads what the shop's files hold after the exchange that took `e` and
// produced the export `export_contenu`, and checks it against `e`.
Bilan fait_bilan(const Boutique& b, const Envoi& e, const std::string& export_nom,
                 std::string_view export_contenu, const DateHeure& maintenant);

// Windows-1252 text for the terminal (UTF-8).
std::string en_utf8(std::string_view texte_1252);

}  // namespace pontex::serveur
