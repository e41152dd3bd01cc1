# What makes Pomiar a desktop program: its pictures, its version, and the
# installed files a Linux desktop expects (menu entry, AppStream metainfo,
# icon, manual pages, the shipped language files).
set(packaging_dir ${PROJECT_SOURCE_DIR}/packaging)

# The toolbar's pictures and the application icon are SVG resources, drawn
# at each size they are shown.
file(GLOB toolbar_icons CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/app/shell/ui/icons/*.svg)
qt_add_resources(app_shell_ui toolbar_icons
    PREFIX /toolbar BASE ${PROJECT_SOURCE_DIR}/app/shell/ui/icons FILES ${toolbar_icons})
qt_add_resources(app_shell_ui application_icon
    PREFIX /application BASE ${packaging_dir} FILES ${packaging_dir}/${TREVALO_APP_ID}.svg)
target_link_libraries(app_shell_ui PRIVATE Qt6::Svg)
# Public: the main window's caption shows the version from its header.
target_compile_definitions(app_shell_ui
    PUBLIC TREVALO_VERSION="${PROJECT_VERSION}"
    PRIVATE TREVALO_APP_ID="${TREVALO_APP_ID}")
target_compile_definitions(app_link PRIVATE
    TREVALO_LANGUAGE_FROM_BIN="${TREVALO_LANGUAGE_FROM_BIN}")

install(TARGETS Pomiar RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET trevalo)
  install(TARGETS trevalo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The lab web view's service, installed disabled: nothing enables it.
  install(FILES ${packaging_dir}/trevalo-web.service DESTINATION lib/systemd/system)
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/Language/
    DESTINATION ${TREVALO_LANGUAGE_DIR}
    FILES_MATCHING PATTERN "*.lag" PATTERN "*.html")

install(FILES ${packaging_dir}/${TREVALO_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The metainfo and the manual pages name the program's version.
configure_file(${packaging_dir}/${TREVALO_APP_ID}.metainfo.xml.in
    ${CMAKE_BINARY_DIR}/packaging/${TREVALO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${TREVALO_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging_dir}/${TREVALO_APP_ID}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages are installed compressed, as Debian's rules ask (gzip -n: no
# name or time stamp inside, so that a rebuild gives the same bytes).
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(manual_pages ${packaging_dir}/Pomiar.1.in ${packaging_dir}/balance-sim.1.in)
if(TARGET trevalo)
  foreach(candidate ${PROJECT_SOURCE_DIR}/app/cli/trevalo.1.in ${packaging_dir}/trevalo.1.in)
    if(EXISTS ${candidate})
      list(APPEND manual_pages ${candidate})
      break()
    endif()
  endforeach()
endif()
set(compressed_pages)
foreach(template IN LISTS manual_pages)
  get_filename_component(page_name ${template} NAME_WLE)
  set(page ${CMAKE_BINARY_DIR}/man/${page_name})
  configure_file(${template} ${page} @ONLY)
  set(compressed ${page}.gz)
  add_custom_command(OUTPUT ${compressed}
      COMMAND ${GZIP_EXECUTABLE} -9 -n -c ${page} > ${compressed}
      DEPENDS ${page} VERBATIM)
  list(APPEND compressed_pages ${compressed})
endforeach()
add_custom_target(manual_pages ALL DEPENDS ${compressed_pages})
install(FILES ${compressed_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
