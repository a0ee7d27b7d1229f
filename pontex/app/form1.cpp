#include "pontex/app/form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

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

namespace pontex::fenetres {

namespace {

const QColor orange_titre(255, 192, 128);
const QColor orange_compteur(255, 224, 192);

// Trims the spaces a stored value is padded with.
bool est_blanc(const std::string& valeur) {
  return valeur.find_first_not_of(' ') == std::string::npos;
}

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
  programme_.journal_fenetre = [this](const QString& message) { ajoute_journal_texte(message); };
}

Form1::~Form1() { programme_.journal_fenetre = nullptr; }

void Form1::cree_controles() {
  const QFont normale = police_arial(12);
  const auto centre = Qt::AlignCenter;

  Label2 = cree_label(this, QStringLiteral("Fichiers en réception"),
                      rect_twips(180, 150, 3705, 315), normale, centre);
  met_fond(Label2, orange_titre);
  Label3 = cree_label(this, QStringLiteral("Fichiers en Emission"),
                      rect_twips(4020, 150, 3705, 315), normale, centre);
  met_fond(Label3, orange_titre);
  Label1 = cree_label(this, QStringLiteral("Journal des événements"),
                      rect_twips(7890, 150, 7185, 315), normale, centre);
  met_fond(Label1, orange_titre);

  File1 = new BoiteFichiers(this, "*.txt");
  place_twips(File1, 180, 510, 3705, 1440);
  File2 = new BoiteFichiers(this, "stock_*.txt");
  place_twips(File2, 4020, 510, 3705, 1440);
  // The journal: a view over a compact line store, since it keeps every
  // line of the process (an import journals one line per record).
  List1 = new QListView(this);
  place_twips(List1, 7890, 510, 7185, 8700);
  modele_journal = new ModeleJournal(List1);
  List1->setModel(modele_journal);
  List1->setUniformItemSizes(true);
  List1->setSelectionMode(QAbstractItemView::SingleSelection);
  List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  List1->setItemDelegate(new DelegueJournal(List1));
  List1->setTextElideMode(Qt::ElideNone);
  for (QListView* l : {static_cast<QListView*>(File1), static_cast<QListView*>(File2), List1}) {
    l->setFont(normale);
  }

  const auto gauche = Qt::AlignLeft | Qt::AlignVCenter;
  Label4 = cree_label(this, QStringLiteral(" Fichier Principal"), rect_twips(240, 3150, 2535, 405),
                      normale, gauche);
  Label5 = cree_label(this, QString(), rect_twips(2880, 3150, 4875, 405), normale, gauche);
  Label6 = cree_label(this, QStringLiteral(" Nb de fiches Articles"),
                      rect_twips(240, 3660, 2535, 405), normale, gauche);
  Label7 = cree_label(this, QString(), rect_twips(2880, 3660, 1455, 405), normale, centre);
  for (QLabel* l : {Label4, Label5, Label6, Label7}) {
    met_fond(l, Qt::white);
    met_bordure(l);
    l->setWordWrap(false);
  }

  Shape3 = new Forme(this, rect_twips(210, 4560, 7545, 1650), 3, std::nullopt);
  Image1 = new QLabel(this);
  place_twips(Image1, 540, 4770, 1755, 1230);
  Label13 = cree_label(this, QStringLiteral("Prochaine Analyse dans"),
                       rect_twips(4110, 4770, 2025, 1275), police_arial(18));
  Shape4 = new Forme(this, rect_twips(6120, 4800, 1275, 735), 1, orange_compteur);
  Label12 = cree_label(this, QString(), rect_twips(6210, 4890, 1035, 555), police_arial(24, true),
                       centre);
  Label14 = cree_label(this, QStringLiteral("minute(s)"), rect_twips(5940, 5580, 1545, 465),
                       police_arial(18));

  bt_stop = new ImageClic(this);
  place_twips(bt_stop, 210, 9540, 960, 960);
  bt_stop->setPixmap(icc::croix());
  bt_stop->setToolTip(QStringLiteral("Arrêt du logiciel"));
  Shape1 = new Forme(this, rect_twips(1260, 9540, 6435, 960), 3, std::nullopt);
  // Three lines inside the frame, up to the countdown's background: in
  // the two lines of its first layout the last word did not show.
  Label10 = cree_label(
      this,
      QStringLiteral("Cliquez ici pour stopper la procedure d'import / export pour rentrer dans le "
                     "mode parametrage"),
      rect_twips(1380, 9585, 4995, 870), normale, Qt::AlignLeft | Qt::AlignVCenter);
  Shape2 = new Forme(this, rect_twips(6450, 9660, 1095, 735), 1, orange_compteur);
  Label9 =
      cree_label(this, QString(), rect_twips(6630, 9750, 735, 555), police_arial(24, true), centre);
  // The click zone lies in front of everything it covers.
  Label11 = new ImageClic(this);
  place_twips(Label11, 30, 9330, 7755, 1365);
  Label11->raise();

  bt_outils = new ImageClic(this);
  place_twips(bt_outils, 7890, 9540, 960, 960);
  bt_outils->setPixmap(icc::outils());
  bt_outils->setToolTip(QStringLiteral("Outils / Parametrages"));
  Label18 = cree_label(this, QString(), rect_twips(13650, 9240, 495, 255), normale);
  Label18->setVisible(false);
  Image3 = new ImageClic(this);
  place_twips(Image3, 13140, 9510, 960, 960);
  Image3->setPixmap(icc::barre_taches());
  Image3->setToolTip(QStringLiteral("Mettre la fenêtre dans la barre des taches"));
  bt_fin = new ImageClic(this);
  place_twips(bt_fin, 14160, 9540, 960, 960);
  bt_fin->setPixmap(icc::fin());

  label_dernier_echange =
      cree_label(this, QString(), rect_twips(240, 6420, 7515, 405), normale, gauche);
  met_fond(label_dernier_echange, Qt::white);
  met_bordure(label_dernier_echange);
  label_dernier_echange->setWordWrap(false);
  label_attente_caisse =
      cree_label(this, QString(), rect_twips(240, 6960, 7515, 1215), police_arial(12, true));
  {
    QPalette rouge = label_attente_caisse->palette();
    rouge.setColor(QPalette::WindowText, QColor(192, 0, 0));
    label_attente_caisse->setPalette(rouge);
  }
  label_attente_caisse->hide();
  essai_caisse_ = new Minuteur(this);

  Timer1 = new Minuteur(this);
  Timer2 = new Minuteur(this);

  // Test controls: beyond the right edge of the client area, so nobody sees
  // or reaches them, and out of the tab order.
  List2 = new QListWidget(this);
  place_twips(List2, 16860, 1590, 2715, 330);
  Command3 = new QPushButton(QStringLiteral("Command3"), this);
  place_twips(Command3, 18570, 780, 675, 465);
  Command2 = new QPushButton(QStringLiteral("Analyse : prov_stk_ana_ron.txt"), this);
  place_twips(Command2, 16830, 2010, 4665, 645);
  Command1 = new QPushButton(QStringLiteral("Genere 5 ventes aleatoires"), this);
  place_twips(Command1, 16830, 2730, 4665, 645);
  for (QWidget* w : std::initializer_list<QWidget*>{List2, Command3, Command2, Command1}) {
    w->setFocusPolicy(Qt::NoFocus);
  }
  for (QPushButton* b : {Command2, Command1}) {
    QPalette pb = b->palette();
    pb.setColor(QPalette::Button, Qt::white);
    b->setPalette(pb);
  }

  // The journal first, then the lists, then the buttons from left to
  // right: the stop zone of the countdown, the settings, the background
  // mode, quitting. bt_stop has no action of its own (the zone over it
  // has).
  Label11->met_clavier(QStringLiteral("Stopper la procedure d'import / export"));
  bt_outils->met_clavier(bt_outils->toolTip());
  Image3->met_clavier(Image3->toolTip());
  bt_fin->met_clavier(QStringLiteral("Sortie du logiciel"));
  setTabOrder(List1, File1);
  setTabOrder(File1, File2);
  setTabOrder(File2, Label11);
  setTabOrder(Label11, bt_outils);
  setTabOrder(bt_outils, Image3);
  setTabOrder(Image3, bt_fin);

  // The two lists follow their folders between exchanges: what the server
  // drops or collects shows within a few seconds. Listing only reads the
  // folders.
  suivi_dossiers_ = new QTimer(this);
  suivi_dossiers_->setInterval(2000);
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

  ValeursProgramme& v = programme_.valeurs;
  charge_parametres(v);
  if (v.config.ficbase_lu) Label5->setText(dossier_affiche(v.config.ficbase));
  Label7->setText(QString::number(v.nombre_articles));
  montre_dernier_echange(lit_dernier_echange());

  const bool caisse_presente = v.caisse.fichier_principal_present();
  if (caisse_presente) {
    // A later start that misses this folder waits for it. A store that
    // cannot be written leaves that start asking the shop, as it always did.
    (void)retient_caisse(v.config.ficbase);
  } else if (!caisse_connue(v.config.ficbase)) {
    // A folder that never held data here: only a person can mend that.
    ajoute_journal_texte(texte_sans_donnees_caisse(v.config.ficbase));
    programme_.code_message = -1;
    affiche_message(programme_.code_message, programme_.dialogue, programme_.saut_ligne,
                    v.config.ficbase, this);
    if (programme_.fini()) return;
    bt_outils_Click();
    // Nothing is armed: no exchange in this process.
    return;
  } else {
    commence_attente_caisse();
  }

  affiche_dossiers();
  suivi_dossiers_->start();

  if (caisse_presente && Label9->text().isEmpty()) {
    Label9->setText(QStringLiteral("5"));
    Timer1->met_intervalle(1000);
  }

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

  QCoreApplication::processEvents();
}

void Form1::montre() {
  if (programme_.fini()) return;
  // Restarted or started at login, the window comes up without taking the
  // keyboard from the till; a click on it gives it the focus as usual.
  if (sans_focus_) setAttribute(Qt::WA_ShowWithoutActivating);
  if (demarre_reduit_) {
    showMinimized();
  } else {
    show();
  }
  List1->setFocus();
}

void Form1::bt_fin_Click() {
  programme_.dialogue.mode = mode_question;
  programme_.dialogue.message = QStringLiteral(
      "Confirmer la sortie du logiciel, l'envoi de données sera désactivée jusqu'au prochain "
      "lancement ?");
  form97::montre(programme_.dialogue, this);
  if (programme_.fini()) return;
  if (programme_.dialogue.mode == reponse_oui) {
    ajoute_journal_texte(QStringLiteral("Sortie du logiciel confirmée"));
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
  ajoute_journal_texte(texte);
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
  if (!v.caisse.fichier_principal_present()) return;
  arrete_attente_caisse();
  ajoute_journal_texte(QStringLiteral("Données de caisse retrouvées : ") +
                       dossier_affiche(v.config.ficbase));
  // The article count was read while the folder was away.
  std::int32_t nombre = 0;
  if (v.caisse.ouvre_articles(nombre)) v.nombre_articles = nombre;
  v.caisse.ferme_articles();
  Label7->setText(QString::number(v.nombre_articles));
  suit_dossiers();
  // The start countdown, as at any start: the shop may still stop it.
  if (Label9->text().isEmpty()) {
    Label9->setText(QStringLiteral("5"));
    Timer1->met_intervalle(1000);
  }
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

void Form1::signale_transit_absent() {
  const std::string& transit = programme_.valeurs.config.transit;
  for (const char* sous_dossier : {"import", "export"}) {
    const std::string dossier = transit + sous_dossier;
    if (!existe_dossier(dossier)) {
      ajoute_journal_texte(depuis_1252(textes::transit_absent) + dossier_affiche(dossier));
    }
  }
}

void Form1::closeEvent(QCloseEvent* e) {
  // The window manager's close is the quit button: the question, and the
  // program ends only on yes. The window never goes away on its own.
  e->ignore();
  if (!programme_.fini()) bt_fin_Click();
}

}  // namespace pontex::fenetres
