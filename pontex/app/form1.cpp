#include "pontex/app/form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <optional>
#include <variant>

#include "pontex/app/dossier_affiche.h"
#include "pontex/app/form97.h"
#include "pontex/app/modele_journal.h"
#include "pontex/app/outils.h"
#include "pontex/app/programme.h"
#include "pontex/data/inter_logg.h"
#include "pontex/data/memoire.h"
#include "pontex/exchange/textes_journal.h"
#include "pontex/fenetres/boite_fichiers.h"
#include "pontex/fenetres/controles.h"
#include "pontex/fenetres/icc.h"
#include "pontex/fenetres/texte_1252.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/processus.h"
#include "pontex/shared/texte.h"

namespace pontex::fenetres {

namespace {

// What a row of the window's table builds.
enum class Sorte {
  label,
  image,         // a picture loaded at start-up
  forme,         // a rounded frame or background
  fichiers,      // a file list; its text is the name pattern
  journal,       // the journal's list
  bouton_image,  // a picture that reacts to a click; its text is the tooltip
  liste,
  bouton,
};
using enum Sorte;

// Where a row's control is kept in Form1.
using Membre = std::variant<QLabel * Form1::*, ImageClic * Form1::*, Forme * Form1::*,
                            BoiteFichiers * Form1::*, QListView * Form1::*, QListWidget * Form1::*,
                            QPushButton * Form1::*>;

// Arial in points; 0 keeps the window's own font (Arial 12).
struct Police {
  double points = 0;
  bool gras = false;
};

struct Aspect {
  Qt::Alignment alignement = Qt::AlignLeft | Qt::AlignTop;
  // A label's background, a button's face, a filled shape.
  std::optional<QColor> fond = std::nullopt;
  bool bordure = false;      // a label's thin single border
  int trait = 0;             // a shape's outline, in pixels
  bool retour_ligne = true;  // a label's long text wraps
  bool visible = true;
  std::optional<QColor> encre = std::nullopt;  // a label's text, when not black
  const QPixmap& (*image)() = nullptr;
  bool hors_clavier = false;  // out of the tab order
};

struct Controle {
  Membre membre;
  Sorte sorte;
  int gauche, haut, largeur, hauteur;  // twips
  const char* texte;
  Police police;
  Aspect aspect;
};

constexpr QColor orange_titre(255, 192, 128);
constexpr QColor orange_compteur(255, 224, 192);
constexpr QColor blanc(255, 255, 255);
constexpr QColor rouge(192, 0, 0);

constexpr Police arial_12{12}, arial_12_gras{12, true}, arial_18{18}, arial_24_gras{24, true};
constexpr Police heritee{};

constexpr auto centre = Qt::AlignCenter;
constexpr auto gauche = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Aspect normal{};
constexpr Aspect a_gauche{.alignement = gauche};
constexpr Aspect cache{.visible = false};
constexpr Aspect titre{.alignement = centre, .fond = orange_titre};
constexpr Aspect case_blanche{
    .alignement = gauche, .fond = blanc, .bordure = true, .retour_ligne = false};
constexpr Aspect case_centree{
    .alignement = centre, .fond = blanc, .bordure = true, .retour_ligne = false};
constexpr Aspect compteur{.alignement = centre};
constexpr Aspect cadre{.trait = 3};
constexpr Aspect fond_compteur{.fond = orange_compteur, .trait = 1};
constexpr Aspect alerte{.visible = false, .encre = rouge};
constexpr Aspect croix{.image = &icc::croix}, engrenages{.image = &icc::outils},
    vers_barre{.image = &icc::barre_taches}, marche_arret{.image = &icc::fin};
constexpr Aspect essai{.hors_clavier = true};
constexpr Aspect essai_blanc{.fond = blanc, .hors_clavier = true};

// The main window, one row a control, in the order the controls lie on top
// of each other: a later row is in front of the earlier ones it overlaps
// (the frames behind their labels, the click zone Label11 in front of the
// stop block). Left, top, width and height in twips, as it was designed.
constexpr Controle controles_form1[] = {
    {&Form1::Label2, label, 180, 150, 3705, 315, "Fichiers en réception", arial_12, titre},
    {&Form1::Label3, label, 4020, 150, 3705, 315, "Fichiers en Emission", arial_12, titre},
    {&Form1::Label1, label, 7890, 150, 7185, 315, "Journal des événements", arial_12, titre},
    {&Form1::File1, fichiers, 180, 510, 3705, 1440, "*.txt", arial_12, normal},
    {&Form1::File2, fichiers, 4020, 510, 3705, 1440, "stock_*.txt", arial_12, normal},
    {&Form1::List1, journal, 7890, 510, 7185, 8700, "", arial_12, normal},
    {&Form1::Label4, label, 240, 3150, 2535, 405, " Fichier Principal", arial_12, case_blanche},
    {&Form1::Label5, label, 2880, 3150, 4875, 405, "", arial_12, case_blanche},
    {&Form1::Label6, label, 240, 3660, 2535, 405, " Nb de fiches Articles", arial_12, case_blanche},
    {&Form1::Label7, label, 2880, 3660, 1455, 405, "", arial_12, case_centree},
    {&Form1::Shape3, forme, 210, 4560, 7545, 1650, "", heritee, cadre},
    {&Form1::Image1, image, 540, 4770, 1755, 1230, "", heritee, normal},
    {&Form1::Label13, label, 4110, 4770, 2025, 1275, "Prochaine Analyse dans", arial_18, normal},
    {&Form1::Shape4, forme, 6120, 4800, 1275, 735, "", heritee, fond_compteur},
    {&Form1::Label12, label, 6210, 4890, 1035, 555, "", arial_24_gras, compteur},
    {&Form1::Label14, label, 5940, 5580, 1545, 465, "minute(s)", arial_18, normal},
    {&Form1::bt_stop, bouton_image, 210, 9540, 960, 960, "Arrêt du logiciel", heritee, croix},
    {&Form1::Shape1, forme, 1260, 9540, 6435, 960, "", heritee, cadre},
    // Three lines inside the frame, up to the countdown's background: in the
    // two lines of its first layout the last word did not show.
    {&Form1::Label10, label, 1380, 9585, 4995, 870,
     "Cliquez ici pour stopper la procedure d'import / export pour rentrer dans le mode "
     "parametrage",
     arial_12, a_gauche},
    {&Form1::Shape2, forme, 6450, 9660, 1095, 735, "", heritee, fond_compteur},
    {&Form1::Label9, label, 6630, 9750, 735, 555, "", arial_24_gras, compteur},
    {&Form1::Label11, bouton_image, 30, 9330, 7755, 1365, "", heritee, normal},
    {&Form1::bt_outils, bouton_image, 7890, 9540, 960, 960, "Outils / Parametrages", heritee,
     engrenages},
    {&Form1::Label18, label, 13650, 9240, 495, 255, "", arial_12, cache},
    {&Form1::Image3, bouton_image, 13140, 9510, 960, 960,
     "Mettre la fenêtre dans la barre des taches", heritee, vers_barre},
    {&Form1::bt_fin, bouton_image, 14160, 9540, 960, 960, "", heritee, marche_arret},
    // Below the countdown block: the last exchange, the wait for the register.
    {&Form1::label_dernier_echange, label, 240, 6420, 7515, 405, "", arial_12, case_blanche},
    {&Form1::label_attente_caisse, label, 240, 6960, 7515, 1215, "", arial_12_gras, alerte},
    {&Form1::label_attente_relance, label, 240, 6960, 7515, 1215, "", arial_12_gras, alerte},
    // Test controls: beyond the right edge of the client area, so nobody sees
    // or reaches them, and out of the tab order.
    {&Form1::List2, liste, 16860, 1590, 2715, 330, "", heritee, essai},
    {&Form1::Command3, bouton, 18570, 780, 675, 465, "Command3", heritee, essai},
    {&Form1::Command2, bouton, 16830, 2010, 4665, 645, "Analyse : prov_stk_ana_ron.txt", heritee,
     essai_blanc},
    {&Form1::Command1, bouton, 16830, 2730, 4665, 645, "Genere 5 ventes aleatoires", heritee,
     essai_blanc},
};

template <class T>
constexpr bool est(const Controle& c) {
  return std::holds_alternative<T * Form1::*>(c.membre);
}

// A row's control is always of its member's class: checked when building.
constexpr bool va_dans_son_membre(const Controle& c) {
  switch (c.sorte) {
    case label:
    case image:
      return est<QLabel>(c);
    case forme:
      return est<Forme>(c);
    case fichiers:
      return est<BoiteFichiers>(c);
    case journal:
      return est<QListView>(c);
    case bouton_image:
      return est<ImageClic>(c);
    case liste:
      return est<QListWidget>(c);
    case bouton:
      return est<QPushButton>(c);
  }
  return false;
}
static_assert(std::ranges::all_of(controles_form1, va_dans_son_membre));

template <class T>
void range(Form1& f, T* Form1::*membre, QWidget* w) {
  f.*membre = static_cast<T*>(w);
}

QRect rect_de(const Controle& c) { return rect_twips(c.gauche, c.haut, c.largeur, c.hauteur); }

void met_couleur(QWidget* w, QPalette::ColorRole role, const QColor& couleur) {
  QPalette p = w->palette();
  p.setColor(role, couleur);
  w->setPalette(p);
}

QLabel* cree_texte(QWidget* parent, const Controle& c) {
  const Aspect& a = c.aspect;
  QLabel* l = cree_label(parent, QString::fromUtf8(c.texte), rect_de(c),
                         police_arial(c.police.points, c.police.gras), a.alignement);
  if (a.fond) met_fond(l, *a.fond);
  if (a.bordure) met_bordure(l);
  l->setWordWrap(a.retour_ligne);
  if (a.encre) met_couleur(l, QPalette::WindowText, *a.encre);
  return l;
}

ImageClic* cree_bouton_image(QWidget* parent, const Controle& c) {
  auto* b = new ImageClic(parent);
  if (c.aspect.image) b->setPixmap(c.aspect.image());
  if (*c.texte) b->setToolTip(QString::fromUtf8(c.texte));
  return b;
}

QPushButton* cree_bouton(QWidget* parent, const Controle& c) {
  auto* b = new QPushButton(QString::fromUtf8(c.texte), parent);
  if (c.aspect.fond) met_couleur(b, QPalette::Button, *c.aspect.fond);
  return b;
}

QWidget* cree(QWidget* parent, const Controle& c) {
  switch (c.sorte) {
    case label:
      return cree_texte(parent, c);
    case image:
      return new QLabel(parent);
    case forme:
      return new Forme(parent, rect_de(c), c.aspect.trait, c.aspect.fond);
    case fichiers:
      return new BoiteFichiers(parent, c.texte);
    // The journal: a view over a compact line store, since it keeps every
    // line of the process (an import journals one line per record).
    case journal:
      return new QListView(parent);
    case bouton_image:
      return cree_bouton_image(parent, c);
    case liste:
      return new QListWidget(parent);
    case bouton:
      return cree_bouton(parent, c);
  }
  return nullptr;
}

// A stored value is padded with spaces: only spaces means nothing stored.
bool est_blanc(const std::string& valeur) { return sans_espaces(valeur).empty(); }

}  // namespace

Form1::Form1(Programme& programme) : QWidget(nullptr), programme_(programme) {
  setObjectName(QStringLiteral("Form1"));
  // A title bar without buttons: quitting goes through bt_fin, minimising
  // through Image3.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setWindowTitle(QStringLiteral("Pontex / Serveur : 2021-02.26.ap"));
  setWindowIcon(icc::icone());
  habille_fenetre_principale(*this);
  cree_controles();
  std::vector<std::string> arguments;
  const QStringList qarguments = QCoreApplication::arguments();
  for (qsizetype i = 1; i < qarguments.size(); ++i)
    arguments.push_back(qarguments[i].toStdString());
  lancement_ = mode_lancement_demande(arguments);
  programme_.journal_fenetre = [this](const QString& message, SorteLigne sorte) {
    ajoute_journal_texte(message, sorte);
  };
  // Queued: the settings window may be closing, or its text changing, as
  // it is called.
  programme_.parametrage_libere = [this] {
    QMetaObject::invokeMethod(this, &Form1::reprend_relance, Qt::QueuedConnection);
  };
}

Form1::~Form1() {
  programme_.journal_fenetre = nullptr;
  programme_.parametrage_libere = nullptr;
}

void Form1::cree_controles() {
  for (const Controle& c : controles_form1) {
    QWidget* w = cree(this, c);
    w->setGeometry(rect_de(c));
    if (c.police.points > 0) w->setFont(police_arial(c.police.points, c.police.gras));
    if (!c.aspect.visible) w->hide();
    if (c.aspect.hors_clavier) w->setFocusPolicy(Qt::NoFocus);
    std::visit([&](auto membre) { range(*this, membre, w); }, c.membre);
  }
  prepare_journal();
  depart_.attache(Label9);
  redemarrage_.attache(Label12);
  essai_caisse_ = new Minuteur(this);
  Timer1 = new Minuteur(this);
  Timer2 = new Minuteur(this);
  ordonne_clavier();
  // The two lists follow their folders between exchanges: what the server
  // drops or collects shows within a few seconds. Listing only reads the
  // folders.
  suivi_dossiers_ = new QTimer(this);
  suivi_dossiers_->setInterval(2000);
  relie_evenements();
}

void Form1::prepare_journal() {
  modele_journal = new ModeleJournal(List1);
  List1->setModel(modele_journal);
  List1->setUniformItemSizes(true);
  List1->setSelectionMode(QAbstractItemView::SingleSelection);
  List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  List1->setItemDelegate(new DelegueJournal(List1));
  List1->setTextElideMode(Qt::ElideNone);
}

void Form1::ordonne_clavier() {
  // The journal first, then the lists, then the buttons from left to
  // right: the stop zone of the countdown, the settings, the background
  // mode, quitting. bt_stop has no action of its own (the zone over it
  // has).
  Label11->met_clavier(QStringLiteral("Stopper la procedure d'import / export"));
  bt_outils->met_clavier(bt_outils->toolTip());
  Image3->met_clavier(Image3->toolTip());
  bt_fin->met_clavier(QStringLiteral("Sortie du logiciel"));
  QWidget* const ordre[] = {List1, File1, File2, Label11, bt_outils, Image3, bt_fin};
  for (std::size_t i = 1; i < std::size(ordre); ++i) setTabOrder(ordre[i - 1], ordre[i]);
}

void Form1::relie_evenements() {
  connect(suivi_dossiers_, &QTimer::timeout, this, &Form1::suit_dossiers);
  connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
  connect(Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
  connect(Label11, &ImageClic::clic, this, &Form1::Label11_Click);
  connect(essai_caisse_, &QTimer::timeout, this, &Form1::essaie_caisse);
  connect(bt_outils, &ImageClic::clic, this, &Form1::bt_outils_Click);
  connect(Image3, &ImageClic::clic, this, &Form1::Image3_Click);
  connect(bt_fin, &ImageClic::clic, this, &Form1::bt_fin_Click);
  connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
  connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
}

void Form1::Form_Load() {
  place_fenetre(*this);
  programme_.saut_ligne = QStringLiteral("\r\n");
  programme_.journal.nettoie(programme_.valeurs.horloge->maintenant());
  ajoute_journal_texte(QStringLiteral("Démarrage"));
  charge_image(Image1, QStringLiteral("qz_img_024.gif"));
  montre_parametres();
  const EtatCaisse caisse = verifie_caisse();
  if (caisse == EtatCaisse::inconnue) return;
  affiche_dossiers();
  suivi_dossiers_->start();
  if (caisse == EtatCaisse::presente) arme_depart();
  prend_mode_fond();
  QCoreApplication::processEvents();
}

void Form1::montre_parametres() {
  ValeursProgramme& v = programme_.valeurs;
  charge_parametres(v);
  if (v.config.ficbase_lu) Label5->setText(dossier_affiche(v.config.ficbase));
  Label7->setText(QString::number(v.nombre_articles));
  montre_dernier_echange(lit_dernier_echange());
}

Form1::EtatCaisse Form1::verifie_caisse() {
  ValeursProgramme& v = programme_.valeurs;
  if (v.caisse.fichier_principal_present()) {
    // A later start that misses this folder waits for it. A store that
    // cannot be written leaves that start asking the shop, as it always did.
    (void)retient_caisse(v.config.ficbase);
    return EtatCaisse::presente;
  }
  if (caisse_connue(v.config.ficbase)) {
    commence_attente_caisse();
    return EtatCaisse::attendue;
  }
  // A folder that never held data here: only a person can mend that.
  ajoute_journal_texte(texte_sans_donnees_caisse(v.config.ficbase), SorteLigne::erreur);
  programme_.code_message = -1;
  affiche_message(programme_.code_message, programme_.dialogue, programme_.saut_ligne,
                  v.config.ficbase, this);
  // Nothing is armed: no exchange in this process.
  if (!programme_.fini()) bt_outils_Click();
  return EtatCaisse::inconnue;
}

void Form1::arme_depart() {
  // The start countdown, as at any start: the shop may still stop it.
  if (!depart_.vide()) return;
  depart_.affiche(QStringLiteral("5"));
  Timer1->met_intervalle(1000);
}

void Form1::prend_mode_fond() {
  // Background mode, kept across restarts in the window-state store. A start
  // asked for minimised without the focus (by the relauncher, or on Windows
  // by a shortcut set to "Minimised") also starts minimised and leaves the
  // focus where it is; the store alone decides the mode.
  const bool fond = !est_blanc(lit_logg("POSIFEN"));
  Label18->setText(fond ? QStringLiteral("1") : QString());
  sans_focus_ = lancement_ != Fenetre_lancement::normale;
  demarre_reduit_ = fond || lancement_ == Fenetre_lancement::reduite_sans_focus;
  // Not handed down to the programs this process starts: they get their
  // own request.
  qunsetenv("PONTEX_DEMARRAGE_REDUIT");
  setWindowState(demarre_reduit_ ? Qt::WindowMinimized : Qt::WindowNoState);
}

void Form1::montre() {
  if (programme_.fini()) return;
  // Restarted or started at login, the window comes up without taking the
  // keyboard from the till; a click on it gives it the focus as usual.
  // Restarted or started at login, the window comes up below the window in
  // use, without taking the keyboard from the till; a click on it brings it
  // up as usual.
  if (sans_focus_) {
    montre_sans_couvrir(*this, demarre_reduit_);
  } else if (demarre_reduit_) {
    showMinimized();
  } else {
    show();
  }
  List1->setFocus();
}

void Form1::bt_fin_Click() {
  programme_.dialogue.mode = ModeDialogue::question;
  programme_.dialogue.message = QStringLiteral(
      "Confirmer la sortie du logiciel, l'envoi de données sera désactivée jusqu'au prochain "
      "lancement ?");
  form97::montre(programme_.dialogue, this);
  if (programme_.fini()) return;
  if (programme_.dialogue.mode == ModeDialogue::oui) {
    const QString sortie = QStringLiteral("Sortie du logiciel confirmée");
    ajoute_journal_texte(sortie);
    // Monitoring knows now, not when the next exchange is overdue.
    programme_.note_etat(EtatPontex::arrete_utilisateur, sortie);
    programme_.termine();
  }
}

void Form1::bt_outils_Click() {
  // The shop is at the window: no exchange starts under the settings.
  if (Timer1->intervalle() != 0 || attend_caisse()) {
    ajoute_journal_texte(QStringLiteral("Procedure d'import / export stoppée : paramétrage"));
  }
  Timer1->met_intervalle(0);
  arrete_attente_caisse();
  outils::montre(programme_, this);
}

void Form1::commence_attente_caisse() {
  const QString texte = depuis_1252(textes::caisse_absente) +
                        dossier_affiche(programme_.valeurs.config.ficbase) +
                        QStringLiteral(" nouvel essai dans %1 s").arg(delai_essai_caisse_s);
  // Journaled once: the window keeps saying it while the wait lasts.
  ajoute_journal_texte(texte, SorteLigne::arret);
  programme_.note_etat(EtatPontex::caisse_absente, texte);
  label_attente_caisse->setText(texte);
  label_attente_caisse->show();
  essai_caisse_->met_intervalle(int(delai_essai_caisse_.count()));
}

void Form1::arrete_attente_caisse() {
  essai_caisse_->met_intervalle(0);
  label_attente_caisse->hide();
}

bool Form1::attend_caisse() const { return essai_caisse_->intervalle() != 0; }

void Form1::essaie_caisse() {
  if (programme_.fini() || !attend_caisse()) return;
  ValeursProgramme& v = programme_.valeurs;
  // Every file the exchange reads, not the main file alone: an index still
  // missing would stop the next exchange at once.
  std::string fichier;
  if (!v.caisse.verifie_lisible(fichier)) return;
  arrete_attente_caisse();
  ajoute_journal_texte(QStringLiteral("Données de caisse retrouvées : ") +
                       dossier_affiche(v.config.ficbase));
  // The article count was read while the folder was away.
  std::int32_t nombre = 0;
  if (v.caisse.ouvre_articles(nombre)) v.nombre_articles = nombre;
  v.caisse.ferme_articles();
  Label7->setText(QString::number(v.nombre_articles));
  suit_dossiers();
  arme_depart();
}

void Form1::montre_dernier_echange(const std::string& quand) {
  label_dernier_echange->setText(QStringLiteral(" Dernier échange réussi : ") +
                                 (quand.empty() ? QStringLiteral("aucun") : depuis_1252(quand)));
}

void Form1::note_echange_reussi() {
  // A store that cannot be written still shows this process's exchange.
  const DateHeure maintenant = programme_.valeurs.horloge->maintenant();
  (void)retient_dernier_echange(maintenant);  // not kept: the label still shows it
  montre_dernier_echange(format_date_echange(maintenant));
}

QString Form1::signale_transit_absent() {
  const std::string& transit = programme_.valeurs.config.transit;
  QString premier;
  for (const char* sous_dossier : {"import", "export"}) {
    const std::string dossier = transit + sous_dossier;
    if (!existe_dossier(dossier)) {
      const QString ligne = depuis_1252(textes::transit_absent) + dossier_affiche(dossier);
      ajoute_journal_texte(ligne, SorteLigne::refus);
      if (premier.isEmpty()) premier = ligne;
    }
  }
  return premier;
}

void Form1::closeEvent(QCloseEvent* e) {
  // The window manager's close is the quit button: the question, and the
  // program ends only on yes. The window never goes away on its own.
  e->ignore();
  if (!programme_.fini()) bt_fin_Click();
}

}  // namespace pontex::fenetres
