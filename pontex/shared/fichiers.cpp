// The path operations of fichiers.h, the same on every system: the test
// hook asked first, whole-or-nothing texts and copies, nothing kept open.
// The system calls under them are in fichiers_posix.cpp / _win32.cpp.

#include "pontex/shared/fichiers.h"

#include "pontex/shared/fichiers_natifs.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

namespace {

using interne::CheminNatif;
using interne::CodeSysteme;
using interne::echec_code;
using interne::echec_injecte;
using interne::Natif;
using interne::Usage;

Resultat echec_injection(std::string_view chemin) {
  return Resultat::echec("failure injected for " + std::string(chemin));
}

// Hook, then path resolution.
Resultat prepare(Operation operation, std::string_view chemin, CheminNatif& c) {
  if (echec_injecte(operation, chemin)) return echec_injection(chemin);
  if (!interne::resout_natif(chemin, c)) return Resultat::echec("path holds a NUL byte");
  return Resultat::succes();
}

// Opens `c` and checks that it is a plain file: a named pipe or a device
// left where a file is expected must give a failed step, never a program
// that waits forever.
Resultat ouvre_fichier(const CheminNatif& c, Usage usage, Natif& f, std::uint64_t& taille) {
  CodeSysteme code = 0;
  if (!interne::ouvre_chemin(c, usage, f, code)) return echec_code("open", c.montre, code);
  bool simple = false;
  if (!interne::etat_ouvert(f.get(), simple, taille, code) || !simple)
    return Resultat::echec(c.montre + " is not a file");
  return Resultat::succes();
}

// A file written in part (full disk, failed read) is removed rather than
// left to be taken for a whole one: the working file would be applied in
// part, an archive would lie.
Resultat abandonne(Natif& f, const CheminNatif& c, const char* quoi, const std::string& chemin,
                   CodeSysteme code) {
  (void)f.ferme();  // already failed: the file goes
  CodeSysteme ignore = 0;
  (void)interne::supprime_chemin(c, ignore);  // a file left behind is the failure reported
  return echec_code(quoi, chemin, code);
}

Resultat ferme_ecrit(Natif& f, const CheminNatif& c, const char* quoi) {
  // The close reports a delayed write error (a full disk on some file
  // systems): a text or a copy that did not reach the disk is a failure.
  if (f.ferme()) return Resultat::succes();
  const CodeSysteme code = interne::derniere_erreur();
  return abandonne(f, c, quoi, c.montre, code);
}

}  // namespace

Resultat liste_fichiers(std::string_view dossier, std::string_view motif,
                        std::vector<std::string>& noms) {
  noms.clear();
  CheminNatif c;
  if (Resultat r = prepare(Operation::listage, dossier, c); !r) return r;
  std::vector<CheminNatif> chemins;
  CodeSysteme code = 0;
  if (!interne::liste_chemin(c, motif, noms, chemins, code)) {
    noms.clear();
    return echec_code("list", c.montre, code);
  }
  return Resultat::succes();
}

// The presence checks look into a folder as a file list box does: they are
// "listing" operations for the test hook.
bool existe_fichier(std::string_view chemin) {
  if (echec_injecte(Operation::listage, chemin)) return false;
  const interne::CheminDecoupe d = interne::decoupe_chemin(chemin);
  if (d.nom.empty()) return false;
  CheminNatif c;
  if (interne::est_motif(d.nom)) {
    std::vector<std::string> noms;
    std::vector<CheminNatif> chemins;
    CodeSysteme code = 0;
    return interne::resout_natif(d.dossier, c) &&
           interne::liste_chemin(c, d.nom, noms, chemins, code) && !noms.empty();
  }
  return interne::resout_natif(chemin, c) && interne::fichier_visible(c);
}

bool existe_dossier(std::string_view chemin) {
  if (echec_injecte(Operation::listage, chemin)) return false;
  CheminNatif c;
  return interne::resout_natif(chemin, c) && interne::est_dossier(c);
}

bool existe_entree(std::string_view chemin) {
  if (echec_injecte(Operation::listage, chemin)) return false;
  CheminNatif c;
  return interne::resout_natif(chemin, c) && interne::existe_natif(c);
}

Resultat synchronise_dossier(std::string_view chemin) {
  CheminNatif c;
  if (Resultat r = prepare(Operation::synchronisation, chemin, c); !r) return r;
  return interne::synchronise_chemin(c);
}

// The destination is written in place (it keeps its owner and permissions;
// a new one gets the usual ones), and only emptied once it is known not to
// be the source itself ("a.txt" copied to "A.TXT" reaches the same file).
Resultat copie_fichier(std::string_view source, std::string_view destination) {
  if (echec_injecte(Operation::copie, destination)) return echec_injection(destination);
  CheminNatif src, dst;
  if (Resultat r = prepare(Operation::copie, source, src); !r) return r;
  if (Resultat r = prepare(Operation::copie, destination, dst); !r) return r;
  Natif in, out;
  std::uint64_t taille = 0;
  if (Resultat r = ouvre_fichier(src, Usage::lecture, in, taille); !r) return r;
  CodeSysteme code = 0;
  if (!interne::ouvre_chemin(dst, Usage::ecriture, out, code))
    return echec_code("open", dst.montre, code);
  if (interne::meme_fichier(in.get(), out.get()))
    return Resultat::echec("cannot copy " + src.montre + " onto itself");
  bool simple = false;
  if (!interne::etat_ouvert(out.get(), simple, taille, code) || !simple)
    return Resultat::echec(dst.montre + " is not a file");

  if (!interne::coupe_a(out.get(), 0, code))
    return abandonne(out, dst, "truncate", dst.montre, code);
  char tampon[64 * 1024];
  for (std::int64_t position = 0;;) {
    const std::int64_t n = interne::lit_a(in.get(), tampon, sizeof tampon, position, code);
    if (n == interne::transfert_repris) continue;
    if (n == interne::transfert_rate) return abandonne(out, dst, "read", src.montre, code);
    if (n == 0) break;
    if (!interne::ecrit_suite(out.get(), tampon, static_cast<std::size_t>(n)))
      return abandonne(out, dst, "write", dst.montre, interne::derniere_erreur());
    position += n;
  }
  return ferme_ecrit(out, dst, "close");
}

Resultat renomme_fichier(std::string_view ancien, std::string_view nouveau) {
  if (echec_injecte(Operation::renommage, nouveau)) return echec_injection(nouveau);
  CheminNatif de, vers;
  if (Resultat r = prepare(Operation::renommage, ancien, de); !r) return r;
  if (Resultat r = prepare(Operation::renommage, nouveau, vers); !r) return r;
  CodeSysteme code = 0;
  if (!interne::renomme_chemin(de, vers, nouveau, code))
    return echec_code("rename", de.montre, code);
  return Resultat::succes();
}

Resultat supprime_fichier(std::string_view chemin) {
  CheminNatif c;
  if (Resultat r = prepare(Operation::suppression, chemin, c); !r) return r;
  CodeSysteme code = 0;
  if (!interne::supprime_chemin(c, code)) return echec_code("delete", c.montre, code);
  return Resultat::succes();
}

Resultat supprime_motif(std::string_view chemin) {
  if (echec_injecte(Operation::suppression, chemin)) return echec_injection(chemin);
  const interne::CheminDecoupe d = interne::decoupe_chemin(chemin);
  // "C:\...\Startup\" with an empty name must never mean "everything".
  if (d.nom.empty()) return Resultat::echec("empty file pattern: nothing deleted");
  CheminNatif dossier;
  if (!interne::resout_natif(d.dossier, dossier)) return Resultat::echec("path holds a NUL byte");
  std::vector<std::string> noms;
  std::vector<CheminNatif> chemins;
  CodeSysteme code = 0;
  if (!interne::liste_chemin(dossier, d.nom, noms, chemins, code))
    return echec_code("list", dossier.montre, code);
  if (chemins.empty()) return Resultat::echec("no file matches " + std::string(chemin));
  Resultat resultat = Resultat::succes();
  for (const CheminNatif& f : chemins)
    if (!interne::supprime_chemin(f, code) && resultat)
      resultat = echec_code("delete", f.montre, code);
  return resultat;
}

Resultat cree_dossier(std::string_view chemin) {
  CheminNatif c;
  if (Resultat r = prepare(Operation::creation_dossier, chemin, c); !r) return r;
  CodeSysteme code = 0;
  if (!interne::cree_dossier_chemin(c, code)) return echec_code("create folder", c.montre, code);
  return Resultat::succes();
}

std::optional<std::int64_t> taille_fichier(std::string_view chemin) {
  CheminNatif c;
  std::int64_t taille = 0;
  if (!prepare(Operation::lecture, chemin, c) || !interne::taille_chemin(c, taille))
    return std::nullopt;
  return taille;
}

Resultat lit_texte(std::string_view chemin, std::string& contenu) {
  contenu.clear();
  if (echec_injecte(Operation::lecture, chemin)) return echec_injection(chemin);
  CheminNatif c;
  if (Resultat r = prepare(Operation::ouverture, chemin, c); !r) return r;
  Natif f;
  std::uint64_t taille = 0;
  if (Resultat r = ouvre_fichier(c, Usage::lecture, f, taille); !r) return r;
  contenu.reserve(static_cast<std::size_t>(taille));
  char tampon[64 * 1024];
  CodeSysteme code = 0;
  for (;;) {
    const std::int64_t n = interne::lit_a(f.get(), tampon, sizeof tampon,
                                          static_cast<std::int64_t>(contenu.size()), code);
    if (n == interne::transfert_repris) continue;
    if (n == interne::transfert_rate) {
      contenu.clear();
      return echec_code("read", c.montre, code);
    }
    if (n == 0) break;
    contenu.append(tampon, static_cast<std::size_t>(n));
  }
  return Resultat::succes();
}

// Emptied once it is known to be a plain file, then written whole; a text
// cut short is removed (see abandonne).
Resultat ecrit_texte(std::string_view chemin, std::string_view contenu) {
  if (echec_injecte(Operation::ecriture, chemin)) return echec_injection(chemin);
  CheminNatif c;
  if (Resultat r = prepare(Operation::ouverture, chemin, c); !r) return r;
  Natif f;
  std::uint64_t taille = 0;
  if (Resultat r = ouvre_fichier(c, Usage::ecriture, f, taille); !r) return r;
  CodeSysteme code = 0;
  if (!interne::coupe_a(f.get(), 0, code)) return abandonne(f, c, "write", c.montre, code);
  if (!interne::ecrit_suite(f.get(), contenu.data(), contenu.size()))
    return abandonne(f, c, "write", c.montre, interne::derniere_erreur());
  return ferme_ecrit(f, c, "write");
}

}  // namespace pontex
