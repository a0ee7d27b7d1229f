#include "pontex/app/modele_journal.h"

#include <limits>

#include "pontex/fenetres/texte_1252.h"

namespace pontex::fenetres {

void ModeleJournal::ajoute(std::string_view horodatage, std::string_view message) {
  lignes_.ajoute(horodatage, message);
}

bool ModeleJournal::montre_nouvelles() {
  // A list view counts its rows in an int; lines beyond that stay in the
  // store without being shown (two billion journal lines: never in a shop).
  constexpr std::size_t plus = std::numeric_limits<int>::max() - 1;
  const int total = static_cast<int>(std::min(lignes_.taille(), plus));
  if (total == montrees_) return false;
  beginInsertRows(QModelIndex(), montrees_, total - 1);
  montrees_ = total;
  endInsertRows();
  return true;
}

void ModeleJournal::met_avancement(const QString& texte) {
  if (texte.isEmpty() == avancement_.isEmpty()) {
    avancement_ = texte;
    if (!texte.isEmpty()) {
      const QModelIndex i = index(montrees_);
      emit dataChanged(i, i, {Qt::DisplayRole});
    }
    return;
  }
  if (texte.isEmpty()) {
    beginRemoveRows(QModelIndex(), montrees_, montrees_);
    avancement_.clear();
    endRemoveRows();
  } else {
    beginInsertRows(QModelIndex(), montrees_, montrees_);
    avancement_ = texte;
    endInsertRows();
  }
}

int ModeleJournal::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return montrees_ + (avancement_.isEmpty() ? 0 : 1);
}

QVariant ModeleJournal::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  const int ligne = index.row();
  if (ligne == montrees_ && !avancement_.isEmpty()) return avancement_;
  if (ligne < 0 || ligne >= montrees_) return {};
  return depuis_1252(lignes_.ligne(static_cast<std::size_t>(ligne)));
}

}  // namespace pontex::fenetres
