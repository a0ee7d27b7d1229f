// Record files shared with the cash-register program: whole records at
// (n - 1) * length, nothing cached, no write far past the end.

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "pontex/shared/fichier_records.h"
#include "pontex/shared/fichiers.h"
#include "tests/support/dossier_temporaire.h"

namespace pontex {
namespace {

namespace fs = std::filesystem;
using test::DossierTemporaire;
using test::EchecInjecte;
using test::ecrit_octets;
using test::lit_octets;

constexpr std::size_t L = 24;  // an index entry

// A record whose bytes all carry its number, so a shifted offset shows.
std::string record(char n, std::size_t longueur = L) { return std::string(longueur, n); }

std::string lit_records(const FichierRecords& f, std::int64_t premier, std::size_t nombre,
                        std::size_t& lus) {
  std::string tampon(nombre * f.longueur_record(), '?');
  EXPECT_TRUE(f.lit(premier, tampon.data(), nombre, lus));
  return tampon;
}

TEST(FichierRecords, EnregistrementsEntiersAuBonDecalage) {
  DossierTemporaire d;
  ecrit_octets("W_caiind.WDO", record('1') + record('2') + record('3') + record('4'));
  FichierRecords f;
  ASSERT_TRUE(f.ouvre("W_caiind.WDO", L));
  EXPECT_EQ(f.nombre_records(), 4);

  std::size_t lus = 0;
  EXPECT_EQ(lit_records(f, 3, 1, lus), record('3'));
  EXPECT_EQ(lus, 1u);
  // Consecutive records in one call, as the tail scan reads them.
  EXPECT_EQ(lit_records(f, 2, 3, lus), record('2') + record('3') + record('4'));
  EXPECT_EQ(lus, 3u);
  // Past the end: only what exists.
  EXPECT_EQ(lit_records(f, 4, 3, lus).substr(0, L), record('4'));
  EXPECT_EQ(lus, 1u);
  lit_records(f, 5, 1, lus);
  EXPECT_EQ(lus, 0u);
  lit_records(f, 1000000, 2, lus);
  EXPECT_EQ(lus, 0u);

  ASSERT_TRUE(f.ecrit(2, std::string(L, 'B').data()));
  const std::string deux = record('C') + record('D');
  ASSERT_TRUE(f.ecrit(3, deux.data(), 2));
  EXPECT_EQ(lit_octets("W_caiind.WDO"), record('1') + record('B') + record('C') + record('D'));
  // Appending the next record right after the last one.
  ASSERT_TRUE(f.ecrit(5, record('E').data()));
  EXPECT_EQ(f.nombre_records(), 5);
  EXPECT_EQ(lit_octets("W_caiind.WDO").substr(4 * L), record('E'));
}

TEST(FichierRecords, UnEnregistrementPartielEnFinNEstPasLu) {
  DossierTemporaire d;
  // The other program is writing record 3: only 10 of its 24 bytes are there.
  ecrit_octets("a.wdo", record('1') + record('2') + std::string(10, '3'));
  FichierRecords f;
  ASSERT_TRUE(f.ouvre("a.wdo", L));
  EXPECT_EQ(f.nombre_records(), 2);
  std::size_t lus = 0;
  EXPECT_EQ(lit_records(f, 2, 2, lus).substr(0, L), record('2'));
  EXPECT_EQ(lus, 1u);
  lit_records(f, 3, 1, lus);
  EXPECT_EQ(lus, 0u);
}

TEST(FichierRecords, DeuxAccesVoientAussitotLEcritureDeLAutre) {
  DossierTemporaire d;
  ecrit_octets("w_caiar4.wdo", record('a', 256) + record('b', 256));
  FichierRecords pontex, caisse;
  ASSERT_TRUE(pontex.ouvre("w_caiar4.wdo", 256));
  ASSERT_TRUE(caisse.ouvre("W_CAIAR4.WDO", 256));  // same file, not a twin
  std::size_t lus = 0;
  EXPECT_EQ(lit_records(pontex, 2, 1, lus), record('b', 256));

  ASSERT_TRUE(caisse.ecrit(2, record('c', 256).data()));
  EXPECT_EQ(lit_records(pontex, 2, 1, lus), record('c', 256));
  ASSERT_TRUE(pontex.ecrit(3, record('d', 256).data()));
  EXPECT_EQ(caisse.nombre_records(), 3);
  EXPECT_EQ(lit_records(caisse, 3, 1, lus), record('d', 256));

  // A program that rewrites the file by other means is seen at the next read.
  ecrit_octets("w_caiar4.wdo", record('x', 256));
  EXPECT_EQ(pontex.nombre_records(), 1);
  EXPECT_EQ(lit_records(pontex, 1, 1, lus), record('x', 256));
  lit_records(pontex, 2, 1, lus);
  EXPECT_EQ(lus, 0u);
  EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

TEST(FichierRecords, EcritureLoinApresLaFinRefusee) {
  DossierTemporaire d;
  constexpr std::size_t M = 64;  // a movement record
  ecrit_octets("W_CAIREC.WDO", record('h', M));
  FichierRecords f;
  ASSERT_TRUE(f.ouvre("W_CAIREC.WDO", M));
  const std::int64_t fin = static_cast<std::int64_t>(M);
  const std::int64_t limite = 1 + (fin + FichierRecords::ecart_max_octets) / M;

  // A damaged header count (2 billion movements) must not grow the file.
  EXPECT_FALSE(f.ecrit(2000000001, record('m', M).data()));
  EXPECT_FALSE(f.ecrit(limite + 1, record('m', M).data()));
  EXPECT_EQ(fs::file_size("W_CAIREC.WDO"), M);
  EXPECT_FALSE(f.ecrit(std::numeric_limits<std::int64_t>::max(), record('m', M).data()));
  EXPECT_FALSE(f.ecrit(0, record('m', M).data()));
  EXPECT_FALSE(f.ecrit(-5, record('m', M).data()));
  EXPECT_EQ(lit_octets("W_CAIREC.WDO"), record('h', M));

  // Up to the limit, a gap is allowed (the cash register may pre-size).
  ASSERT_TRUE(f.ecrit(limite, record('m', M).data()));
  EXPECT_EQ(f.nombre_records(), limite);

  std::size_t lus = 7;
  std::string tampon(M, ' ');
  EXPECT_FALSE(f.lit(0, tampon.data(), 1, lus));
  EXPECT_EQ(lus, 0u);
  EXPECT_FALSE(f.lit(std::numeric_limits<std::int64_t>::max(), tampon.data(), 1, lus));
}

TEST(FichierRecords, OuvertureRefuseeOuImpossible) {
  DossierTemporaire d;
  fs::create_directory("dossier");
  FichierRecords f;
  EXPECT_FALSE(f.ouvre("dossier", L));
#ifndef _WIN32
  ASSERT_EQ(::mkfifo("tube", 0644), 0);
  EXPECT_FALSE(f.ouvre("tube", L));  // at once, not waiting for a writer
#endif
  EXPECT_FALSE(f.est_ouvert());
  EXPECT_FALSE(f.ouvre("absent\\a.wdo", L));
  EXPECT_FALSE(f.ouvre("a.wdo", 0));
  EXPECT_FALSE(fs::exists("a.wdo"));
  std::size_t lus = 0;
  char tampon[L];
  EXPECT_FALSE(f.lit(1, tampon, 1, lus));
  EXPECT_FALSE(f.ecrit(1, tampon));
  EXPECT_EQ(f.nombre_records(), 0);
}

// A copy of a register the workstation may not write: the stock can still
// be read and exported, and a write is a failed step, not a lost one.
bool lecture_seule_lue_mais_pas_ecrite() {
  FichierRecords f;
  std::string tampon(256, ' ');
  std::size_t lus = 0;
  return f.ouvre("w_caiar4.wdo", 256) && f.lit(1, tampon.data(), 1, lus) && lus == 1 &&
         tampon == record('a', 256) && !f.ecrit(1, record('b', 256).data());
}

TEST(FichierRecords, FichierEnLectureSeuleLuMaisPasEcrit) {
  DossierTemporaire d;
  ecrit_octets("w_caiar4.wdo", record('a', 256));
  fs::permissions("w_caiar4.wdo",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
#ifndef _WIN32
  if (::geteuid() == 0) {
    // Root writes any file: check as an ordinary user, in a child process.
    EXPECT_EXIT(
        {
          if (::setgid(65534) != 0 || ::setuid(65534) != 0) std::_Exit(2);
          std::_Exit(lecture_seule_lue_mais_pas_ecrite() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
  } else {
    EXPECT_TRUE(lecture_seule_lue_mais_pas_ecrite());
  }
#else
  // Wine keeps the read-only mark as Unix permissions, which its root user
  // ignores; Windows itself refuses the write.
  const bool wine = ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version");
  if (wine) {
    fs::permissions("w_caiar4.wdo", fs::perms::owner_all);
    GTEST_SKIP() << "under Wine a read-only file can be written; the check needs Windows";
  }
  EXPECT_TRUE(lecture_seule_lue_mais_pas_ecrite());
#endif
  EXPECT_EQ(lit_octets("w_caiar4.wdo"), record('a', 256));
  // Windows refuses to delete a read-only file: give the folder back clean.
  fs::permissions("w_caiar4.wdo", fs::perms::owner_all);
}

TEST(FichierRecords, CrochetEchecEtCompteurs) {
  DossierTemporaire d;
  ecrit_octets("W_caiind.WDO", record('1') + record('2') + record('3'));
  std::optional<Operation> refusee;
  std::vector<std::string> chemins;
  EchecInjecte crochet([&](Operation op, std::string_view chemin) {
    chemins.emplace_back(chemin);
    return refusee == op;
  });

  FichierRecords f;
  refusee = Operation::ouverture;
  EXPECT_FALSE(f.ouvre("W_CAIREC.WDO", 64));
  EXPECT_FALSE(fs::exists("W_CAIREC.WDO"));

  refusee.reset();
  const CompteursES avant = compteurs_es();
  ASSERT_TRUE(f.ouvre("w_CAIIND.wdo", L));
  std::size_t lus = 0;
  lit_records(f, 1, 3, lus);
  EXPECT_EQ(lus, 3u);
  ASSERT_TRUE(f.ecrit(4, record('4').data()));
  EXPECT_EQ(compteurs_es().ouvertures - avant.ouvertures, 1u);
  EXPECT_EQ(compteurs_es().lectures - avant.lectures, 1u);  // three records, one call
  EXPECT_EQ(compteurs_es().ecritures - avant.ecritures, 1u);

  refusee = Operation::lecture;
  std::string tampon(L, ' ');
  EXPECT_FALSE(f.lit(1, tampon.data(), 1, lus));
  EXPECT_EQ(lus, 0u);

  refusee = Operation::ecriture;
  EXPECT_FALSE(f.ecrit(1, record('x').data()));
  EXPECT_EQ(lit_octets("W_caiind.WDO"), record('1') + record('2') + record('3') + record('4'));
  // The hook is told the path as the program names the file.
  EXPECT_EQ(chemins.back(), "w_CAIIND.wdo");
}

}  // namespace
}  // namespace pontex
