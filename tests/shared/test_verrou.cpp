// One Pontex per folder: the folder lock.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "pontex/shared/arret_systeme.h"
#include "pontex/shared/verrou.h"
#include "tests/support/dossier_temporaire.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace pontex::test {
namespace {

using namespace std::chrono_literals;

TEST(Verrou, UnSeulTenantEtLAttenteLeReprendQuandIlEstLibere) {
  DossierTemporaire d;
  VerrouDossier premier;
  VerrouDossier second;
  ASSERT_TRUE(premier.prend(nom_fichier_verrou));
  EXPECT_EQ(second.prend(nom_fichier_verrou).issue, IssueVerrou::tenu_par_un_autre);
  // Still held after the wait: gives up and says so.
  EXPECT_EQ(attend_verrou(second, nom_fichier_verrou, 300ms, 50ms).issue,
            IssueVerrou::tenu_par_un_autre);
  EXPECT_FALSE(second.tenu());
  // Let go during the wait (a Pontex ending for its restart): taken.
  std::thread fin([&] {
    std::this_thread::sleep_for(200ms);
    premier.libere();
  });
  EXPECT_TRUE(attend_verrou(second, nom_fichier_verrou, 10s, 20ms));
  fin.join();
  EXPECT_TRUE(second.tenu());
}

// A backup agent or an indexer reading the lock file is no second Pontex:
// it neither keeps a Pontex from the lock nor takes the lock's place.
TEST(Verrou, UnLecteurDuFichierNEstPasUnAutrePontex) {
  DossierTemporaire d;
  VerrouDossier premier;
  ASSERT_TRUE(premier.prend(nom_fichier_verrou));
  std::ifstream lecteur{std::string(nom_fichier_verrou)};
  ASSERT_TRUE(lecteur.is_open());
  VerrouDossier second;
  EXPECT_EQ(second.prend(nom_fichier_verrou).issue, IssueVerrou::tenu_par_un_autre);
  premier.libere();
  // The reader still has the file open: the next Pontex takes the lock.
  const PriseVerrou prise = second.prend(nom_fichier_verrou);
  EXPECT_TRUE(prise) << prise.raison;
  EXPECT_EQ(premier.prend(nom_fichier_verrou).issue, IssueVerrou::tenu_par_un_autre);
}

// Something under the lock file's name that is no lock: not another Pontex,
// and no wait for one.
TEST(Verrou, UnVerrouImpossibleNEstPasUnAutrePontex) {
  DossierTemporaire d;
  std::filesystem::create_directory(std::string(nom_fichier_verrou));
  VerrouDossier v;
  PriseVerrou prise = v.prend(nom_fichier_verrou);
  EXPECT_EQ(prise.issue, IssueVerrou::impossible);
  EXPECT_NE(prise.raison.find(nom_fichier_verrou), std::string::npos) << prise.raison;
  EXPECT_FALSE(v.tenu());
  const auto debut = std::chrono::steady_clock::now();
  prise = attend_verrou(v, nom_fichier_verrou, 60s, 50ms);
  EXPECT_EQ(prise.issue, IssueVerrou::impossible);
  EXPECT_LT(std::chrono::steady_clock::now() - debut, 30s);
  // Gone: taken at the next try.
  std::filesystem::remove(std::string(nom_fichier_verrou));
  EXPECT_TRUE(v.prend(nom_fichier_verrou));
}

// A stop asked by the system ends the wait for another Pontex.
TEST(Verrou, LArretDemandeFinitLAttente) {
  DossierTemporaire d;
  VerrouDossier premier;
  ASSERT_TRUE(premier.prend(nom_fichier_verrou));
  demande_arret();
  VerrouDossier second;
  const PriseVerrou prise = attend_verrou(second, nom_fichier_verrou, 60s, 50ms);
  oublie_arret();
  EXPECT_EQ(prise.issue, IssueVerrou::arret);
  EXPECT_FALSE(second.tenu());
}

#ifndef _WIN32
// The lock goes with its process, however it ends.
TEST(Verrou, UnProcessusTueLibereLeVerrou) {
  DossierTemporaire d;
  int tube[2];
  ASSERT_EQ(::pipe(tube), 0);
  const pid_t enfant = ::fork();
  ASSERT_GE(enfant, 0);
  if (enfant == 0) {
    VerrouDossier v;
    const char pris = v.prend(nom_fichier_verrou) ? '1' : '0';
    (void)!::write(tube[1], &pris, 1);
    ::pause();
    ::_exit(0);
  }
  char pris = 0;
  ASSERT_EQ(::read(tube[0], &pris, 1), 1);
  ASSERT_EQ(pris, '1');
  VerrouDossier v;
  EXPECT_FALSE(v.prend(nom_fichier_verrou));
  ::kill(enfant, SIGKILL);
  ::waitpid(enfant, nullptr, 0);
  EXPECT_TRUE(v.prend(nom_fichier_verrou));
}

// A link under the lock file's name is not followed: the lock is impossible.
TEST(Verrou, UnLienALaPlaceDuFichierNEstPasSuivi) {
  DossierTemporaire d;
  std::filesystem::create_symlink("ailleurs", std::string(nom_fichier_verrou));
  VerrouDossier v;
  EXPECT_EQ(v.prend(nom_fichier_verrou).issue, IssueVerrou::impossible);
  EXPECT_FALSE(std::filesystem::exists("ailleurs"));
}

// SIGTERM to a process waiting for the lock another one holds: it ends now,
// not when its wait runs out.
TEST(Verrou, UnSigtermPendantLAttenteLaFinit) {
  DossierTemporaire d;
  VerrouDossier premier;
  ASSERT_TRUE(premier.prend(nom_fichier_verrou));
  int pret[2];
  int issue[2];
  ASSERT_EQ(::pipe(pret), 0);
  ASSERT_EQ(::pipe(issue), 0);
  const pid_t enfant = ::fork();
  ASSERT_GE(enfant, 0);
  if (enfant == 0) {
    installe_arret_systeme();
    (void)!::write(pret[1], "1", 1);
    VerrouDossier v;
    const PriseVerrou prise = attend_verrou(v, nom_fichier_verrou, 60s, 200ms);
    const char c = prise.issue == IssueVerrou::arret ? 'a' : 'x';
    (void)!::write(issue[1], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(pret[0], &c, 1), 1);
  ::kill(enfant, SIGTERM);
  // Generous: a busy machine; the wait itself would last a minute.
  int statut = 0;
  pid_t fini = 0;
  const auto limite = std::chrono::steady_clock::now() + 20s;
  while ((fini = ::waitpid(enfant, &statut, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < limite)
    std::this_thread::sleep_for(20ms);
  if (fini == 0) {
    ::kill(enfant, SIGKILL);
    ::waitpid(enfant, nullptr, 0);
  }
  ASSERT_EQ(fini, enfant) << "still waiting for the lock after the signal";
  EXPECT_TRUE(WIFEXITED(statut));
  ASSERT_EQ(::read(issue[0], &c, 1), 1);
  EXPECT_EQ(c, 'a');
  for (int f : {pret[0], pret[1], issue[0], issue[1]}) ::close(f);
}
#endif

}  // namespace
}  // namespace pontex::test
