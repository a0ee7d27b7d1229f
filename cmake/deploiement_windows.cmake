# What the three programs need beside them on Windows, where neither Qt nor
# the compiler's runtime is installed: the Qt DLLs, the Qt plugins loaded at
# run time and the mingw-w64 runtime DLLs. They are copied into build/bin, so
# that the folder runs as it is on a shop's machine, and beside the test
# programs; the installation puts them beside the programs.

# The plugins the windows load: the platform, the native style, and the GIF
# and ICO readers (qz_img_024.gif, Kestrap.ico). Each goes into the
# sub-folder named after its type ("platforms", "styles", "imageformats"),
# where Qt looks beside the program.
set(pontex_plugins_qt
  Qt6::QWindowsIntegrationPlugin
  Qt6::QWindowsVistaStylePlugin
  Qt6::QGifPlugin
  Qt6::QICOPlugin)
set(pontex_dll_qt Qt6::Core Qt6::Gui Qt6::Widgets)

# The compiler's runtime, found where the compiler itself finds it.
set(pontex_dll_runtime)
foreach(dll IN ITEMS libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(
    COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=${dll}
    OUTPUT_VARIABLE chemin
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${chemin}" OR NOT EXISTS "${chemin}")
    message(FATAL_ERROR "${dll} not found by ${CMAKE_CXX_COMPILER}: the programs cannot run without it")
  endif()
  list(APPEND pontex_dll_runtime "${chemin}")
endforeach()

# Copies the DLLs and plugins into `dossier` when `cible` is built; extra
# Qt modules (Qt6::Test for the tests) after the folder.
function(pontex_deploie_windows cible dossier)
  set(commandes)
  foreach(module IN LISTS pontex_dll_qt ARGN)
    list(APPEND commandes COMMAND "${CMAKE_COMMAND}" -E copy_if_different
         "$<TARGET_FILE:${module}>" "${dossier}/")
  endforeach()
  foreach(dll IN LISTS pontex_dll_runtime)
    list(APPEND commandes COMMAND "${CMAKE_COMMAND}" -E copy_if_different "${dll}" "${dossier}/")
  endforeach()
  foreach(plugin IN LISTS pontex_plugins_qt)
    get_target_property(type ${plugin} QT_PLUGIN_TYPE)
    list(APPEND commandes
         COMMAND "${CMAKE_COMMAND}" -E make_directory "${dossier}/${type}"
         COMMAND "${CMAKE_COMMAND}" -E copy_if_different "$<TARGET_FILE:${plugin}>"
                 "${dossier}/${type}/")
  endforeach()
  add_custom_target(${cible} ALL ${commandes}
    COMMENT "Copying the Qt and runtime DLLs into ${dossier}"
    VERBATIM)
endfunction()

pontex_deploie_windows(pontex_dll_bin "${PONTEX_BIN_DIR}")

foreach(module IN LISTS pontex_dll_qt)
  install(FILES "$<TARGET_FILE:${module}>" DESTINATION "${CMAKE_INSTALL_BINDIR}")
endforeach()
install(FILES ${pontex_dll_runtime} DESTINATION "${CMAKE_INSTALL_BINDIR}")
foreach(plugin IN LISTS pontex_plugins_qt)
  get_target_property(type ${plugin} QT_PLUGIN_TYPE)
  install(FILES "$<TARGET_FILE:${plugin}>" DESTINATION "${CMAKE_INSTALL_BINDIR}/${type}")
endforeach()
