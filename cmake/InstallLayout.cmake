# The installed layout: programs in <prefix>/bin, libMordal in the
# platform's library folder, the shipped language files and guides in
# <prefix>/share/trevalo/Language, from where a new program folder is filled.
include(GNUInstallDirs)

# The desktop's name of the program: its menu entry, metainfo and icon.
set(TREVALO_APP_ID org.trevalo.Pomiar)

set(TREVALO_DATA_DIR ${CMAKE_INSTALL_DATADIR}/trevalo)
set(TREVALO_LANGUAGE_DIR ${TREVALO_DATA_DIR}/Language)

# The program finds the shipped files relative to its own folder, so that an
# install works under any prefix and from a staging folder.
file(RELATIVE_PATH TREVALO_LANGUAGE_FROM_BIN
    /${CMAKE_INSTALL_BINDIR} /${TREVALO_LANGUAGE_DIR})

# Installed programs find libMordal through the loader's own folders when it
# goes into one of them (/usr); under another prefix (/usr/local, /opt/...)
# through a run path relative to the program.
list(FIND CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES ${CMAKE_INSTALL_FULL_LIBDIR} system_library_dir)
if(system_library_dir EQUAL -1)
  file(RELATIVE_PATH library_from_bin /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
  set(CMAKE_INSTALL_RPATH "$ORIGIN/${library_from_bin}")
endif()
