#pragma once
// The journal list's model: the lines of a compact line store, shown by a
// list view that asks only for the lines it draws. Lines are added to the
// store at once and shown to the view in batches (montre_nouvelles), so that
// an import journaling 100,000 lines does not lay the list out 100,000
// times. While a long exchange runs, one more line below the journal tells
// how far it has come; it is not a journal line and goes when the exchange
// ends. Lines that tell of an error or a refusal stand out: the delegate
// draws them in bold and red behind a warning mark, which a black-and-white
// screenshot keeps; their text is left as the exchange wrote it.

#include <QAbstractListModel>
#include <QString>
#include <QStyledItemDelegate>
#include <string_view>

#include "pontex/shared/lignes_journal.h"

namespace pontex::fenetres {

class ModeleJournal : public QAbstractListModel {
  Q_OBJECT
 public:
  using QAbstractListModel::QAbstractListModel;

  // Appends stamp + " - " + message (Windows-1252 bytes) to the store; the
  // view sees it at the next montre_nouvelles().
  void ajoute(std::string_view horodatage, std::string_view message,
              SorteLigne sorte = SorteLigne::information);
  // Shows the view the lines added since the last call; false when there
  // were none.
  bool montre_nouvelles();

  const LignesJournal& lignes() const { return lignes_; }
  // Journal lines the view knows of (the progress line not counted).
  int lignes_montrees() const { return montrees_; }

  // The progress line below the journal; an empty text takes it away.
  void met_avancement(const QString& texte);
  bool avancement_montre() const { return !avancement_.isEmpty(); }

  // True for the journal lines of an error or a refusal.
  static constexpr int role_alerte = Qt::UserRole + 1;

  // The view asks for an index of every row each time it lays its rows out
  // (a whole journal after each batch); the base class's bounds checks
  // through virtual calls cost more than the rest of that.
  QModelIndex index(int row, int column = 0,
                    const QModelIndex& parent = QModelIndex()) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  LignesJournal lignes_;
  int montrees_ = 0;
  QString avancement_;
};

// Draws the journal's lines: clipped at the list's edge as a list box clips
// them, never shortened with "…" (a movement line ends with its
// designation's padding, which would hide the end of a line that fits), and
// the alert lines marked.
class DelegueJournal : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  // Public so that what a line looks like can be checked without pixels.
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace pontex::fenetres
