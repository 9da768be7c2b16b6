# Where an installed breadbin keeps its files, below the prefix (GNU layout), and the parts
# it installs as. Every install rule and the package take these names from here.
#
#   bin/                      the programs
#   share/breadbin/           firmware images, include files, the demo folder, examples
#   share/man/man1/           the manual pages
#   share/doc/breadbin/       the README and the licence
#
# Paths are relative to the prefix, so the tree works wherever it is installed or moved:
# breadbin-run has the firmware built in and reads nothing from share/.
include(GNUInstallDirs)
set(BREADBIN_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/breadbin)
set(BREADBIN_INSTALL_EXAMPLEDIR ${BREADBIN_INSTALL_DATADIR}/examples)

# Install components, one Debian package each, named after their programs: the headless
# runner with everything a test program needs, and the windowed program on top of it.
set(BREADBIN_RUNNER_COMPONENT breadbin-run)
set(BREADBIN_WINDOW_COMPONENT breadbin)

# One line per program, for its manual page and its package.
set(BREADBIN_RUN_SUMMARY "run 6502 test programs on an emulated Commodore 64 without a display")
set(BREADBIN_SUMMARY "run a 6502 test program on an emulated Commodore 64 in a window")

# The documents, laid out as in the source tree so that the README's links still lead
# somewhere.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT ${BREADBIN_RUNNER_COMPONENT})
install(FILES ${PROJECT_SOURCE_DIR}/firmware/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR}/firmware
        COMPONENT ${BREADBIN_RUNNER_COMPONENT})
