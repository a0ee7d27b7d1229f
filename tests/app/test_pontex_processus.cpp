// The real program run as a shop runs it: no arguments, countdown, one exchange.

#include <gtest/gtest.h>

#include <QProcess>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#endif

#include "pontex/data/memoire.h"
#include "pontex/exchange/etat_echange.h"
#include "pontex/exchange/groupes.h"
#include "pontex/shared/verrou.h"
#include "tests/support/fenetres_test.h"

namespace pontex::test {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> fichiers(const fs::path& dossier, std::string_view debut,
                               std::string_view fin) {
  std::vector<fs::path> trouves;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dossier, ec)) {
    const std::string nom = e.path().filename().string();
    if (nom.starts_with(debut) && nom.ends_with(fin)) trouves.push_back(e.path());
  }
  return trouves;
}

// Starts the program in the shop's folder, with no arguments, as the shop does; `en_plus` adds
// to its environment.
void demarre_pontex(QProcess& pontex, const Boutique& b,
                    const std::vector<std::pair<QString, QString>>& en_plus = {}) {
  pontex.setWorkingDirectory(QString::fromStdString(b.dossier.chemin().string()));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
#ifndef _WIN32
  // Under Wine the program keeps the platform the tests run on ("windows"):
  // Qt's offscreen platform does not come up there.
  env.insert("QT_QPA_PLATFORM", "offscreen");
#endif
  env.remove("PONTEX_DEMARRAGE_REDUIT");
  for (const auto& [nom, valeur] : en_plus) env.insert(nom, valeur);
  pontex.setProcessEnvironment(env);
#ifdef _WIN32
  // The build's path is the build machine's; the program lies in bin\ beside the tests' folder.
  pontex.start(QCoreApplication::applicationDirPath() + "/../bin/Pontex.exe", {});
#else
  pontex.start(PONTEX_PROGRAMME, {});
#endif
}

void arrete(QProcess& p) {
  p.kill();
  p.waitForFinished(10000);
}

TEST(ProgrammePontex, UnCycleCompletDansUnVraiProcessus) {
  Boutique b(DepartPontex{});
  const float stock2 = b.stock(2);
  const float stock3 = b.stock(3);
  const fs::path import =
      b.depose("mvt.txt", b.reference(2) + "\t3\n" + b.reference(3) + "\t-1\nINCONNU\t2\n");
  QProcess pontex;
  demarre_pontex(pontex, b);
  ASSERT_TRUE(pontex.waitForStarted(10000));
  const fs::path exports = b.chemin("transit/export");
  const fs::path etat = b.chemin("pontex_etat.json");
  const bool cycle = QTest::qWaitFor(
      [&] {
        return !fs::exists(import) && !fichiers(exports, "stock_", ".txt").empty() &&
               fs::exists(etat);
      },
      30000);
  const bool toujours_la = pontex.state() == QProcess::Running;
  const qint64 processus = pontex.processId();
  arrete(pontex);
  ASSERT_TRUE(cycle) << pontex.readAllStandardError().toStdString();
  // Waiting for its restart, not crashed.
  EXPECT_TRUE(toujours_la);
  EXPECT_FLOAT_EQ(b.stock(2), stock2 + 3);
  EXPECT_FLOAT_EQ(b.stock(3), stock3 - 1);
  EXPECT_EQ(b.mouvement(0).poste(), 2);  // the header's field 7: two movements
  // The status file for monitoring: this process (its counts are the exchange tests').
  const auto e = lit_texte_etat(lit_octets(etat));
  ASSERT_TRUE(e.has_value()) << lit_octets(etat);
  EXPECT_EQ(e->processus, processus);
  // The quantity with the workstation's decimal separator.
  EXPECT_TRUE(e->derniere_erreur == "2.00 x Erreur reference : INCONNU (mvt.txt, ligne 3)" ||
              e->derniere_erreur == "2,00 x Erreur reference : INCONNU (mvt.txt, ligne 3)")
      << e->derniere_erreur;
  EXPECT_EQ(e->minutes_entre_echanges, 30);
}

QProcess* lance_pontex(const Boutique& b, QObject* parent) {
  auto* p = new QProcess(parent);
  demarre_pontex(*p, b);
  return p;
}

// Two Pontex at once in one folder: one waits, every movement of 400 files applied once.
TEST(ProgrammePontex, DeuxPontexDansUnDossierAppliquentChaqueMouvementUneFois) {
  Boutique b(DepartPontex{});
  constexpr int fichiers_recus = 400;
  constexpr int articles = 20;
  std::vector<float> avant;
  for (int k = 1; k <= articles; ++k) avant.push_back(b.stock(k));
  std::string contenu;
  for (int k = 1; k <= articles; ++k) contenu += b.reference(k) + "\t1\n";
  for (int i = 0; i < fichiers_recus; ++i)
    b.depose("m" + std::to_string(1000 + i) + ".txt", contenu);
  QObject parent;
  QProcess* premier = lance_pontex(b, &parent);
  QProcess* second = lance_pontex(b, &parent);
  ASSERT_TRUE(premier->waitForStarted(10000));
  ASSERT_TRUE(second->waitForStarted(10000));
  const fs::path import = b.chemin("transit/import");
  const bool cycle = QTest::qWaitFor(
      [&] {
        return fichiers(import, "m", ".txt").empty() &&
               !fichiers(b.chemin("transit/export"), "stock_", ".txt").empty();
      },
      60000);
  // Both still there: one waiting for its restart, the other for the lock.
  const bool deux = premier->state() == QProcess::Running && second->state() == QProcess::Running;
  arrete(*premier);
  arrete(*second);
  ASSERT_TRUE(cycle);
  EXPECT_TRUE(deux);
  for (int k = 1; k <= articles; ++k)
    EXPECT_FLOAT_EQ(b.stock(k), avant[k - 1] + fichiers_recus) << k;
  EXPECT_EQ(b.mouvement(0).poste(), fichiers_recus * articles);
}

// Today's journal file of the shop's folder, as the program names it.
fs::path journal_du_jour(const Boutique& b) {
  const std::time_t t = std::time(nullptr);
  char nom[32];
  std::strftime(nom, sizeof nom, "pontex_%Y-%m-%d.log", std::localtime(&t));
  return b.chemin("journal") / nom;
}

std::size_t occurrences(const std::string& texte, std::string_view motif) {
  std::size_t n = 0;
  for (auto i = texte.find(motif); i != std::string::npos; i = texte.find(motif, i + 1)) ++n;
  return n;
}

// A lock that cannot be taken: said in the journal file, nothing taken from the import folder.
TEST(ProgrammePontex, SansVerrouDuDossierRienNeQuitteLImport) {
  Boutique b(DepartPontex{});
  fs::create_directory(b.chemin("Pontex.verrou"));
  const fs::path recu = b.depose("a.txt", b.reference(1) + "\t2\n");
  const float avant = b.stock(1);
  QProcess pontex;
  demarre_pontex(pontex, b);
  ASSERT_TRUE(pontex.waitForStarted(10000));
  const fs::path journal = journal_du_jour(b);
  const bool deux_fois = QTest::qWaitFor(
      [&] {
        // Its ASCII part: the file is UTF-8 on Linux, the ANSI code page on Windows.
        return occurrences(lit_octets(journal), "Le verrou du dossier ne peut pas ") >= 2;
      },
      30000);
  const bool toujours_la = pontex.state() == QProcess::Running;
  arrete(pontex);
  ASSERT_TRUE(deux_fois) << lit_octets(journal);
  EXPECT_TRUE(toujours_la);
  EXPECT_TRUE(fs::exists(recu));
  EXPECT_FALSE(fs::exists(b.chemin("transit/import/a.old")));
  EXPECT_FALSE(fs::exists(b.chemin("prov_stk_ana_ron.txt")));
  EXPECT_FLOAT_EQ(b.stock(1), avant);
  EXPECT_EQ(lit_octets(journal).find("Traitement"), std::string::npos);
  // Monitoring is told why, from the start on: never an empty exchange read as good.
  const auto e = lit_texte_etat(lit_octets(b.chemin("pontex_etat.json")));
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->etat, EtatPontex::verrou_refuse);
  EXPECT_EQ(juge_etat(lit_octets(b.chemin("pontex_etat.json")), secondes_maintenant()).code, 1);
}

#ifndef _WIN32
std::int32_t mouvements_enregistres(const Boutique& b) { return b.mouvement(0).poste(); }

// A large delivery "gros.txt": each of the 20 articles `par_article` times, +1 each. The stocks
// before it.
constexpr int articles = 20;
std::vector<float> depose_gros(Boutique& b, int par_article) {
  std::vector<float> avant;
  for (int k = 1; k <= articles; ++k) avant.push_back(b.stock(k));
  std::string contenu;
  for (int i = 0; i < par_article; ++i)
    for (int k = 1; k <= articles; ++k) contenu += b.reference(k) + "\t1\n";
  b.depose("gros.txt", contenu);
  return avant;
}

// SIGTERM mid-file: the record finished and journaled, the rest applied once at the next start.
TEST(ProgrammePontex, UnSigtermFinitLEnregistrementEtLaSuiteReprendAuDemarrage) {
  Boutique b(DepartPontex{});
  constexpr int par_article = 3000;
  const std::vector<float> avant = depose_gros(b, par_article);
  QProcess pontex;
  demarre_pontex(pontex, b);
  ASSERT_TRUE(pontex.waitForStarted(10000));
  const bool en_cours = QTest::qWaitFor([&] { return mouvements_enregistres(b) >= 500; }, 60000);
  ::kill(static_cast<pid_t>(pontex.processId()), SIGTERM);
  const bool fini = pontex.waitForFinished(20000);
  ASSERT_TRUE(en_cours);
  ASSERT_TRUE(fini);
  EXPECT_EQ(pontex.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(pontex.exitCode(), 0);
  const std::int32_t appliques = mouvements_enregistres(b);
  ASSERT_LT(appliques, articles * par_article) << "the file was applied before the signal";
  float changes = 0;
  for (int k = 1; k <= articles; ++k) changes += b.stock(k) - avant[k - 1];
  EXPECT_FLOAT_EQ(changes, static_cast<float>(appliques));
  const std::string journal = lit_octets(journal_du_jour(b));
  EXPECT_EQ(occurrences(journal, " x "), static_cast<std::size_t>(appliques));
  EXPECT_NE(journal.find("Arrêt demandé par le système : analyse arrêtée à l'enregistrement " +
                         std::to_string(appliques + 1) + ", reprise au prochain démarrage"),
            std::string::npos);
  EXPECT_TRUE(journal.ends_with(" - Arrêt demandé par le système\n"));
  // The next start: the rest, once.
  QProcess suivant;
  demarre_pontex(suivant, b);
  ASSERT_TRUE(suivant.waitForStarted(10000));
  const bool cycle = QTest::qWaitFor(
      [&] { return !fichiers(b.chemin("transit/export"), "stock_", ".txt").empty(); }, 120000);
  arrete(suivant);
  ASSERT_TRUE(cycle);
  EXPECT_EQ(mouvements_enregistres(b), articles * par_article);
  for (int k = 1; k <= articles; ++k) EXPECT_FLOAT_EQ(b.stock(k), avant[k - 1] + par_article) << k;
  EXPECT_NE(
      lit_octets(journal_du_jour(b))
          .find("Reprise : gros.txt à partir de l'enregistrement " + std::to_string(appliques + 1)),
      std::string::npos);
}

// The register's folder away in the middle of a large delivery (a till PC's share rebooting), back
// once the window waits for it; the server sends the file again meanwhile. Every record applied
// once, none said unknown, and the re-send refused only once the file was wholly applied.
TEST(ProgrammePontex, LaCaissePartieEnCoursDeFichierPuisRevenueChaqueMouvementUneFois) {
  Boutique b(DepartPontex{});
  constexpr int par_article = 400;
  const std::vector<float> avant = depose_gros(b, par_article);
  QProcess pontex;
  demarre_pontex(pontex, b);
  ASSERT_TRUE(pontex.waitForStarted(10000));
  const bool en_cours = QTest::qWaitFor([&] { return mouvements_enregistres(b) >= 200; }, 60000);
  fs::rename(b.caisse(), b.chemin("caisse-partie"));
  const bool attend = QTest::qWaitFor(
      [&] {
        return lit_octets(journal_du_jour(b)).find("es de caisse absentes") != std::string::npos;
      },
      30000);
  b.depose("gros.txt", lit_octets(b.import() / "gros.old"));  // the same bytes again
  fs::rename(b.chemin("caisse-partie"), b.caisse());
  const auto fini = [&] {
    const std::string journal = lit_octets(journal_du_jour(b));
    return journal.find("trait\xC3\xA9 : gros.txt") != std::string::npos &&
           !fichiers(b.chemin("transit/export"), "stock_", ".txt").empty();
  };
  const bool cycle = attend && QTest::qWaitFor(fini, 120000);
  arrete(pontex);
  const std::string journal = lit_octets(journal_du_jour(b));
  ASSERT_TRUE(en_cours);
  ASSERT_TRUE(attend) << journal;
  ASSERT_TRUE(cycle) << journal;
  EXPECT_NE(journal.find("es de caisse illisibles : W_caiind.WDO "), std::string::npos) << journal;
  EXPECT_EQ(mouvements_enregistres(b), articles * par_article);
  for (int k = 1; k <= articles; ++k) EXPECT_FLOAT_EQ(b.stock(k), avant[k - 1] + par_article) << k;
  EXPECT_EQ(occurrences(journal, " x "), static_cast<std::size_t>(articles * par_article));
  EXPECT_EQ(journal.find("Erreur"), std::string::npos);
  for (const fs::path& e : fichiers(b.chemin("transit/import"), "erreurs_", ".err"))
    EXPECT_EQ(lit_octets(e), "Fichier d\xE9j\xE0 trait\xE9 : gros.txt\r\n") << e;
  EXPECT_FALSE(fs::exists(b.chemin("transit/import/gros.txt")));
  // The re-send seen after the resume finished the file, not before.
  EXPECT_LT(journal.find("Reprise : gros.txt"), journal.find("trait\xC3\xA9 : gros.txt"));
}

// Ends within a generous bound after SIGTERM, as a system stop does: code 0,
// the journal's last line saying so. Whatever it waited for would last longer.
void arrete_par_sigterm(QProcess& pontex, const Boutique& b) {
  ::kill(static_cast<pid_t>(pontex.processId()), SIGTERM);
  const bool fini = pontex.waitForFinished(15000);
  if (!fini) arrete(pontex);
  ASSERT_TRUE(fini) << "still waiting after SIGTERM";
  EXPECT_EQ(pontex.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(pontex.exitCode(), 0);
  const std::string journal = lit_octets(journal_du_jour(b));
  EXPECT_TRUE(journal.ends_with(" - Arrêt demandé par le système\n")) << journal;
}

// Waiting for the folder lock another Pontex holds (it would wait 30 s).
TEST(ProgrammePontex, UnSigtermPendantLAttenteDuVerrouLaFinit) {
  Boutique b(DepartPontex{});
  const fs::path recu = b.depose("a.txt", b.reference(1) + "\t2\n");
  VerrouDossier autre;
  ASSERT_TRUE(autre.prend(b.chemin("Pontex.verrou").string()));
  QProcess pontex;
  demarre_pontex(pontex, b);
  ASSERT_TRUE(pontex.waitForStarted(10000));
  QTest::qWait(1000);
  ASSERT_EQ(pontex.state(), QProcess::Running);
  arrete_par_sigterm(pontex, b);
  EXPECT_TRUE(fs::exists(recu));
}

// Waiting for the register folder to come back (a till PC's share away).
TEST(ProgrammePontex, UnSigtermPendantLAttenteDeLaCaisseLaFinit) {
  Boutique b(DepartPontex{});
  ASSERT_TRUE(retient_caisse(b.dossier_caisse(), b.chemin("W_intlog.wdo").string()));
  fs::rename(b.caisse(), b.chemin("caisse-partie"));
  QProcess pontex;
  demarre_pontex(pontex, b);
  ASSERT_TRUE(pontex.waitForStarted(10000));
  const bool attend = QTest::qWaitFor(
      [&] {
        return lit_octets(journal_du_jour(b)).find("es de caisse absentes") != std::string::npos;
      },
      20000);
  ASSERT_TRUE(attend) << lit_octets(journal_du_jour(b));
  arrete_par_sigterm(pontex, b);
}

#ifdef PONTEX_BOITE_NOIRE
// A delivery of 20,000 lines "gros.txt": the 20 articles in turn with quantities 1 to 13, now and
// then the same article twice in a row, and every 1,000th line an unknown reference.
struct Livraison {
  std::string contenu;
  std::vector<std::pair<int, float>> connus;  // article and quantity, in the file's order
  std::string erreurs;                        // the day's error lines it gives
};

Livraison livraison_melee(const Boutique& b) {
  constexpr int lignes = 20000;
  Livraison l;
  int k = 0;
  for (int i = 0; i < lignes; ++i) {
    const int q = 1 + i % 13;
    if (i % 1000 == 999) {
      const std::string inconnu = "INCONNU" + std::to_string(i / 1000);
      l.contenu += inconnu + "\t" + std::to_string(q) + "\n";
      l.erreurs += "Erreur reference : " + inconnu + " " + std::to_string(q) + " \r\n";
      continue;
    }
    if (i % 250 != 1) k = k % articles + 1;  // else the article of the line before, again
    l.contenu += b.reference(k) + "\t" + std::to_string(q) + "\n";
    l.connus.emplace_back(k, static_cast<float>(q));
  }
  return l;
}

// What the disk holds of the shop's folders, as the black box notes it: per folder its names and
// the inode each leads to, per inode its bytes.
struct Disque {
  std::map<fs::path, std::map<std::string, std::uint64_t>> noms;
  std::map<std::uint64_t, std::string> octets;
};

struct stat etat_de(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st;
}

// The shop as the test laid it out, taken as on the disk: every folder, its files and their bytes.
Disque photographie(const fs::path& racine, const fs::path& sauf) {
  Disque d;
  std::vector<fs::path> dossiers = {racine};
  for (const auto& e : fs::recursive_directory_iterator(racine))
    if (e.is_directory() && e.path() != sauf) dossiers.push_back(e.path());
  for (const fs::path& dossier : dossiers) {
    auto& noms = d.noms[dossier];
    for (const auto& e : fs::directory_iterator(dossier)) {
      if (e.symlink_status().type() != fs::file_type::regular) continue;
      const std::uint64_t inode = etat_de(e.path()).st_ino;
      noms[e.path().filename().string()] = inode;
      d.octets[inode] = lit_octets(e.path());
    }
  }
  return d;
}

std::string nom_note(const char* sorte, const struct stat& st) {
  return std::string(sorte) + "_" + std::to_string(st.st_dev) + "_" + std::to_string(st.st_ino);
}

// Puts back every folder of `depart` as a power cut would leave it. The disk is strict: a file's
// bytes reach it only through the file's own sync (the bytes of its last one, the test's own
// bytes before any, nothing for a file created since and never synced), and a folder's sync keeps
// only its names, each leading to whatever its file last put on the disk. A folder never synced
// keeps the names it had at the start. Folders made during the run (the journal's) stay as they
// are: nothing of an exchange lives there.
void remet_comme_au_dernier_sync(const Disque& depart, const fs::path& notes) {
  for (const auto& [dossier, noms_depart] : depart.noms) {
    const struct stat st = etat_de(dossier);
    std::map<std::string, std::uint64_t> noms = noms_depart;
    const fs::path note_dossier = notes / nom_note("d", st);
    if (fs::exists(note_dossier)) {
      noms.clear();
      std::istringstream lignes(lit_octets(note_dossier));
      std::uint64_t inode = 0;
      char sorte = 0;
      std::string nom;
      while (lignes >> inode >> sorte && lignes.get() == '\t' && std::getline(lignes, nom))
        if (sorte == 'f') noms[nom] = inode;
    }
    for (const auto& e : fs::directory_iterator(dossier))
      if (e.symlink_status().type() == fs::file_type::regular) fs::remove(e.path());
    for (const auto& [nom, inode] : noms) {
      struct stat fichier = st;
      fichier.st_ino = static_cast<ino_t>(inode);
      const fs::path note_fichier = notes / nom_note("f", fichier);
      std::string octets;
      if (fs::exists(note_fichier))
        octets = lit_octets(note_fichier);
      else if (const auto o = depart.octets.find(inode); o != depart.octets.end())
        octets = o->second;
      ecrit_octets(dossier / nom, octets);
    }
  }
}

// The real program applying a 20,000-line delivery, killed at random points of it; every file of
// the shop then put back as of its last sync (the power gone at that moment, the disk holding only
// what was synced), and one more cycle: every line applied exactly once — each article's stock,
// each movement once in the file's order, each unknown reference's error line once. A few points
// by default; PONTEX_BOITE_NOIRE_COMPLET=1 tries 12, PONTEX_BOITE_NOIRE_GRAINE replays a draw.
TEST(ProgrammePontex, BoiteNoireCoupureDeCourantChaqueLigneAppliqueeUneFois) {
  const bool complet = std::getenv("PONTEX_BOITE_NOIRE_COMPLET") != nullptr;
  const char* graine_donnee = std::getenv("PONTEX_BOITE_NOIRE_GRAINE");
  const unsigned graine =
      graine_donnee ? static_cast<unsigned>(std::stoul(graine_donnee)) : std::random_device{}();
  SCOPED_TRACE("PONTEX_BOITE_NOIRE_GRAINE=" + std::to_string(graine));
  std::mt19937 g(graine);
  const int points = complet ? 12 : 3;
  int passes = 0;
  for (int p = 0; p < points; ++p) {
    Boutique b(DepartPontex{});
    const Livraison l = livraison_melee(b);
    const auto total = static_cast<std::int32_t>(l.connus.size());
    // One point in each equal share of the delivery, somewhere in it, and the last one always
    // past the first group, where the first group's writes must already be on the disk.
    const std::int32_t depuis = p + 1 < points ? static_cast<std::int32_t>(p * total / points)
                                               : std::int32_t{Groupe::ecritures_max};
    const std::int32_t jusqu_a =
        p + 1 < points ? static_cast<std::int32_t>((p + 1) * total / points) : total;
    const auto cible =
        depuis + 1 + static_cast<std::int32_t>(g() % static_cast<unsigned>(jusqu_a - depuis));
    SCOPED_TRACE("killed once " + std::to_string(cible) + " movements were written");
    std::vector<float> avant;
    for (int k = 1; k <= articles; ++k) avant.push_back(b.stock(k));
    b.depose("gros.txt", l.contenu);
    const fs::path notes = b.chemin("boite_noire");
    fs::create_directory(notes);
    const Disque depart = photographie(b.dossier.chemin(), notes);

    QProcess pontex;
    demarre_pontex(pontex, b,
                   {{"LD_PRELOAD", PONTEX_BOITE_NOIRE},
                    {"PONTEX_BOITE_NOIRE", QString::fromStdString(notes.string())}});
    ASSERT_TRUE(pontex.waitForStarted(10000));
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (mouvements_enregistres(b) < cible && pontex.state() == QProcess::Running &&
           std::chrono::steady_clock::now() < limite)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const bool en_cours = pontex.state() == QProcess::Running;
    ::kill(static_cast<pid_t>(pontex.processId()), SIGKILL);
    pontex.waitForFinished(10000);
    ASSERT_TRUE(en_cours) << pontex.readAllStandardError().toStdString();
    const std::int32_t au_moment = mouvements_enregistres(b);
    ASSERT_GE(au_moment, cible);

    // The black box saw the syncs: the shop's folder's when the file was taken, and files'.
    ASSERT_TRUE(fs::exists(notes / nom_note("d", etat_de(b.dossier.chemin()))));
    ASSERT_FALSE(fichiers(notes, "f_", "").empty());
    remet_comme_au_dernier_sync(depart, notes);
    for (const fs::path& e : fichiers(b.exporte(), "stock_", ".txt")) fs::remove(e);
    QProcess suivant;
    demarre_pontex(suivant, b);
    ASSERT_TRUE(suivant.waitForStarted(10000));
    const bool cycle = QTest::qWaitFor(
        [&] {
          return !fs::exists(b.chemin("prov_stk_ana_ron.txt")) &&
                 !fs::exists(b.import() / "gros.txt") &&
                 !fichiers(b.exporte(), "stock_", ".txt").empty();
        },
        120000);
    arrete(suivant);
    ASSERT_TRUE(cycle);

    const std::int32_t compte = mouvements_enregistres(b);
    EXPECT_EQ(compte, total) << au_moment << " written at the kill";
    EXPECT_EQ(lit_octets(b.caisse() / "W_CAIREC.WDO").size(), std::size_t(compte + 1) * 64u);
    std::vector<float> attendu = avant;
    for (const auto& [k, q] : l.connus) attendu[std::size_t(k - 1)] += q;
    for (int k = 1; k <= articles; ++k) EXPECT_FLOAT_EQ(b.stock(k), attendu[k - 1]) << k;
    // Each movement once, in the file's order: the first one out of place tells where.
    const std::string mouvements = lit_octets(b.caisse() / "W_CAIREC.WDO");
    std::vector<std::string> codes;
    for (int k = 1; k <= articles; ++k) codes.push_back(b.article(k).code());
    for (std::int32_t m = 1; m <= std::min(compte, total); ++m) {
      const EnregistrementMouvement mv = b.mouvement(m);
      const auto& [k, q] = l.connus[std::size_t(m - 1)];
      if (mv.code() != codes[std::size_t(k - 1)] || mv.quantite() != q) {
        ADD_FAILURE() << "movement " << m << " is " << mv.code() << " x " << mv.quantite()
                      << ", line's " << codes[std::size_t(k - 1)] << " x " << q;
        break;
      }
    }
    // Every day's error file, in date order, should the run cross midnight.
    std::vector<fs::path> jours = fichiers(b.import(), "erreurs_", ".err");
    std::sort(jours.begin(), jours.end(), [](const fs::path& x, const fs::path& y) {
      const std::string a = x.filename().string(), c = y.filename().string();
      return a.substr(14, 4) + a.substr(11, 2) + a.substr(8, 2) <
             c.substr(14, 4) + c.substr(11, 2) + c.substr(8, 2);
    });
    std::string erreurs;
    for (const fs::path& e : jours) erreurs += lit_octets(e);
    EXPECT_EQ(erreurs, l.erreurs);
    EXPECT_EQ(lit_octets(b.import() / "gros.old"), l.contenu);
    if (HasFailure()) break;
    ++passes;
  }
  std::printf("power cut at %d points of a 20,000-line delivery: %d applied exactly once\n", points,
              passes);
}
#endif
#endif

}  // namespace
}  // namespace pontex::test
