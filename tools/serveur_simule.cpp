#include "tools/serveur_simule.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>

#include "pontex/data/caisse.h"
#include "pontex/data/configuration.h"
#include "pontex/data/enregistrements.h"
#include "pontex/exchange/articles_echange.h"
#include "pontex/exchange/texte_mouvements.h"
#include "pontex/exchange/textes_journal.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/nombres.h"
#include "tools/fabrique_caisse.h"

namespace pontex::serveur {

namespace fs = std::filesystem;

namespace {

std::string import_de(const Boutique& b) { return b.transit + "import\\"; }
std::string export_de(const Boutique& b) { return b.transit + "export\\"; }

std::string sans_espaces_fin(std::string s) {
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

std::string sans_espaces_autour(std::string_view s) {
  const std::size_t debut = s.find_first_not_of(' ');
  if (debut == std::string_view::npos) return {};
  return sans_espaces_fin(std::string(s.substr(debut)));
}

std::string entier(long long v) {
  char tampon[24];
  const auto r = std::to_chars(tampon, tampon + sizeof tampon, v);
  return std::string(tampon, r.ptr);
}

std::string reference_inconnue(const Boutique& b, std::mt19937& tirage) {
  std::string chiffres;
  for (int i = 0; i < 6; ++i) chiffres += static_cast<char>('0' + tirage() % 10);
  // An article the server sells but the shop has not created yet, written
  // the way the shop's own references are.
  return b.par_reference_alternative ? "NOUV-" + chiffres : "2000000" + chiffres;
}

// Lines of a text whose lines end with CR LF (a last line without one
// counts too).
std::vector<std::string> lignes_crlf(std::string_view texte) {
  std::vector<std::string> lignes;
  while (!texte.empty()) {
    const std::size_t fin = texte.find("\r\n");
    lignes.emplace_back(texte.substr(0, fin));
    if (fin == std::string_view::npos) break;
    texte.remove_prefix(fin + 2);
  }
  return lignes;
}

std::uint64_t taille_texte(const std::string& chemin) {
  std::string contenu;
  if (!existe_fichier(chemin) || !lit_texte(chemin, contenu)) return 0;
  return contenu.size();
}

// A stock as the export writes it, whatever the workstation's decimal
// separator: "12,50" or "12.50".
std::optional<double> lit_stock_export(std::string texte) {
  std::replace(texte.begin(), texte.end(), ',', '.');
  return lit_nombre_sur(texte);
}

std::string stock_texte(double v) { return format_deux_decimales(v, '.'); }

}  // namespace

Resultat lit_boutique(const std::string& dossier_boutique, Boutique& b) {
  // The shop's folder is a native path; "Pontex.wdo" itself holds
  // Windows-1252 text, handed to the loader as it is.
  const fs::path chemin = fs::path(dossier_boutique) / "Pontex.wdo";
  std::ifstream f(chemin, std::ios::binary);
  if (!f) return Resultat::echec("cannot read " + chemin.string());
  const std::string texte((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  Configuration c;
  applique_texte_configuration(texte, c);
  if (c.transit.size() <= 1 || c.ficbase.size() <= 1)
    return Resultat::echec(chemin.string() + " names no transit folder or no cash-register folder");
  b.transit = c.transit;
  b.caisse = c.ficbase;
  b.par_reference_alternative = c.refarti != 0;
  b.prefixe_export = c.nom_sto;
  b.delai_minutes = lit_nombre(c.tim_ana);
  return Resultat::succes();
}

Resultat lit_catalogue(const Boutique& b, std::vector<ArticleConnu>& catalogue) {
  catalogue.clear();
  Caisse caisse(b.caisse);
  if (!existe_fichier(caisse.chemin(nom_fichier_articles)))
    return Resultat::echec("no article file in " + chemin_natif(b.caisse));
  std::int32_t n = 0;
  Resultat r = caisse.ouvre_articles(n);
  if (!r) return r;
  EnregistrementArticle a;
  std::string reference;
  std::vector<ArticleConnu> exportes;
  for (std::int32_t k = 1; k <= n; ++k) {
    if (!caisse.lit_article(k, a)) continue;
    if (article_echange(a, b.par_reference_alternative, reference) && !reference.empty())
      exportes.push_back({k, reference});
  }
  caisse.ferme_articles();
  // A reference that the lookup takes to another article (two articles with
  // the same reference) would make the account wrong: left out.
  for (ArticleConnu& c : exportes) {
    if (caisse.cherche_article(c.reference).article == c.numero) catalogue.push_back(std::move(c));
  }
  return Resultat::succes();
}

std::set<std::string> references_en_attente(const Boutique& b) {
  std::set<std::string> references;
  std::vector<std::string> noms;
  // An unreadable folder holds nothing waiting, as far as the server knows.
  (void)liste_fichiers(b.transit + "import", "*.txt", noms);
  for (const std::string& nom : noms) {
    std::string texte;
    if (!lit_texte(import_de(b) + nom, texte)) continue;
    for (const RecordMouvement& r : decoupe_records(texte))
      references.insert(sans_espaces_autour(r.reference));
  }
  return references;
}

Envoi prepare_envoi(const Boutique& b, const std::vector<ArticleConnu>& catalogue,
                    std::mt19937& tirage, int connues) {
  Envoi e;
  const std::size_t voulues =
      std::min(catalogue.size(), static_cast<std::size_t>(std::max(connues, 0)));
  std::vector<std::size_t> choisis;
  auto prend = [&](std::size_t i) {
    if (std::find(choisis.begin(), choisis.end(), i) == choisis.end()) choisis.push_back(i);
  };
  // Two of the newest articles: the shop's lookup finds them in the part of
  // its index it has not sorted yet.
  const std::size_t recents = std::min<std::size_t>(10, catalogue.size() / 10);
  for (int i = 0; i < 2 && recents > 0 && choisis.size() < voulues; ++i)
    prend(catalogue.size() - 1 - tirage() % recents);
  while (choisis.size() < voulues) prend(tirage() % catalogue.size());
  std::shuffle(choisis.begin(), choisis.end(), tirage);

  for (std::size_t j = 0; j < choisis.size(); ++j) {
    LigneEnvoyee l;
    l.reference = catalogue[choisis[j]].reference;
    l.numero = catalogue[choisis[j]].numero;
    // Deliveries and sales: the first line of each kind is forced so that
    // every file shows both.
    const bool vente = j == 1 || (j > 1 && tirage() % 3 == 0);
    l.quantite = vente ? -static_cast<int>(1 + tirage() % 6) : static_cast<int>(1 + tirage() % 24);
    e.lignes.push_back(std::move(l));
  }

  LigneEnvoyee inconnue;
  const Caisse caisse(b.caisse);
  for (int essai = 0; essai < 100; ++essai) {
    inconnue.reference = reference_inconnue(b, tirage);
    if (caisse.cherche_article(inconnue.reference).article < 1) break;
  }
  inconnue.quantite = static_cast<int>(1 + tirage() % 10);
  const auto position = static_cast<std::ptrdiff_t>(tirage() % (e.lignes.size() + 1));
  e.lignes.insert(e.lignes.begin() + position, std::move(inconnue));
  return e;
}

std::string texte_envoi(const Envoi& e) {
  std::string texte;
  for (const LigneEnvoyee& l : e.lignes) texte += l.reference + "\t" + entier(l.quantite) + "\n";
  return texte;
}

Resultat depose_envoi(const Boutique& b, Envoi& e, const DateHeure& maintenant) {
  const std::string import = import_de(b);
  if (!existe_dossier(import)) return Resultat::echec("no import folder " + chemin_natif(import));

  // What the shop holds before Pontex takes the file.
  for (LigneEnvoyee& l : e.lignes) {
    if (l.numero < 1) continue;
    EnregistrementArticle a;
    Resultat r = fabrique::lit_article_dossier(b.caisse, l.numero, a);
    if (!r) return r;
    l.code = sans_espaces_autour(a.code());
    l.designation = sans_espaces_fin(a.designation());
    l.stock_avant = a.stock();
  }
  EnregistrementMouvement entete;
  Resultat r = fabrique::lit_mouvement_dossier(b.caisse, 0, entete);
  if (!r) return r;
  e.mouvements_avant = entete.poste();
  e.fichier_erreurs = import + "erreurs_" + format_jj_mm_aaaa(maintenant) + ".err";
  e.taille_erreurs_avant = taille_texte(e.fichier_erreurs);

  // One name per second; a second file within the same second gets a
  // number rather than replacing one Pontex has not taken yet.
  const std::string base = "mvt_" + format_aaaammjjhhnnss(maintenant);
  e.nom = base + ".txt";
  for (int n = 2; existe_fichier(import + e.nom); ++n) e.nom = base + "_" + entier(n) + ".txt";

  // Pontex takes every "*.txt" it sees: the file gets its name only once
  // it is complete.
  const std::string provisoire = import + e.nom.substr(0, e.nom.size() - 4) + ".tmp";
  r = ecrit_texte(provisoire, texte_envoi(e));
  if (r) r = renomme_fichier(provisoire, import + e.nom);
  if (!r) (void)supprime_fichier(provisoire);  // r already says what failed
  return r;
}

bool envoi_pris(const Boutique& b, const Envoi& e) { return !existe_fichier(import_de(b) + e.nom); }

std::vector<std::string> exports_en_attente(const Boutique& b) {
  std::vector<std::string> noms;
  (void)liste_fichiers(b.transit + "export", b.prefixe_export + "*.txt",
                       noms);  // no folder: no export collected
  return noms;
}

Resultat collecte_export(const Boutique& b, const std::string& nom, const std::string& recus,
                         std::string& contenu) {
  const std::string source = export_de(b) + nom;
  Resultat r = lit_texte(source, contenu);
  if (!r) return r;
  std::error_code ec;
  fs::create_directories(recus, ec);
  if (ec) return Resultat::echec("cannot create " + recus + ": " + ec.message());
  const fs::path cible = fs::path(recus) / en_utf8(nom);
  fs::rename(chemin_natif(source), cible, ec);
  if (!ec) return Resultat::succes();
  // Another file system: copy, then take it away.
  std::ofstream f(cible, std::ios::binary | std::ios::trunc);
  f.write(contenu.data(), static_cast<std::streamsize>(contenu.size()));
  f.close();
  if (!f) return Resultat::echec("cannot write " + cible.string());
  return supprime_fichier(source);
}

namespace {

void anomalie(Bilan& bilan, std::string texte) { bilan.anomalies.push_back(std::move(texte)); }

// The movements appended since the delivery, each matched with the line of
// the delivery it records; how many movements each line got.
std::vector<int> bilan_mouvements(const Boutique& b, const Envoi& e, Bilan& bilan) {
  EnregistrementMouvement entete;
  std::int32_t m_apres = e.mouvements_avant;
  if (fabrique::lit_mouvement_dossier(b.caisse, 0, entete))
    m_apres = entete.poste();
  else
    anomalie(bilan, "the movement file cannot be read");
  std::vector<int> enregistres(e.lignes.size(), 0);
  for (std::int32_t m = e.mouvements_avant + 1; m <= m_apres; ++m) {
    EnregistrementMouvement mv;
    MouvementVu vu;
    vu.numero = m;
    if (!fabrique::lit_mouvement_dossier(b.caisse, m, mv)) {
      anomalie(bilan, "movement " + entier(m) + " is counted in the header but cannot be read");
      continue;
    }
    vu.code = sans_espaces_autour(mv.code());
    vu.quantite = mv.quantite();
    // The first line of the delivery with this code not yet seen; a
    // second movement for the same line is a movement applied twice.
    std::optional<std::size_t> ligne;
    for (std::size_t i = 0; i < e.lignes.size(); ++i) {
      if (e.lignes[i].numero < 1 || e.lignes[i].code != vu.code) continue;
      if (!ligne || (enregistres[*ligne] > 0 && enregistres[i] == 0)) ligne = i;
    }
    EnregistrementArticle a;
    if (ligne) {
      const LigneEnvoyee& l = e.lignes[*ligne];
      ++enregistres[*ligne];
      vu.article = l.numero;
      vu.reference = l.reference;
      vu.designation = l.designation;
      if (enregistres[*ligne] == 1) vu.stock_avant = l.stock_avant;
      if (fabrique::lit_article_dossier(b.caisse, l.numero, a)) vu.stock_apres = a.stock();
      if (vu.quantite != static_cast<float>(l.quantite))
        anomalie(bilan, l.reference + ": movement of " + stock_texte(vu.quantite) + " recorded, " +
                            entier(l.quantite) + " sent");
      if (sans_espaces_autour(mv.origine()) != textes::origine_serveur)
        anomalie(bilan, l.reference + ": movement " + entier(m) +
                            " does not say it comes from the server");
    }
    if (!ligne) {
      // A movement of another file (one left waiting by an earlier run, or
      // the shop's own test sales): told with what the article holds now.
      const Caisse caisse(b.caisse);
      const std::int32_t k = caisse.cherche_article(vu.code).article;
      if (k >= 1 && fabrique::lit_article_dossier(b.caisse, k, a)) {
        vu.designation = sans_espaces_fin(a.designation());
        vu.stock_apres = a.stock();
      }
    }
    bilan.mouvements.push_back(std::move(vu));
  }

  return enregistres;
}

// Each known line: recorded once, and the article's stock moved by its
// quantity.
void bilan_stocks(const Boutique& b, const Envoi& e, const std::vector<int>& enregistres,
                  Bilan& bilan) {
  for (std::size_t i = 0; i < e.lignes.size(); ++i) {
    const LigneEnvoyee& l = e.lignes[i];
    if (l.numero < 1) continue;
    if (enregistres[i] == 0) anomalie(bilan, l.reference + ": no movement recorded");
    if (enregistres[i] > 1)
      anomalie(bilan,
               l.reference + ": " + entier(enregistres[i]) + " movements recorded for one record");
    EnregistrementArticle a;
    if (!fabrique::lit_article_dossier(b.caisse, l.numero, a)) {
      anomalie(bilan, l.reference + ": article " + entier(l.numero) + " cannot be read");
      continue;
    }
    // The stock is a single-precision number: the sum is rounded to it.
    const float attendu = static_cast<float>(static_cast<double>(l.stock_avant) + l.quantite);
    if (a.stock() != attendu)
      anomalie(bilan, l.reference + ": stock " + stock_texte(a.stock()) + ", expected " +
                          stock_texte(attendu));
  }
}

// References the shop did not know: the day's error file(s) hold the
// unknown lines, and only them.
void bilan_erreurs(const Boutique& b, const Envoi& e, const DateHeure& maintenant, Bilan& bilan) {
  std::string erreurs;
  if (existe_fichier(e.fichier_erreurs) && lit_texte(e.fichier_erreurs, erreurs))
    erreurs.erase(0, std::min<std::uint64_t>(e.taille_erreurs_avant, erreurs.size()));
  const std::string du_jour = import_de(b) + "erreurs_" + format_jj_mm_aaaa(maintenant) + ".err";
  std::string suite;
  if (du_jour != e.fichier_erreurs && existe_fichier(du_jour) && lit_texte(du_jour, suite))
    erreurs += suite;  // the exchange ran across midnight
  bilan.erreurs = lignes_crlf(erreurs);
  for (const LigneEnvoyee& l : e.lignes) {
    const std::string debut = std::string(textes::erreur_reference) + l.reference + " ";
    const bool signalee = std::any_of(bilan.erreurs.begin(), bilan.erreurs.end(),
                                      [&](const std::string& x) { return x.starts_with(debut); });
    if (l.numero < 1 && !signalee)
      anomalie(bilan, l.reference + ": unknown, but not in the error file");
    if (l.numero >= 1 && signalee) anomalie(bilan, l.reference + ": known, yet listed as unknown");
  }
}

// The export: one "reference TAB stock TAB" line per exported article, each
// stock as the register holds it.
void bilan_export(const Boutique& b, const Envoi& e, const std::string& export_nom,
                  std::string_view export_contenu, Bilan& bilan) {
  std::map<std::string, std::string, std::less<>> stocks;
  bool forme_ok = true;
  for (const std::string& ligne : lignes_crlf(export_contenu)) {
    const std::size_t tab = ligne.find('\t');
    if (tab == std::string::npos || ligne.empty() || ligne.back() != '\t') {
      forme_ok = false;
      continue;
    }
    ++bilan.export_lignes;
    stocks[ligne.substr(0, tab)] = ligne.substr(tab + 1, ligne.size() - tab - 2);
  }
  if (!export_contenu.empty() && !export_contenu.ends_with("\r\n")) forme_ok = false;
  if (!forme_ok)
    anomalie(bilan, export_nom + ": lines not of the form reference TAB stock TAB CR LF");
  for (const LigneEnvoyee& l : e.lignes) {
    if (l.numero < 1) continue;
    const auto s = stocks.find(l.reference);
    EnregistrementArticle a;
    if (s == stocks.end()) {
      anomalie(bilan, l.reference + ": missing from " + export_nom);
    } else if (fabrique::lit_article_dossier(b.caisse, l.numero, a)) {
      const std::optional<double> v = lit_stock_export(s->second);
      if (!v || std::fabs(*v - a.stock()) > 0.0051)
        anomalie(bilan, l.reference + ": the export says " + s->second + ", the register holds " +
                            stock_texte(a.stock()));
    }
  }

  Caisse caisse(b.caisse);
  std::int32_t n = 0;
  if (caisse.ouvre_articles(n)) {
    EnregistrementArticle a;
    std::string reference;
    for (std::int32_t k = 1; k <= n; ++k) {
      if (caisse.lit_article(k, a) && article_echange(a, b.par_reference_alternative, reference))
        ++bilan.articles_exportables;
    }
    caisse.ferme_articles();
  }
  if (bilan.export_lignes != bilan.articles_exportables)
    anomalie(bilan, export_nom + ": " + entier(static_cast<long long>(bilan.export_lignes)) +
                        " lines for " + entier(static_cast<long long>(bilan.articles_exportables)) +
                        " articles taking part in the exchange");
}

}  // namespace

Bilan fait_bilan(const Boutique& b, const Envoi& e, const std::string& export_nom,
                 std::string_view export_contenu, const DateHeure& maintenant) {
  Bilan bilan;
  bilan.export_nom = export_nom;
  const std::vector<int> enregistres = bilan_mouvements(b, e, bilan);
  bilan_stocks(b, e, enregistres, bilan);
  bilan_erreurs(b, e, maintenant, bilan);
  bilan_export(b, e, export_nom, export_contenu, bilan);
  return bilan;
}

std::string en_utf8(std::string_view texte) {
  const iconv_t cd = iconv_open("UTF-8", "WINDOWS-1252");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(texte);
  std::string sortie;
  char tampon[256];
  char* entree = const_cast<char*>(texte.data());
  std::size_t reste = texte.size();
  while (reste > 0) {
    char* p = tampon;
    std::size_t place = sizeof tampon;
    const std::size_t r = iconv(cd, &entree, &reste, &p, &place);
    sortie.append(tampon, static_cast<std::size_t>(p - tampon));
    if (r == static_cast<std::size_t>(-1) && errno == EILSEQ) {
      // The five bytes Windows-1252 leaves undefined.
      sortie += '?';
      ++entree;
      --reste;
    } else if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      break;
    }
  }
  iconv_close(cd);
  return sortie;
}

}  // namespace pontex::serveur
