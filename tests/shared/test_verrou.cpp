// One Pontex per folder: the folder lock.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

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
  bool occupe = false;
  ASSERT_TRUE(premier.prend(nom_fichier_verrou, occupe));
  EXPECT_FALSE(second.prend(nom_fichier_verrou, occupe));
  EXPECT_TRUE(occupe);
  // Still held after the wait: gives up and says so.
  EXPECT_FALSE(attend_verrou(second, nom_fichier_verrou, 300ms, 50ms, occupe));
  EXPECT_TRUE(occupe);
  EXPECT_FALSE(second.tenu());
  // Let go during the wait (a Pontex ending for its restart): taken.
  std::thread fin([&] {
    std::this_thread::sleep_for(200ms);
    premier.libere();
  });
  EXPECT_TRUE(attend_verrou(second, nom_fichier_verrou, 10s, 20ms, occupe));
  fin.join();
  EXPECT_TRUE(second.tenu());
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
    bool occupe = false;
    const char pris = v.prend(nom_fichier_verrou, occupe) ? '1' : '0';
    (void)!::write(tube[1], &pris, 1);
    ::pause();
    ::_exit(0);
  }
  char pris = 0;
  ASSERT_EQ(::read(tube[0], &pris, 1), 1);
  ASSERT_EQ(pris, '1');
  VerrouDossier v;
  bool occupe = false;
  EXPECT_FALSE(v.prend(nom_fichier_verrou, occupe));
  ::kill(enfant, SIGKILL);
  ::waitpid(enfant, nullptr, 0);
  EXPECT_TRUE(v.prend(nom_fichier_verrou, occupe));
}
#endif

}  // namespace
}  // namespace pontex::test
