# The Pontex program: its windows, built on the core.
#
# The windows are a static library so the tests can drive them in-process;
# the program is that library and a main().

set(PONTEX_FENETRES_SOURCES
  app/boite_fichiers.cpp
  app/controles.cpp
  app/dossier_affiche.cpp
  app/form1.cpp
  app/form1_cycle.cpp
  app/form1_fond.cpp
  app/form1_journal.cpp
  app/icc.cpp
  app/programme.cpp
  app/systeme.cpp
  app/texte_1252.cpp
  data/form97.cpp
  data/outils.cpp
)

add_library(pontex_fenetres STATIC ${PONTEX_FENETRES_SOURCES})
set_target_properties(pontex_fenetres PROPERTIES AUTOMOC ON)
target_link_libraries(pontex_fenetres PUBLIC pontex_core Qt6::Widgets)
# The configuration template the settings window offers when there is no
# "Pontex.wdo" yet (an installed system also copies it into a new working
# folder).
qt_add_resources(pontex_fenetres "pontex_modele"
  PREFIX "/pontex"
  BASE data
  FILES data/modele_Pontex.wdo)

add_executable(Pontex app/main.cpp)
set_target_properties(Pontex PROPERTIES WIN32_EXECUTABLE ON)
target_link_libraries(Pontex PRIVATE pontex_fenetres)
