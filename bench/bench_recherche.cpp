// Article lookup over an index of 32,767 sorted keys followed by 1,000
// unsorted keys (articles created since the cash register last sorted its
// index): hits in the sorted part, hits in the tail, misses.
//
// Besides the speed, each lookup's reads are checked against what the
// lookup is meant to do: one header read and its probes (at most
// 2 * ceil(log2 S)); after a miss of the halving search, one more header read
// and the tail from T down to S in blocks of 256 entries, one read call each.
// A lookup reading anything else stops the benchmark with an error.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "pontex/data/caisse.h"
#include "pontex/shared/fichiers.h"
#include "tools/fabrique_caisse.h"

namespace {

constexpr std::int32_t triees = 32767;
constexpr std::int32_t queue = 1000;
constexpr int bloc = 256;

struct Registre {
  std::filesystem::path chemin;
  std::string dossier;
  std::vector<pontex::fabrique::EntreeFabriquee> cles_triees;
  std::vector<pontex::fabrique::EntreeFabriquee> cles_queue;

  Registre() {
    chemin = std::filesystem::temp_directory_path() /
             ("pontex-bench-recherche-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(chemin);
    dossier = chemin.string() + "\\";
    pontex::fabrique::ParametresCaisse p;
    p.nombre_articles = triees + queue;  // one key per article: its code
    p.indexe_references = false;
    p.entrees_queue = queue;
    pontex::fabrique::ContenuCaisse c;
    if (!pontex::fabrique::fabrique_caisse(dossier, p, &c)) std::abort();
    cles_triees.assign(c.index.begin(), c.index.begin() + c.entrees_triees);
    cles_queue.assign(c.index.begin() + c.entrees_triees, c.index.end());
  }
  ~Registre() {
    std::error_code ec;
    std::filesystem::remove_all(chemin, ec);
  }
};

Registre& registre() {
  static Registre r;
  return r;
}

std::string reference_de(const std::string& cle) {
  std::string r = cle.substr(1);
  r.erase(r.find_last_not_of(' ') + 1);
  return r;
}

// Reads one lookup must make, from what it examined.
std::uint64_t lectures_attendues(const pontex::StatsRecherche& st) {
  std::uint64_t n = static_cast<std::uint64_t>(st.lectures_entete + st.lectures_triees);
  n += static_cast<std::uint64_t>((st.entrees_queue + bloc - 1) / bloc);
  return n;
}

void mesure(benchmark::State& state, const std::vector<std::string>& references,
            const std::vector<std::int32_t>& attendus, bool queue_attendue) {
  const Registre& r = registre();
  const pontex::Caisse caisse(r.dossier);
  const int sondes_max = 2 * static_cast<int>(std::ceil(std::log2(double(triees))));
  std::uint64_t lectures = 0;
  int pire_sondes = 0;
  std::size_t i = 0;
  for (auto _ : state) {
    pontex::StatsRecherche st;
    const std::uint64_t avant = pontex::compteurs_es().lectures;
    const std::int32_t n = caisse.cherche_article(references[i], &st).article;
    const std::uint64_t lues = pontex::compteurs_es().lectures - avant;
    benchmark::DoNotOptimize(n);
    if (n != attendus[i]) {
      state.SkipWithError(("wrong article for " + references[i]).c_str());
      break;
    }
    if (st.sondes > sondes_max || lues != lectures_attendues(st) ||
        st.lectures_entete != (queue_attendue ? 2 : 1) ||
        (queue_attendue && st.entrees_queue == 0)) {
      state.SkipWithError(("unexpected reads for " + references[i]).c_str());
      break;
    }
    lectures += lues;
    pire_sondes = std::max(pire_sondes, st.sondes);
    if (++i == references.size()) i = 0;
  }
  state.counters["recherches/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["lectures/recherche"] =
      benchmark::Counter(static_cast<double>(lectures), benchmark::Counter::kAvgIterations);
  state.counters["sondes max"] = pire_sondes;
}

void BM_TrouveeTriee(benchmark::State& state) {
  std::vector<std::string> refs;
  std::vector<std::int32_t> attendus;
  const auto& cles = registre().cles_triees;
  // Keys spread over the whole sorted part.
  for (std::size_t k = 0; k < cles.size(); k += 97) {
    refs.push_back(reference_de(cles[k].cle));
    attendus.push_back(cles[k].numero);
  }
  mesure(state, refs, attendus, false);
}

void BM_TrouveeQueue(benchmark::State& state) {
  std::vector<std::string> refs;
  std::vector<std::int32_t> attendus;
  for (const auto& e : registre().cles_queue) {
    refs.push_back(reference_de(e.cle));
    attendus.push_back(e.numero);
  }
  mesure(state, refs, attendus, true);
}

// Unknown references: codes no article carries, before, among and after the
// register's codes.
void BM_Absente(benchmark::State& state) {
  std::vector<std::string> refs;
  const auto& cles = registre().cles_triees;
  for (std::size_t k = 0; k < cles.size(); k += 131) {
    // An existing code with a wrong check digit: no article carries it.
    std::string r = reference_de(cles[k].cle);
    r.back() = static_cast<char>('0' + (r.back() - '0' + 1) % 10);
    refs.push_back(r);
  }
  refs.push_back("0");
  refs.push_back("ZZZ");
  std::vector<std::int32_t> attendus(refs.size(), -1);
  mesure(state, refs, attendus, true);
}

BENCHMARK(BM_TrouveeTriee);
BENCHMARK(BM_TrouveeQueue);
BENCHMARK(BM_Absente);

}  // namespace

BENCHMARK_MAIN();
