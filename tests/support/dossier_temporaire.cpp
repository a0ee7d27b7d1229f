#include "tests/support/dossier_temporaire.h"

#include <fstream>
#include <random>
#include <sstream>

namespace pontex::test {

namespace fs = std::filesystem;

DossierTemporaire::DossierTemporaire(bool entrer) : entre_(entrer) {
  std::random_device rd;
  for (;;) {
    std::ostringstream nom;
    nom << "pontex-test-" << std::hex << rd() << rd();
    chemin_ = fs::temp_directory_path() / nom.str();
    std::error_code ec;
    if (fs::create_directory(chemin_, ec)) break;
  }
  chemin_ = fs::canonical(chemin_);
  if (entre_) {
    precedent_ = fs::current_path();
    fs::current_path(chemin_);
  }
}

DossierTemporaire::~DossierTemporaire() {
  std::error_code ec;
  if (entre_) fs::current_path(precedent_, ec);
  fs::remove_all(chemin_, ec);
}

std::string DossierTemporaire::valeur_dossier() const { return chemin_.string() + "\\"; }

std::string lit_octets(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream o;
  o << f.rdbuf();
  return o.str();
}

void ecrit_octets(const fs::path& p, const std::string& octets) {
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(octets.data(), static_cast<std::streamsize>(octets.size()));
}

fs::path chemin_disque(std::string_view chemin) {
  const std::string natif = chemin_natif(chemin);
  return fs::path(std::u8string(natif.begin(), natif.end()));
}

Resultat ajoute_texte(std::string_view chemin, std::string_view contenu) {
  std::string texte;
  if (existe_entree(chemin))
    if (Resultat r = lit_texte(chemin, texte); !r) return r;
  return ecrit_texte(chemin, texte.append(contenu));
}

std::optional<std::chrono::nanoseconds> date_modification(std::string_view chemin) {
  std::error_code erreur;
  const auto date = fs::last_write_time(chemin_disque(chemin), erreur);
  if (erreur) return std::nullopt;
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::file_clock::to_sys(date).time_since_epoch());
}

}  // namespace pontex::test
