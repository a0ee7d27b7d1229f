// The import folder read once per exchange, a file applied once however often it comes.

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "pontex/exchange/articles_echange.h"
#include "pontex/exchange/echange.h"
#include "pontex/exchange/fichiers_appliques.h"
#include "pontex/exchange/groupes.h"
#include "pontex/exchange/reprise.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/fichiers_transit.h"
#include "tests/support/boutique.h"

namespace pontex::test {
namespace {

using Lignes = std::vector<std::string>;
using Appliques = Echange;

std::string nom_numero(std::size_t i) {
  std::string chiffres = std::to_string(i);
  return "f" + std::string(4 - std::min<std::size_t>(4, chiffres.size()), '0') + chiffres + ".txt";
}

std::size_t compte(const Lignes& journal, const std::string& ligne) {
  return static_cast<std::size_t>(std::count(journal.begin(), journal.end(), ligne));
}

const std::string pain = ligne_pain("1.00");
const std::string deja_traite = "Fichier d\351j\340 trait\351 : ";

// More files than one exchange takes: one listing, a bounded share, the rest next time.
TEST_F(Appliques, BeaucoupDeFichiersUneListeUnePartBorneePuisLeReste) {
  const std::size_t n = noms_par_echange + 37;
  for (std::size_t i = 0; i < n; ++i) b.depose(nom_numero(i), "BOU-001\t1\n");
  int listages = 0;
  {
    const EchecInjecte compteur([&](Operation o, std::string_view chemin) {
      if (o == Operation::listage && chemin.find("import") != std::string_view::npos) ++listages;
      return false;
    });
    cycle();
  }
  // Once for the share, and the window's own list before and after it and
  // now and then while it runs: never once per file.
  EXPECT_LE(listages, static_cast<int>(n / 50) + 3);
  EXPECT_EQ(b.fenetre.journal.back(), "Export g\351n\351r\351");
  EXPECT_EQ(b.fenetre.journal[0], "Traitement : f0000.txt");
  EXPECT_EQ(compte(b.fenetre.journal, pain), noms_par_echange);
  const std::string derniere = "Traitement : " + nom_numero(noms_par_echange - 1);
  EXPECT_EQ(compte(b.fenetre.journal, derniere), 1u);
  EXPECT_TRUE(fs::exists(b.import() / nom_numero(noms_par_echange)));
  // The export carries the stock of the share applied.
  EXPECT_EQ(lit_octets(b.exporte() / "stock_20261205210709.txt"),
            "BOU-001\t" + std::to_string(10 + noms_par_echange) + ".00\t\r\nEPI-002\t2.50\t\r\n");
  reimporte();
  EXPECT_EQ(b.fenetre.journal.front(), "Traitement : " + nom_numero(noms_par_echange));
  EXPECT_EQ(compte(b.fenetre.journal, pain), 37u);
  EXPECT_EQ(b.article(1).stock(), static_cast<float>(10 + n));
  EXPECT_EQ(b.mouvement(0).poste(), static_cast<std::int32_t>(n));
  const Lignes restants = Boutique::fichiers(b.import());
  EXPECT_EQ(restants.size(), n);
  EXPECT_TRUE(std::all_of(restants.begin(), restants.end(),
                          [](const std::string& f) { return f.ends_with(".old"); }));
}

// A finished file coming back is not applied again; other bytes make a new delivery.
TEST_F(Appliques, UnFichierRevenuDansLeDossierNEstPasAppliqueDeuxFois) {
  const std::string contenu = "BOU-001\t2\nINCONNU\t1\n";
  b.depose("a.txt", contenu);
  importe();
  const std::string mouvements = lit_octets(b.caisse() / "W_CAIREC.WDO");
  const std::string erreurs_avant = erreurs();
  b.depose("a.txt", contenu);
  EXPECT_EQ(reimporte(), Lignes{deja_traite + "a.txt"});
  EXPECT_EQ(erreurs(), erreurs_avant + "Fichier d\351j\340 trait\351 : a.txt\r\n");
  EXPECT_EQ(b.article(1).stock(), 12.0f);
  EXPECT_EQ(lit_octets(b.caisse() / "W_CAIREC.WDO"), mouvements);
  EXPECT_EQ(Boutique::fichiers(b.import()), (Lignes{"a.old", "erreurs_05-12-2026.err"}));
  EXPECT_EQ(lit_octets(b.import() / "a.old"), contenu);
  EXPECT_FALSE(analyse_presente());
  // Other bytes, or the same bytes under another name: applied.
  b.depose("a.txt", "BOU-001\t3\n");
  b.depose("b.txt", contenu);
  reimporte();
  EXPECT_EQ(compte(b.fenetre.journal, "Traitement : a.txt"), 1u);
  EXPECT_EQ(compte(b.fenetre.journal, "Traitement : b.txt"), 1u);
  EXPECT_EQ(b.article(1).stock(), 17.0f);
}

// Every delivery keeps its copy: an earlier one under the same name goes to import\histo, dated,
// and stays there 31 days; the same bytes again add nothing.
TEST_F(Appliques, ChaqueLivraisonGardeSaCopie) {
  const fs::path histo = b.import() / "histo";
  ecrit_octets(histo / "mvt_x_20261103235959.old", "trop vieux");
  ecrit_octets(histo / "mvt_x_20261104000000_2.old", "31 jours");
  ecrit_octets(histo / "notes_20261103.old", "pas de nous");
  b.depose("mvt_x.txt", "BOU-001\t1\n");
  importe();
  EXPECT_FALSE(fs::exists(histo / "mvt_x_20261103235959.old"));
  EXPECT_EQ(Boutique::fichiers(histo),
            (Lignes{"mvt_x_20261104000000_2.old", "notes_20261103.old"}));
  b.depose("mvt_x.txt", "BOU-001\t2\n");
  importe();
  b.depose("mvt_x.txt", "BOU-001\t4\n");
  importe();
  b.depose("mvt_x.txt", "BOU-001\t4\n");  // sent again: not applied, nothing more kept
  EXPECT_EQ(reimporte(), Lignes{deja_traite + "mvt_x.txt"});
  EXPECT_EQ(b.article(1).stock(), 17.0f);
  EXPECT_EQ(lit_octets(b.import() / "mvt_x.old"), "BOU-001\t4\n");
  EXPECT_EQ(Boutique::fichiers(histo),
            (Lignes{"mvt_x_20261104000000_2.old", "mvt_x_20261205210709.old",
                    "mvt_x_20261205210709_2.old", "notes_20261103.old"}));
  EXPECT_EQ(lit_octets(histo / "mvt_x_20261205210709.old"), "BOU-001\t1\n");
  EXPECT_EQ(lit_octets(histo / "mvt_x_20261205210709_2.old"), "BOU-001\t2\n");
  // Without import\histo, the earlier copy stays in the import folder, said.
  fs::remove_all(histo);
  b.depose("mvt_x.txt", "BOU-001\t8\n");
  EXPECT_EQ(reimporte(),
            (Lignes{"Copie pr\351c\351dente gard\351e dans import : mvt_x_20261205210709.old",
                    "Traitement : mvt_x.txt", ligne_pain("8.00")}));
  EXPECT_EQ(lit_octets(b.import() / "mvt_x_20261205210709.old"), "BOU-001\t4\n");
  EXPECT_EQ(lit_octets(b.import() / "mvt_x.old"), "BOU-001\t8\n");
  EXPECT_EQ(b.article(1).stock(), 25.0f);
}

// A torn last record of the applied-files register neither hides nor misplaces entries.
TEST_F(Appliques, UnRegistreDesAppliquesDechireNePerdRien) {
  b.depose("a.txt", "BOU-001\t1\n");
  importe();
  ecrit_octets("fichiers_appliques.wdo", lit_octets("fichiers_appliques.wdo") + "PXAPPLI1 torn");
  b.depose("a.txt", "BOU-001\t1\n");
  b.depose("b.txt", "BOU-001\t2\n");
  EXPECT_EQ(reimporte(), (Lignes{deja_traite + "a.txt", "Traitement : b.txt", ligne_pain("2.00")}));
  b.depose("a.txt", "BOU-001\t1\n");
  b.depose("b.txt", "BOU-001\t2\n");
  EXPECT_EQ(reimporte(), (Lignes{deja_traite + "a.txt", deja_traite + "b.txt"}));
  EXPECT_EQ(b.article(1).stock(), 13.0f);
}

// A file is remembered for 31 days after it was applied, then forgotten.
TEST_F(Appliques, UnFichierEstRetenuTrenteEtUnJours) {
  b.depose("a.txt", "BOU-001\t1\n");
  importe();
  b.horloge.regle({2027, 1, 5, 9, 0, 0});  // 31 days later
  b.depose("a.txt", "BOU-001\t1\n");
  EXPECT_EQ(reimporte(), Lignes{deja_traite + "a.txt"});
  EXPECT_EQ(lit_octets(b.fichier_erreurs("05-01-2027")),
            "Fichier d\351j\340 trait\351 : a.txt\r\n");
  b.horloge.regle({2027, 1, 6, 9, 0, 0});  // 32 days
  b.depose("a.txt", "BOU-001\t1\n");
  EXPECT_EQ(reimporte(), (Lignes{"Traitement : a.txt", pain}));
  EXPECT_EQ(b.article(1).stock(), 12.0f);
}

// A resumed application counts once; one whose working file was lost is applied again.
TEST_F(Appliques, UneApplicationInterrompueCompteUneFoisLInacheveeJamaisSautee) {
  const std::string contenu = "BOU-001\t1\nBOU-001\t2\nBOU-001\t4\n";
  b.depose("a.txt", contenu);
  // The progress note of the second record cannot be written: the analysis
  // stops there, as it would under a kill.
  const auto importe_arrete_au_second = [this] {
    int ecritures = 0;
    const EchecInjecte arret([&](Operation o, std::string_view chemin) {
      return o == Operation::ecriture && chemin.ends_with("reprise_analyse.wdo") &&
             ++ecritures == 2;
    });
    importe();
  };
  importe_arrete_au_second();
  EXPECT_EQ(b.article(1).stock(), 11.0f);
  EXPECT_TRUE(analyse_presente());
  b.depose("a.txt", contenu);
  reimporte();
  EXPECT_EQ(compte(b.fenetre.journal, deja_traite + "a.txt"), 1u);
  EXPECT_EQ(compte(b.fenetre.journal, "Traitement : a.txt"), 0u);
  EXPECT_EQ(b.article(1).stock(), 17.0f);
  EXPECT_EQ(b.mouvement(0).poste(), 3);
  b.depose("b.txt", "EPI-002\t1\nEPI-002\t1\n");
  importe_arrete_au_second();
  EXPECT_EQ(b.article(2).stock(), 3.5f);
  fs::remove(b.dossier.chemin() / "prov_stk_ana_ron.txt");  // lost: cannot be finished
  b.depose("b.txt", "EPI-002\t1\nEPI-002\t1\n");
  reimporte();
  EXPECT_EQ(compte(b.fenetre.journal, "Traitement : b.txt"), 1u);
  EXPECT_EQ(compte(b.fenetre.journal, deja_traite + "b.txt"), 0u);
}

#ifndef _WIN32
// A pipe or socket named "*.txt" is reported, never opened; the other files go on.
TEST_F(Appliques, UnTubeOuUneSocketEstSignalePasOuvert) {
  b.depose("a.txt", "BOU-001\t1\n");
  ASSERT_EQ(::mkfifo((b.import() / "fifo.txt").c_str(), 0666), 0);
  const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(s, 0);
  sockaddr_un adresse{};
  adresse.sun_family = AF_UNIX;
  const std::string chemin = (b.import() / "sock.txt").string();
  ASSERT_LT(chemin.size(), sizeof adresse.sun_path);
  std::strcpy(adresse.sun_path, chemin.c_str());
  ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&adresse), sizeof adresse), 0);
  b.depose("z.txt", "EPI-002\t1\n");
  importe();
  ::close(s);
  EXPECT_EQ(b.fenetre.journal,
            (Lignes{"Traitement : a.txt", pain, "Fichier non trait\351 : fifo.txt",
                    "Fichier non trait\351 : sock.txt", "Traitement : z.txt", ligne_cafe("1.00")}));
  EXPECT_TRUE(fs::is_fifo(b.import() / "fifo.txt"));
  EXPECT_TRUE(fs::is_socket(b.import() / "sock.txt"));
}

// Entries left for good do not count toward an exchange's share: 500 of them before a file never
// keep it waiting, and each is said once a day, not at every exchange.
TEST_F(Appliques, CinqCentsEntreesRefuseesNeRetiennentPasLaSuite) {
  ecrit_octets("secret.txt", "BOU-001\t5\n");
  Lignes refus;
  for (int i = 0; i < 500; ++i) {
    std::string nom = std::to_string(10000 + i).replace(0, 1, "a") + ".txt";
    if (i == 497) {
      ASSERT_EQ(::mkfifo((b.import() / nom).c_str(), 0666), 0);
    } else if (i == 498) {
      fs::resize_file(b.depose(nom, ""), 64ull * 1024 * 1024 + 1);
      refus.push_back("Fichier trop volumineux : " + nom);
      continue;
    } else if (i == 499) {
      nom = "a0499:.txt";
      b.depose(nom, "BOU-001\t1\n");
    } else {
      fs::create_symlink(fs::absolute("secret.txt"), b.import() / nom);
    }
    refus.push_back("Fichier non trait\351 : " + nom);
  }
  b.depose("b.txt", "BOU-001\t1\n");
  importe();
  Lignes attendu = refus;
  attendu.insert(attendu.end(), {"Traitement : b.txt", pain});
  EXPECT_EQ(b.fenetre.journal, attendu);
  EXPECT_EQ(b.article(1).stock(), 11.0f);
  b.depose("c.txt", "BOU-001\t1\n");
  EXPECT_EQ(reimporte(), (Lignes{"Traitement : c.txt", pain}));
  b.horloge.regle({2026, 12, 6, 0, 0, 1});
  EXPECT_EQ(reimporte(), refus);
  EXPECT_EQ(b.article(1).stock(), 12.0f);
  // Nothing of them removed or copied.
  EXPECT_TRUE(fs::is_symlink(b.import() / "a0000.txt"));
  EXPECT_TRUE(fs::is_fifo(b.import() / "a0497.txt"));
  EXPECT_FALSE(fs::exists(b.import() / "a0000.old"));
}

// The record of applied files replaced by a pipe or a folder: never opened, every failure said,
// the files still applied once.
TEST_F(Appliques, UnRegistreDesAppliquesQuiNEstPasUnFichierEstSignale) {
  const std::string non_ecrits =
      "Fichiers appliqu\351s non \351crits : fichiers_appliques.wdo is not a plain file";
  for (const bool tube : {true, false}) {
    SCOPED_TRACE(tube ? "pipe" : "folder");
    if (tube)
      ASSERT_EQ(::mkfifo("fichiers_appliques.wdo", 0666), 0);
    else
      ASSERT_TRUE(fs::create_directory("fichiers_appliques.wdo"));
    b.depose("a.txt", "BOU-001\t1\n");
    EXPECT_EQ(reimporte(), (Lignes{non_ecrits, "Traitement : a.txt", pain, non_ecrits}));
    fs::remove("fichiers_appliques.wdo");
  }
  EXPECT_EQ(b.article(1).stock(), 12.0f);
  EXPECT_EQ(b.mouvement(0).poste(), 2);
}

// A name Windows-1252 cannot write is applied, kept under its bytes and shown escaped.
TEST_F(Appliques, UnNomSansFormeWindowsEstAppliqueEtMontreEchappe) {
  const std::string brut = "bad\xff\xfename";
  // Still being written: the two-second rule holds for such a name too.
  const fs::path jeune = b.depose("young\xff.txt", "BOU-001\t5\n");
  fs::last_write_time(jeune, fs::file_time_type::clock::now());
  b.depose(brut + ".txt", "BOU-001\t2\n");
  b.depose("\xe6\x97\xa5.txt", "EPI-002\t1\n");  // a Japanese character
  importe();
  EXPECT_EQ(b.fenetre.journal, (Lignes{"Traitement : \\xe6\\x97\\xa5.txt", ligne_cafe("1.00"),
                                       "Traitement : bad\\xff\\xfename.txt", ligne_pain("2.00"),
                                       "Fichier non trait\351 : young\\xff.txt"}));
  EXPECT_EQ(b.article(1).stock(), 12.0f);
  EXPECT_EQ(lit_octets(b.import() / (brut + ".old")), "BOU-001\t2\n");
  EXPECT_TRUE(fs::exists(b.import() / "\xe6\x97\xa5.old"));
  EXPECT_FALSE(fs::exists(b.import() / (brut + ".txt")));
  EXPECT_TRUE(fs::exists(jeune));
  // The escapes name bytes of the name itself, never a separator or a backslash of the name.
  EXPECT_TRUE(nom_simple("bad\\xff\\xfename.txt"));
  EXPECT_FALSE(nom_simple("a\\x2f..\\x2fb.txt"));
  EXPECT_FALSE(nom_simple("a\\x5c.txt"));
  EXPECT_FALSE(nom_simple("a\\xFF.txt"));
}
#endif

#ifdef _WIN32
// A name the ANSI code page cannot hold ("?" or a look-alike would name another file) is left and
// shown escaped as on Linux; its look-alike ("Lodz.txt") is a file of its own, taken once.
TEST_F(Appliques, UnNomHorsDeLaPageDeCodeResteEtSAfficheEchappe) {
  if (::GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << ::GetACP() << ", not 1252";
  const auto depose_large = [&](const std::wstring& nom, const std::string& contenu) {
    const fs::path p = b.import() / fs::path(nom);
    ecrit_octets(p, contenu);
    fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::hours(1));
    return p;
  };
  const fs::path lodz = depose_large(L"\u0141odz.txt", "BOU-001\t5\n");
  const fs::path zaiko = depose_large(L"\u5728\u5eab.txt", "EPI-002\t1\n");  // CJK
  b.depose("Lodz.txt", "BOU-001\t2\n");
  importe();
  EXPECT_EQ(b.fenetre.journal, (Lignes{"Fichier non trait\351 : \\xc5\\x81odz.txt",
                                       "Fichier non trait\351 : \\xe5\\x9c\\xa8\\xe5\\xba\\xab.txt",
                                       "Traitement : Lodz.txt", ligne_pain("2.00")}));
  EXPECT_EQ(b.article(1).stock(), 12.0f);
  EXPECT_EQ(b.article(2).stock(), 2.5f);
  EXPECT_EQ(lit_octets(lodz), "BOU-001\t5\n");
  EXPECT_EQ(lit_octets(zaiko), "EPI-002\t1\n");
  std::set<std::wstring> restent;
  for (const auto& e : fs::directory_iterator(b.import()))
    if (e.is_regular_file()) restent.insert(e.path().filename());
  EXPECT_EQ(restent, (std::set<std::wstring>{L"Lodz.old", L"\u0141odz.txt", L"\u5728\u5eab.txt"}));
}
#endif

}  // namespace
// Our own record files keep their bytes where the files already on the shops' disks have them:
// each field at its offset, little-endian, and a record read back whole.
struct Octet {
  std::size_t offset, largeur;
  std::uint64_t valeur;
};
std::uint64_t le(const std::string& o, std::size_t offset, std::size_t largeur) {
  std::uint64_t v = 0;
  for (std::size_t i = largeur; i-- > 0;) v = (v << 8) | static_cast<std::uint8_t>(o[offset + i]);
  return v;
}
void verifie(const std::string& o, std::size_t base, std::initializer_list<Octet> champs) {
  for (const Octet& c : champs)
    EXPECT_EQ(le(o, base + c.offset, c.largeur), c.valeur) << "offset " << base + c.offset;
}

TEST(FichiersANous, ChaqueChampASonOffset) {
  DossierTemporaire d;
  EXPECT_EQ(empreinte("a"), 0xaf63dc4c8601ec8cULL);  // FNV-1a, 64 bits
  EtatReprise e;
  e.attente = EtatReprise::Attente::article;
  e.taille_fichier = 0x1122334455667788;
  e.empreinte_fichier = 0x0102030405060708;
  e.numero = 3, e.debut = 40, e.suivante = 60, e.article = -2;
  e.stock_avant = 0x3F800000, e.quantite2_avant = 2, e.stock_apres = 3, e.quantite2_apres = 4;
  e.mouvements_avant = 70000;
  e.mouvement.fill(0xA5);
  e.date_erreurs = "05-12-2026", e.taille_erreurs = 99, e.longueur_ligne = 12;
  e.empreinte_ligne = 0xCAFE;
  e.nom = "mvt.txt";
  const auto octets = e.encode();
  const std::string r(octets.begin(), octets.end());
  ASSERT_EQ(r.size(), 512u);
  EXPECT_EQ(r.substr(0, 8), "PXREPRI1");
  verifie(r, 0,
          {{8, 4, 1},
           {12, 8, e.taille_fichier},
           {20, 8, e.empreinte_fichier},
           {28, 8, 3},
           {36, 8, 40},
           {44, 8, 60},
           {52, 4, 0xFFFFFFFE},
           {56, 4, 0x3F800000},
           {60, 4, 2},
           {64, 4, 3},
           {68, 4, 4},
           {72, 4, 70000},
           {76, 8, 0xA5A5A5A5A5A5A5A5},
           {132, 8, 0xA5A5A5A5A5A5A5A5},
           {140 + 10, 8, 99},
           {158, 8, 12},
           {166, 8, 0xCAFE},
           {174, 1, 7},
           {182, 8, 0},
           {504, 8, 0x35a2111b807a56ac}});  // the check sum a record in the shops holds
  EXPECT_EQ(r.substr(140, 10), "05-12-2026");
  EXPECT_EQ(r.substr(175, 7), "mvt.txt");
  const auto relu = EtatReprise::decode(octets.data(), octets.size());
  ASSERT_TRUE(relu);
  EXPECT_EQ(relu->encode(), octets);
  // A name too long for one byte of length: four bytes, the name whole, the record padded.
  e.nom = std::string(1000, 'n');
  const auto longs = e.encode();
  const std::string l(longs.begin(), longs.end());
  ASSERT_EQ(l.size(), 1192u);
  EXPECT_EQ(l.substr(0, 8), "PXREPRI2");
  verifie(l, 0, {{174, 4, 1000}, {1178, 6, 0}});
  EXPECT_EQ(l.substr(178, 1000), e.nom);
  ASSERT_TRUE(EtatReprise::decode(longs.data(), longs.size()));
  EXPECT_EQ(EtatReprise::decode(longs.data(), longs.size())->nom, e.nom);

  // A group's note: an 80-byte head, then 160 bytes a record written.
  ASSERT_TRUE(NoteGroupes::nouvelle());
  e.numero = 5, e.debut = 100, e.suivante = 120;
  Groupe g{.sequence = 1,
           .taille_fichier = 500,
           .empreinte_fichier = 0xBEEF,
           .premier = 2,
           .debut = 20,
           .dernier = 9,
           .ecritures = {e, e}};
  g.ecritures[1].attente = EtatReprise::Attente::ligne_erreur;
  NoteGroupes note;
  ASSERT_TRUE(note.note(g));
  note.ferme();
  const std::string n = lit_octets("reprise_groupes_1.wdo");
  ASSERT_EQ(n.size(), 80u + 2 * 160);
  EXPECT_EQ(n.substr(0, 8), "PXGROUP1");
  verifie(n, 0,
          {{8, 8, 1},
           {16, 8, 500},
           {24, 8, 0xBEEF},
           {32, 8, 2},
           {40, 8, 20},
           {48, 8, 9},
           {56, 4, 2},
           {60, 4, 0},
           {64, 8, 0},
           {72, 8, 0xe7c33478836c2cac}});  // check sum
  for (std::size_t i = 0; i < 2; ++i) {
    verifie(n, 80 + i * 160,
            {{0, 8, 5},
             {8, 8, 100},
             {16, 8, 120},
             {24, 4, i + 1},
             {28, 4, 0xFFFFFFFE},
             {32, 4, 0x3F800000},
             {36, 4, 2},
             {40, 4, 3},
             {44, 4, 4},
             {48, 4, 70000},
             {52, 4, 0},
             {56, 8, 99},
             {64, 8, 12},
             {72, 8, 0xCAFE},
             {90, 6, 0},
             {96, 8, 0xA5A5A5A5A5A5A5A5},
             {152, 8, 0xA5A5A5A5A5A5A5A5}});
    EXPECT_EQ(n.substr(80 + i * 160 + 80, 10), "05-12-2026");
  }
  const auto groupe = lit_groupe(500, 0xBEEF);
  ASSERT_TRUE(groupe);
  ASSERT_EQ(groupe->ecritures.size(), 2u);
  EtatReprise attendu = g.ecritures[1];  // the file's size, digest and name are the head's
  attendu.taille_fichier = 500, attendu.empreinte_fichier = 0xBEEF, attendu.nom.clear();
  EXPECT_EQ(groupe->ecritures[1].encode(), attendu.encode());

  // The files applied: 256 bytes an entry, the name cut, its length and digest kept.
  FichiersAppliques appliques;
  ASSERT_TRUE(appliques.charge({2026, 12, 5, 21, 7, 9}));
  const std::string nom(300, 'x');
  ASSERT_TRUE(appliques.ajoute(nom, 1234, 0xD1CE));
  const std::string a = lit_octets("fichiers_appliques.wdo");
  ASSERT_EQ(a.size(), 256u);
  EXPECT_EQ(a.substr(0, 8), "PXAPPLI1");
  verifie(a, 0,
          {{8, 8, 20792},
           {16, 8, 1234},
           {24, 8, 0xD1CE},
           {32, 8, empreinte(nom)},
           {40, 2, 300},
           {248, 8, empreinte(a.substr(0, 248))}});
  EXPECT_EQ(a.substr(42, 206), nom.substr(0, 206));
  FichiersAppliques relus;
  ASSERT_TRUE(relus.charge({2026, 12, 6, 0, 0, 0}));
  EXPECT_TRUE(relus.contient(nom, 1234, 0xD1CE));
}

}  // namespace pontex::test
