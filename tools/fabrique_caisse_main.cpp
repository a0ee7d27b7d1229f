// fabrique_caisse: writes a sample cash-register folder (articles, companion
// file, index, empty movement file, main file) for trying Pontex out.

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

#include "tools/fabrique_caisse.h"

namespace {

constexpr const char* aide =
    "Usage : fabrique_caisse DOSSIER [options]\n"
    "Écrit dans DOSSIER (créé s'il manque) les fichiers d'une caisse d'essai :\n"
    "w_caiar4.wdo, w_caur44.wdo, W_caiind.WDO, W_CAIREC.WDO et w_cai020.wdo.\n"
    "\n"
    "  --articles N          nombre d'articles (100)\n"
    "  --queue N             entrées de l'index laissées non triées à la fin (0)\n"
    "  --triees N            au plus N entrées triées, -1 : toutes les autres (-1)\n"
    "  --graine N            graine du tirage : même graine, même caisse (1)\n"
    "  --exclus P            part des articles exclus de l'échange, 0 à 1 (0.05)\n"
    "  --hors-echange P      part des articles hors échange, 0 à 1 (0.10)\n"
    "  --sans-reference P    part des articles sans référence alternative (0.05)\n"
    "  --codes-seuls         n'indexer que les codes articles\n"
    "  --references-seules   n'indexer que les références alternatives\n"
    "  --prefixe-codes P     codes articles P suivi du numéro sur six chiffres\n"
    "  --mouvements N        nombre de mouvements dans l'en-tête de W_CAIREC.WDO (0)\n"
    "  --sans-principal      ne pas écrire w_cai020.wdo\n"
    "  --help                cette aide\n";

template <typename T>
bool lit_valeur(std::string_view texte, T& v) {
  const char* fin = texte.data() + texte.size();
  auto [p, ec] = std::from_chars(texte.data(), fin, v);
  return ec == std::errc() && p == fin;
}

int erreur(const std::string& message) {
  std::fprintf(stderr, "fabrique_caisse : %s\n(fabrique_caisse --help pour l'aide)\n",
               message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  pontex::fabrique::ParametresCaisse p;
  std::string dossier;

  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(aide, stdout);
      return 0;
    }
    if (a == "--codes-seuls") {
      p.indexe_references = false;
      continue;
    }
    if (a == "--references-seules") {
      p.indexe_codes = false;
      continue;
    }
    if (a == "--sans-principal") {
      p.fichier_principal = false;
      continue;
    }
    if (a.starts_with("--")) {
      if (i + 1 >= argc) return erreur("valeur manquante après " + std::string(a));
      const std::string_view v = argv[++i];
      bool ok = false;
      if (a == "--articles")
        ok = lit_valeur(v, p.nombre_articles) && p.nombre_articles >= 0 &&
             p.nombre_articles <= 999999;
      else if (a == "--queue")
        ok = lit_valeur(v, p.entrees_queue) && p.entrees_queue >= 0;
      else if (a == "--triees")
        ok = lit_valeur(v, p.entrees_triees) && p.entrees_triees >= -1;
      else if (a == "--prefixe-codes")
        ok = (p.prefixe_codes = std::string(v), v.size() <= 9);
      else if (a == "--graine")
        ok = lit_valeur(v, p.graine);
      else if (a == "--exclus")
        ok = lit_valeur(v, p.part_exclus) && p.part_exclus >= 0 && p.part_exclus <= 1;
      else if (a == "--hors-echange")
        ok = lit_valeur(v, p.part_hors_echange) && p.part_hors_echange >= 0 &&
             p.part_hors_echange <= 1;
      else if (a == "--sans-reference")
        ok = lit_valeur(v, p.part_sans_reference) && p.part_sans_reference >= 0 &&
             p.part_sans_reference <= 1;
      else if (a == "--mouvements")
        ok = lit_valeur(v, p.mouvements_entete) && p.mouvements_entete >= 0;
      else
        return erreur("option inconnue " + std::string(a));
      if (!ok) return erreur("valeur incorrecte pour " + std::string(a) + " : " + std::string(v));
      continue;
    }
    if (!dossier.empty()) return erreur("un seul dossier");
    dossier = a;
  }
  if (dossier.empty()) return erreur("dossier manquant");
  if (!p.indexe_codes && !p.indexe_references)
    return erreur("--codes-seuls et --references-seules s'excluent");

  // The folder as "#FICBASE#" holds it: ending with a separator.
  const std::string nom = dossier;
  if (dossier.back() != '\\' && dossier.back() != '/') dossier += '\\';

  pontex::fabrique::ContenuCaisse contenu;
  const pontex::Resultat r = pontex::fabrique::fabrique_caisse(dossier, p, &contenu);
  if (!r) return erreur("échec : " + r.raison());
  std::printf("%s : %d articles, %zu entrées d'index dont %d triées.\n", nom.c_str(),
              static_cast<int>(contenu.articles.size()), contenu.index.size(),
              static_cast<int>(contenu.entrees_triees));
  return 0;
}
