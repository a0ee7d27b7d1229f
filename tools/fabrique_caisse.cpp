#include "tools/fabrique_caisse.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>

#include "pontex/data/caisse.h"
#include "pontex/data/cle_index.h"
#include "pontex/shared/fichier_records.h"
#include "pontex/shared/fichiers.h"

namespace pontex::fabrique {

namespace {

// Designations as a shop's cash register holds them, in upper case, written
// here in UTF-8 and stored in Windows-1252.
struct Produit {
  const char* designation;
  const char* famille;  // prefix of the alternative reference
};

constexpr Produit produits[] = {
    {"BAGUETTE TRADITION", "BOU"},
    {"PAIN DE CAMPAGNE 400G", "BOU"},
    {"PAIN COMPLET AUX CÉRÉALES", "BOU"},
    {"CROISSANT PUR BEURRE", "VIE"},
    {"PAIN AU CHOCOLAT", "VIE"},
    {"BRIOCHE TRESSÉE 500G", "VIE"},
    {"CAFE MOULU 250G", "EPI"},
    {"CAFÉ EN GRAINS ARABICA 1KG", "EPI"},
    {"THÉ VERT BIO 20 SACHETS", "EPI"},
    {"CHOCOLAT NOIR 70% 100G", "EPI"},
    {"CONFITURE FRAISE 370G", "EPI"},
    {"MIEL DE FLEURS 500G", "EPI"},
    {"FARINE DE BLÉ T55 1KG", "EPI"},
    {"SUCRE EN MORCEAUX 1KG", "EPI"},
    {"HUILE D'OLIVE VIERGE EXTRA 75CL", "EPI"},
    {"MOUTARDE DE DIJON 210G", "EPI"},
    {"PÂTES COQUILLETTES 500G", "EPI"},
    {"RIZ DE CAMARGUE 1KG", "EPI"},
    {"PÂTÉ DE CAMPAGNE", "CHA"},
    {"JAMBON BLANC 4 TRANCHES", "CHA"},
    {"SAUCISSON SEC", "CHA"},
    {"RILLETTES DU MANS 220G", "CHA"},
    {"BŒUF HACHÉ 5% 350G", "BOC"},
    {"CÔTE DE PORC X2", "BOC"},
    {"COMTÉ AOP 18 MOIS 250G", "FRO"},
    {"CAMEMBERT DE NORMANDIE", "FRO"},
    {"ROQUEFORT AOP 100G", "FRO"},
    {"BEURRE DOUX 250G", "CRE"},
    {"CRÈME FRAÎCHE ÉPAISSE 20CL", "CRE"},
    {"LAIT DEMI-ÉCRÉMÉ 1L", "CRE"},
    {"ŒUFS PLEIN AIR X6", "CRE"},
    {"YAOURT NATURE X4", "CRE"},
    {"POMMES GOLDEN 1KG", "PRI"},
    {"CLÉMENTINES DE CORSE 1KG", "PRI"},
    {"POIREAUX BOTTE", "PRI"},
    {"ENDIVES 500G", "PRI"},
    {"EAU MINÉRALE 1,5L", "BOI"},
    {"JUS D'ORANGE PRESSÉE 1L", "BOI"},
    {"CIDRE BRUT 75CL", "BOI"},
    {"VIN ROUGE CÔTES DU RHÔNE 75CL", "BOI"},
    {"BIÈRE BLONDE X6 25CL", "BOI"},
    {"GÂTEAU BRETON 350G", "PAT"},
    {"ÉCLAIR AU CAFÉ", "PAT"},
    {"TARTE AUX POMMES 6 PARTS", "PAT"},
    {"LESSIVE LIQUIDE 2L", "DRO"},
    {"LIQUIDE VAISSELLE 500ML", "DRO"},
    {"PAPIER TOILETTE X12", "DRO"},
    {"SAVON DE MARSEILLE 300G", "DRO"},
};

// The Windows-1252 bytes of a UTF-8 text made of ASCII, the Latin-1 letters
// and Œ/œ: all the designations above need.
std::string en_1252(std::string_view utf8) {
  std::string r;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<std::uint8_t>(utf8[i]);
    if (c < 0x80 || i + 1 >= utf8.size()) {
      r += static_cast<char>(c);
      continue;
    }
    const auto d = static_cast<std::uint8_t>(utf8[++i]);
    const unsigned point = ((c & 0x1Fu) << 6) | (d & 0x3Fu);
    if (point == 0x152)
      r += '\x8C';
    else if (point == 0x153)
      r += '\x9C';
    else
      r += static_cast<char>(point);
  }
  return r;
}

// Draws from the fully specified Mersenne Twister by plain arithmetic, so a
// seed gives the same register with every standard library.
class Tirage {
 public:
  explicit Tirage(unsigned graine) : g_(graine) {}
  std::uint32_t entier(std::uint32_t n) {
    return n == 0 ? 0 : static_cast<std::uint32_t>(g_() % n);
  }
  bool chance(double part) { return static_cast<double>(g_()) / 4294967296.0 < part; }

 private:
  std::mt19937 g_;
};

// Bytes of the fields Pontex leaves alone: never 0 nor a space, different
// from one record to the next, so a field overwritten by mistake shows.
std::uint8_t octet_libre(std::size_t offset, std::int64_t numero) {
  return static_cast<std::uint8_t>(0x80 |
                                   ((offset * 37 + static_cast<std::size_t>(numero)) & 0x7F));
}
char lettre_libre(std::size_t offset, std::int64_t numero) {
  return static_cast<char>('A' + (offset + static_cast<std::size_t>(numero)) % 26);
}

template <std::size_t N>
void remplit_libre(std::array<std::uint8_t, N>& o, std::int64_t numero) {
  for (std::size_t i = 0; i < N; ++i) o[i] = octet_libre(i, numero);
}

std::string sans_espaces_fin(std::string s) {
  const std::size_t fin = s.find_last_not_of(' ');
  s.resize(fin == std::string::npos ? 0 : fin + 1);
  return s;
}

std::string sans_espaces(std::string_view s) {
  const std::size_t debut = s.find_first_not_of(' ');
  if (debut == std::string_view::npos) return {};
  return sans_espaces_fin(std::string(s.substr(debut)));
}

// A 13-digit article code with its check digit: "3", a maker number, the
// article number on six digits. Unique per article; makers are drawn so
// that codes do not follow the article order.
std::string code_article(std::int32_t k, std::uint32_t fabricant) {
  std::string c = "3";
  const std::string f = std::to_string(10000 + fabricant % 90000);
  std::string n = std::to_string(k % 1000000);
  c += f + std::string(6 - n.size(), '0') + n;
  int somme = 0;
  for (std::size_t i = 0; i < 12; ++i) somme += (c[i] - '0') * (i % 2 ? 3 : 1);
  c += static_cast<char>('0' + (10 - somme % 10) % 10);
  return c;
}

std::string reference_de(const char* famille, std::int32_t k) {
  std::string n = std::to_string(k);
  if (n.size() < 6) n.insert(0, 6 - n.size(), '0');
  return std::string(famille) + "-" + n;
}

// Replaces a record file: whatever an earlier register left there goes.
Resultat nouveau_fichier(const std::string& chemin, std::size_t longueur, FichierRecords& f) {
  if (existe_fichier(chemin)) {
    Resultat r = supprime_fichier(chemin);
    if (!r) return r;
  }
  return f.ouvre(chemin, longueur, FichierRecords::Creation::si_absent);
}

// Writes consecutive records in a few large calls.
Resultat ecrit_suite(FichierRecords& f, std::int64_t premier, const std::uint8_t* octets,
                     std::size_t nombre, std::size_t longueur) {
  constexpr std::size_t par_appel = 4096;
  for (std::size_t fait = 0; fait < nombre; fait += par_appel) {
    const std::size_t n = std::min(par_appel, nombre - fait);
    Resultat r = f.ecrit(premier + static_cast<std::int64_t>(fait), octets + fait * longueur, n);
    if (!r) return r;
  }
  return Resultat::succes();
}

template <typename Enregistrement>
Resultat lit_dossier(const std::string& dossier, std::string_view nom, std::int32_t numero,
                     Enregistrement& e) {
  const std::string chemin = dossier + std::string(nom);
  if (numero < 0) return Resultat::echec("negative record number");
  if (!existe_fichier(chemin)) return Resultat::echec(chemin + " does not exist");
  FichierRecords f;
  Resultat r = f.ouvre(chemin, Enregistrement::longueur);
  if (!r) return r;
  std::size_t lus = 0;
  r = f.lit(static_cast<std::int64_t>(numero) + 1, e.octets.data(), 1, lus);
  if (!r) return r;
  if (lus != 1) return Resultat::echec("record beyond the end of " + chemin);
  return Resultat::succes();
}

}  // namespace

EnregistrementArticle fabrique_article(const DescriptionArticle& d) {
  EnregistrementArticle a;
  // A number from the code spreads the filler bytes from record to record.
  // Computed modulo 2^64 (a long code overflows a signed number), the same
  // bits as before on every compiler.
  std::uint64_t hache = 0;
  for (char c : d.code) hache = hache * 31 + static_cast<std::uint8_t>(c);
  const auto graine = static_cast<std::int64_t>(hache);
  remplit_libre(a.octets, graine & 0x7F);
  // Fields Pontex treats as text but does not use: letters.
  for (std::size_t i = 83; i < 93; ++i)
    a.octets[i] = static_cast<std::uint8_t>(lettre_libre(i, graine));
  for (std::size_t i = 103; i < 105; ++i)
    a.octets[i] = static_cast<std::uint8_t>(lettre_libre(i, graine));
  std::string extension;
  for (std::size_t i = 0; i < 84; ++i) extension += lettre_libre(i, graine);
  std::string ref = d.reference_alternative;
  ref.resize(15, ' ');
  extension += ref;
  extension += d.marque_exclusion;
  extension += d.marque_echange;
  a.met_extension(extension);

  a.met_code(d.code);
  a.met_designation(d.designation);
  for (std::size_t i = 0; i < 8; ++i)
    a.octets[55 + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(d.valeur) >> (8 * i));
  a.met_stock(d.stock);
  a.met_quantite2(d.quantite2);
  a.met_date_mouvement("01-01-2020");
  return a;
}

std::string cle_de(std::string_view reference) { return cle_recherche(reference); }

void trie_entrees(std::vector<EntreeFabriquee>& entrees) {
  auto cle16 = [](const std::string& c) {
    std::string k = c.substr(0, longueur_cle);
    k.resize(longueur_cle, ' ');
    return majuscules_1252(k);
  };
  std::stable_sort(entrees.begin(), entrees.end(),
                   [&](const EntreeFabriquee& a, const EntreeFabriquee& b) {
                     return compare_cles(cle16(a.cle), cle16(b.cle)) < 0;
                   });
}

ContenuCaisse genere_caisse(const ParametresCaisse& p) {
  ContenuCaisse c;
  Tirage t(p.graine);
  const std::int32_t n = std::max(p.nombre_articles, 0);
  c.articles.reserve(static_cast<std::size_t>(n));
  std::vector<EntreeFabriquee> cles;
  for (std::int32_t k = 1; k <= n; ++k) {
    const Produit& pr = produits[t.entier(std::size(produits))];
    DescriptionArticle d;
    d.code = code_article(k, t.entier(90000));
    if (!p.prefixe_codes.empty()) {
      const std::string n = std::to_string(k % 1000000);
      d.code = p.prefixe_codes + std::string(6 - n.size(), '0') + n;
    }
    d.designation = en_1252(pr.designation);
    // Whole units mostly, some halves and quarters (exact in a Single), a
    // few negative stocks as a shop's register really holds.
    const float fraction[] = {0.0f, 0.0f, 0.0f, 0.5f, 0.25f};
    d.stock = static_cast<float>(static_cast<int>(t.entier(124)) - 3) + fraction[t.entier(5)];
    d.quantite2 = static_cast<float>(t.entier(51));
    d.valeur = (50 + static_cast<std::int64_t>(t.entier(4500))) * 100;  // 0.50 to 45.49 EUR
    const bool sans_reference = t.chance(p.part_sans_reference);
    if (!sans_reference) d.reference_alternative = reference_de(pr.famille, k);
    d.marque_exclusion = t.chance(p.part_exclus) ? '1' : '0';
    if (t.chance(p.part_hors_echange)) d.marque_echange = (k % 2) ? '0' : ' ';
    c.articles.push_back(fabrique_article(d));

    if (p.indexe_codes) cles.push_back({cle_de(d.code), k});
    if (p.indexe_references && !sans_reference)
      cles.push_back({cle_de(sans_espaces(d.reference_alternative)), k});
  }

  // The newest articles' keys form the tail, in article order.
  const std::size_t queue =
      std::min(cles.size(), static_cast<std::size_t>(std::max(p.entrees_queue, 0)));
  std::vector<EntreeFabriquee> triees(cles.begin(),
                                      cles.end() - static_cast<std::ptrdiff_t>(queue));
  if (p.entrees_triees >= 0 && static_cast<std::size_t>(p.entrees_triees) < triees.size())
    triees.resize(static_cast<std::size_t>(p.entrees_triees));
  trie_entrees(triees);
  c.entrees_triees = static_cast<std::int32_t>(triees.size());
  c.index = std::move(triees);
  c.index.insert(c.index.end(), cles.end() - static_cast<std::ptrdiff_t>(queue), cles.end());
  return c;
}

Resultat ecrit_articles(const std::string& dossier,
                        const std::vector<EnregistrementArticle>& articles,
                        std::optional<std::int32_t> nombre_entete) {
  FichierRecords f;
  Resultat r = nouveau_fichier(dossier + std::string(nom_fichier_articles),
                               EnregistrementArticle::longueur, f);
  if (!r) return r;
  EnregistrementArticle entete;
  remplit_libre(entete.octets, 0);
  entete.met_nombre_articles(nombre_entete.value_or(static_cast<std::int32_t>(articles.size())));
  r = f.ecrit(1, entete.octets.data());
  if (!r) return r;
  std::vector<std::uint8_t> octets;
  octets.reserve(articles.size() * EnregistrementArticle::longueur);
  for (const auto& a : articles) octets.insert(octets.end(), a.octets.begin(), a.octets.end());
  r = ecrit_suite(f, 2, octets.data(), articles.size(), EnregistrementArticle::longueur);
  if (!r) return r;
  // The companion file always lies beside the article file in a register.
  const std::string compagnon = dossier + std::string(nom_fichier_compagnon);
  if (existe_fichier(compagnon)) return r;
  FichierRecords c;
  r = nouveau_fichier(compagnon, 512, c);
  if (!r) return r;
  std::array<std::uint8_t, 512> premier{};
  remplit_libre(premier, 0);
  return c.ecrit(1, premier.data());
}

Resultat ecrit_index(const std::string& dossier, const std::vector<EntreeFabriquee>& entrees,
                     std::int32_t triees, std::optional<std::int32_t> total,
                     std::string_view cle_entete) {
  FichierRecords f;
  Resultat r = nouveau_fichier(dossier + std::string(nom_fichier_index), EntreeIndex::longueur, f);
  if (!r) return r;
  std::vector<std::uint8_t> octets;
  octets.reserve((entrees.size() + 1) * EntreeIndex::longueur);
  EntreeIndex entete = EntreeIndex::vierge();
  entete.met_cle(cle_entete);
  entete.met_numero(total.value_or(static_cast<std::int32_t>(entrees.size())));
  entete.met_tries(triees);
  octets.insert(octets.end(), entete.octets.begin(), entete.octets.end());
  for (const auto& e : entrees) {
    EntreeIndex x = EntreeIndex::vierge();
    x.met_cle(e.cle);
    x.met_numero(e.numero);
    octets.insert(octets.end(), x.octets.begin(), x.octets.end());
  }
  return ecrit_suite(f, 1, octets.data(), entrees.size() + 1, EntreeIndex::longueur);
}

Resultat ecrit_mouvements_vides(const std::string& dossier, std::int32_t m) {
  FichierRecords f;
  Resultat r = nouveau_fichier(dossier + std::string(nom_fichier_mouvements),
                               EnregistrementMouvement::longueur, f);
  if (!r) return r;
  EnregistrementMouvement entete;
  remplit_libre(entete.octets, 0);
  entete.met_poste(m);
  return f.ecrit(1, entete.octets.data());
}

Resultat fabrique_caisse(const std::string& dossier, const ParametresCaisse& p,
                         ContenuCaisse* contenu) {
  if (!dossier.empty() && !existe_dossier(dossier)) {
    std::string d = dossier;
    while (!d.empty() && (d.back() == '\\' || d.back() == '/')) d.pop_back();
    Resultat r = cree_dossier(d);
    if (!r) return r;
  }
  ContenuCaisse c = genere_caisse(p);
  Resultat r = ecrit_articles(dossier, c.articles);
  if (!r) return r;

  {
    FichierRecords compagnon;
    r = nouveau_fichier(dossier + std::string(nom_fichier_compagnon), 512, compagnon);
    if (!r) return r;
    std::array<std::uint8_t, 512> entete{};
    remplit_libre(entete, 0);
    r = compagnon.ecrit(1, entete.data());
    if (!r) return r;
  }

  r = ecrit_index(dossier, c.index, c.entrees_triees);
  if (!r) return r;
  r = ecrit_mouvements_vides(dossier, p.mouvements_entete);
  if (!r) return r;

  const std::string principal = dossier + std::string(nom_fichier_principal);
  if (p.fichier_principal)
    r = ecrit_texte(principal, "CAISSE D'ESSAI\r\n");
  else if (existe_fichier(principal))
    r = supprime_fichier(principal);
  if (!r) return r;

  if (contenu) *contenu = std::move(c);
  return Resultat::succes();
}

Resultat lit_article_dossier(const std::string& dossier, std::int32_t k, EnregistrementArticle& a) {
  return lit_dossier(dossier, nom_fichier_articles, k, a);
}

Resultat lit_entree_dossier(const std::string& dossier, std::int32_t e, EntreeIndex& entree) {
  return lit_dossier(dossier, nom_fichier_index, e, entree);
}

Resultat lit_mouvement_dossier(const std::string& dossier, std::int32_t m,
                               EnregistrementMouvement& mouvement) {
  return lit_dossier(dossier, nom_fichier_mouvements, m, mouvement);
}

}  // namespace pontex::fabrique
