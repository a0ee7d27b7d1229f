#include "pontex/app/modele_journal.h"

#include <QColor>
#include <QFontMetrics>
#include <limits>

#include "pontex/exchange/textes_journal.h"
#include "pontex/fenetres/texte_1252.h"

namespace pontex::fenetres {

void ModeleJournal::ajoute(std::string_view horodatage, std::string_view message,
                           SorteLigne sorte) {
  lignes_.ajoute(horodatage, message, sorte);
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

QModelIndex ModeleJournal::index(int row, int column, const QModelIndex& parent) const {
  if (parent.isValid() || column != 0 || row < 0 || row >= ModeleJournal::rowCount()) return {};
  return createIndex(row, column);
}

int ModeleJournal::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return montrees_ + (avancement_.isEmpty() ? 0 : 1);
}

namespace {

// A reference refused for its leading spaces reads "Erreur reference :  ART-6",
// which looks like a valid reference turned down: on screen each of those
// spaces shows as a visible space sign. The journal file and the error
// file keep the line as written.
QString montre_espaces_reference(QString texte) {
  static const QString cle = depuis_1252(textes::erreur_reference);
  const qsizetype debut = texte.indexOf(cle);
  if (debut < 0) return texte;
  for (qsizetype i = debut + cle.size(); i < texte.size() && texte[i] == QLatin1Char(' '); ++i)
    texte[i] = QChar(0x2423);
  return texte;
}

}  // namespace

QVariant ModeleJournal::data(const QModelIndex& index, int role) const {
  // The tooltip gives the whole line, which the column may be too narrow
  // to show (a long folder name, a long line quoted from a file).
  if (!index.isValid() ||
      (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != role_alerte))
    return {};
  const int ligne = index.row();
  if (ligne == montrees_ && !avancement_.isEmpty()) {
    return role == role_alerte ? QVariant(false) : QVariant(avancement_);
  }
  if (ligne < 0 || ligne >= montrees_) return {};
  const auto i = static_cast<std::size_t>(ligne);
  if (role == role_alerte) return est_alerte(lignes_.sorte(i));
  return montre_espaces_reference(depuis_1252(lignes_.ligne(i)));
}

namespace {

// Dark enough to read on white, and kept apart from the selection's colours.
const QColor rouge_alerte(176, 0, 0);

}  // namespace

void DelegueJournal::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  option->textElideMode = Qt::ElideNone;
  if (!index.data(ModeleJournal::role_alerte).toBool()) return;
  option->font.setBold(true);
  option->fontMetrics = QFontMetrics(option->font);
  option->palette.setColor(QPalette::Text, rouge_alerte);
  // The warning sign where the font has it, else an exclamation mark.
  const char32_t signe = 0x26A0;
  option->text.prepend(option->fontMetrics.inFontUcs4(signe) ? QStringLiteral("\u26A0 ")
                                                             : QStringLiteral("! "));
}

}  // namespace pontex::fenetres
