// The sample register maker's registers must hold together: other tests build on them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>

#include "pontex/data/caisse.h"
#include "pontex/data/cle_index.h"
#include "tests/support/dossier_temporaire.h"
#include "tools/fabrique_caisse.h"

namespace pontex {
namespace {

using fabrique::ContenuCaisse;
using fabrique::ParametresCaisse;
using test::DossierTemporaire;
using test::lit_octets;

std::string sans_espaces_fin(std::string s) {
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

class Fabrique : public ::testing::Test {
 protected:
  DossierTemporaire dossier_;
  std::string base_ = dossier_.valeur_dossier();
  std::filesystem::path chemin(const char* nom) { return dossier_.chemin() / nom; }
};

// Every index key finds its article through Pontex's lookup; sorted part sorted, tail newest.
TEST_F(Fabrique, CaisseCoherente) {
  ParametresCaisse p;
  p.nombre_articles = 600;
  p.entrees_queue = 40;
  ContenuCaisse c;
  ASSERT_TRUE(fabrique::fabrique_caisse(base_, p, &c));
  EXPECT_EQ(lit_octets(chemin("w_caur44.wdo")).size(), 512u);
  Caisse caisse(base_);
  EXPECT_TRUE(caisse.fichier_principal_present());
  std::int32_t n = 0;
  ASSERT_TRUE(caisse.ouvre_articles(n));
  EXPECT_EQ(n, 600);
  EntreeIndex entete;
  ASSERT_TRUE(fabrique::lit_entree_dossier(base_, 0, entete));
  EXPECT_EQ(entete.numero(), static_cast<std::int32_t>(c.index.size()));
  EXPECT_EQ(entete.tries(), c.entrees_triees);
  EXPECT_EQ(c.entrees_triees + 40, static_cast<std::int32_t>(c.index.size()));
  std::set<std::string> cles;
  for (std::size_t e = 0; e < c.index.size(); ++e) {
    const auto& entree = c.index[e];
    ASSERT_TRUE(cles.insert(entree.cle).second) << "key twice: " << entree.cle;
    const bool triee = static_cast<std::int32_t>(e) < c.entrees_triees;
    // Sorted, and the tail holds new articles only.
    EXPECT_TRUE(triee ? e == 0 || compare_cles(c.index[e - 1].cle, entree.cle) < 0
                      : entree.numero > 570)
        << "entry " << e + 1;
    const std::string reference = sans_espaces_fin(entree.cle.substr(1));
    ASSERT_EQ(caisse.cherche_article(reference).article, entree.numero) << reference;
    EnregistrementArticle a;
    ASSERT_TRUE(caisse.lit_article(entree.numero, a));
    EXPECT_EQ(a.octets, c.articles[entree.numero - 1].octets);
    EXPECT_TRUE(sans_espaces_fin(a.code()) == reference ||
                sans_espaces_fin(a.reference_alternative()) == reference)
        << reference;
  }
  EXPECT_EQ(caisse.cherche_article("0000000000000").article, -1);
  EnregistrementMouvement m;
  ASSERT_TRUE(fabrique::lit_mouvement_dossier(base_, 0, m));
  EXPECT_EQ(m.poste(), 0);
  EXPECT_FALSE(fabrique::lit_mouvement_dossier(base_, 1, m));
}

// Articles of every kind, accented designations, and no blank field to hide a stray write.
TEST_F(Fabrique, ArticlesVaries) {
  ParametresCaisse p;
  p.nombre_articles = 2000;
  const ContenuCaisse c = fabrique::genere_caisse(p);
  int exclus = 0, hors_echange = 0, sans_reference = 0, accents = 0, negatifs = 0;
  for (const auto& a : c.articles) {
    exclus += a.marque_exclusion() == '1';
    hors_echange += a.marque_echange() != '1';
    sans_reference += a.reference_alternative() == std::string(15, ' ');
    negatifs += a.stock() < 0;
    accents += std::ranges::any_of(a.designation(),
                                   [](char ch) { return static_cast<unsigned char>(ch) >= 0xC0; });
    for (auto [debut, fin] :
         {std::pair{63, 71}, {75, 79}, {83, 93}, {103, 105}, {109, 113}, {113, 197}, {214, 256}})
      for (int i = debut; i < fin; ++i)
        ASSERT_TRUE(a.octets[i] != 0 && a.octets[i] != ' ') << "byte " << i;
  }
  for (int n : {exclus, hors_echange, sans_reference, accents}) EXPECT_GT(n, 50);
  EXPECT_GT(negatifs, 0);
  // Codes and alternative references, the latter only when not blank.
  EXPECT_EQ(c.index.size(), 2u * 2000 - sans_reference);
}

}  // namespace
}  // namespace pontex
