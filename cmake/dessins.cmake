# Our pictures are vector drawings (ImageMagick's MVG) kept in the
# repository and rendered by the build: Qt reads GIF and ICO files but cannot
# write them.
find_program(PONTEX_CONVERT NAMES convert
  DOC "ImageMagick's convert, which renders the programs' pictures")
if(NOT PONTEX_CONVERT)
  message(FATAL_ERROR "ImageMagick's convert is needed to draw the programs' pictures "
                      "(Debian package imagemagick; scripts/deps.sh installs it).")
endif()

# pontex_dessine(<output file> <drawing.mvg> <canvas WxH> [convert options...])
# Renders <drawing.mvg> on a transparent canvas of the drawing's own size,
# applies the options (resizing, icon sizes) and writes <output file>, whose
# extension gives the format. A "png32:" prefix is added for PNG outputs so
# that transparency survives.
function(pontex_dessine sortie dessin toile)
  get_filename_component(extension "${sortie}" LAST_EXT)
  set(cible "${sortie}")
  if(extension STREQUAL ".png")
    set(cible "png32:${sortie}")
  endif()
  add_custom_command(
    OUTPUT "${sortie}"
    COMMAND "${PONTEX_CONVERT}" -background none -size "${toile}" "mvg:${dessin}" ${ARGN} "${cible}"
    DEPENDS "${dessin}"
    COMMENT "Drawing ${sortie}"
    VERBATIM)
endfunction()
