// The folders of one exchange, opened once at its start. The transit folder
// is shared with the stock server: its sub-folders are checked when opened
// and then reached only through what was opened, so that a name swapped for
// a link during the exchange cannot send a read, a copy or a deletion
// outside the transit folder.

#include <string>
#include <string_view>

#include "pontex/exchange/echange.h"
#include "pontex/exchange/textes_journal.h"

namespace pontex {

namespace {

// Opens `nom` of `parent` for the exchange. Refused (a link, a file in the
// folder's place) or unreadable, it stays closed and the journal names it as
// the shop writes it; a missing one stays closed silently, as before the
// settings window has made it.
void tient(const DossierTenu& parent, std::string_view nom, std::string_view affiche,
           DossierTenu& dossier, FenetreEchange& fenetre) {
  if (!parent.ouvert()) return;
  switch (ouvre_sous_dossier(parent, nom, dossier)) {
    case OuvertureDossier::ouvert:
    case OuvertureDossier::absent:
      return;
    case OuvertureDossier::refuse:
    case OuvertureDossier::echec:
      fenetre.ajoute_journal(std::string(textes::dossier_non_traite) + std::string(affiche),
                             SorteLigne::refus);
      return;
  }
}

}  // namespace

TenueDossiers::TenueDossiers(ValeursProgramme& valeurs, FenetreEchange& fenetre)
    : valeurs_(valeurs) {
  if (valeurs.dossiers) return;
  DossiersEchange& d = valeurs.dossiers.emplace();
  a_ouvert_ = true;
  // Unopened, the working file cannot be made and no file is taken.
  (void)ouvre_dossier("", d.courant);
  // The transit folder itself may be a link: it is the shop's own setting.
  // Missing, every sub-folder stays closed and the export says it was not
  // written.
  (void)ouvre_dossier(valeurs.config.transit, d.transit);
  tient(d.transit, "import", "import", d.reception, fenetre);
  tient(d.reception, "histo", "import\\histo", d.reception_histo, fenetre);
  tient(d.transit, "export", "export", d.emission, fenetre);
  tient(d.emission, "histo", "export\\histo", d.emission_histo, fenetre);
  // A process stopped while writing an export leaves its temporary file,
  // which the server never collects and nothing else would remove.
  if (d.emission.ouvert()) supprime_temporaires(d.emission);
}

TenueDossiers::~TenueDossiers() {
  if (a_ouvert_) valeurs_.dossiers.reset();
}

}  // namespace pontex
