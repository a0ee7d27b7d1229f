# The demo shop (Linux only, like the demo): the stock-server simulator's
# account and checks against the exchange procedures, and the whole demo laid
# out from this build and run for one exchange with the installed programs.
if(WIN32)
  return()
endif()

pontex_ajoute_test(test_serveur_simule test_serveur_simule.cpp LIENS pontex_serveur_simule)

if(PONTEX_GUI)
  # Installs the build into a temporary folder: everything must be built.
  add_test(NAME demo_un_echange
           COMMAND bash "${CMAKE_CURRENT_SOURCE_DIR}/test_demo.sh" "${CMAKE_SOURCE_DIR}"
                   "${CMAKE_BINARY_DIR}")
  set_tests_properties(demo_un_echange PROPERTIES
    TIMEOUT 120
    ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()
