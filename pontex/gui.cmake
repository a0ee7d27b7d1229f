# The Pontex program: its windows (main window, settings window, message
# dialog) on the widget library and the core.
#
# The windows are a static library so the tests can drive them in-process;
# the program is that library and a main().

add_library(pontex_app STATIC
  app/dossier_affiche.cpp
  app/form1.cpp
  app/form1_cycle.cpp
  app/form1_fond.cpp
  app/form1_journal.cpp
  app/form97.cpp
  app/outils.cpp
  app/modele_journal.cpp
  app/programme.cpp
)
set_target_properties(pontex_app PROPERTIES AUTOMOC ON)
target_link_libraries(pontex_app PUBLIC pontex_fenetres)
# The top of the house: the program's windows see every folder.
target_include_directories(pontex_app PUBLIC ${CMAKE_SOURCE_DIR})
# The configuration template the settings window offers when there is no
# "Pontex.wdo" yet (an installed system also copies it into a new working
# folder).
qt_add_resources(pontex_app "pontex_modele"
  PREFIX "/pontex"
  BASE data
  FILES data/modele_Pontex.wdo)

add_executable(Pontex app/main.cpp)
set_target_properties(Pontex PROPERTIES WIN32_EXECUTABLE ON)
target_link_libraries(Pontex PRIVATE pontex_app)
