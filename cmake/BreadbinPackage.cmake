# Debian packages of the install components (cpack -G DEB in the build folder, or
# ./build.sh package): breadbin-run, the headless runner with the firmware, its include
# files, the demo folder, the examples and the documents; and breadbin, the windowed
# program, which depends on it. With -DBREADBIN_SDL=OFF only breadbin-run is built.
# Versions come from project(), dependencies on shared libraries from dpkg-shlibdeps.
# Each package carries what Debian asks of one, so that lintian finds nothing to report
# (./build.sh test checks): its copyright (the LICENSE) and changelog in
# /usr/share/doc/PACKAGE/, and the override of the one warning that is meant.
set(CPACK_GENERATOR DEB)
if(NOT CPACK_PACKAGE_CONTACT)
  # Whoever publishes the packages names themselves (-DCPACK_PACKAGE_CONTACT="Name
  # <address>"); the .invalid domain is the one that is sure to reach nobody else.
  set(CPACK_PACKAGE_CONTACT "The breadbin developers <breadbin@breadbin.invalid>")
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

# The changelog's one entry says what the package was built from and when: at the
# SOURCE_DATE_EPOCH of a reproducible build, else at the last commit's time, else now.
set(BREADBIN_DEBIAN_TEMPLATES ${CMAKE_CURRENT_LIST_DIR}/debian)
find_program(GIT_EXECUTABLE git)
set(origin "")
set(commit_time "")
if(GIT_EXECUTABLE AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} log -1 --format=%h%n%ct
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(commit MATCHES "^([0-9a-f]+)\n([0-9]+)$")
    set(origin ", commit ${CMAKE_MATCH_1}")
    set(commit_time ${CMAKE_MATCH_2})
  endif()
endif()
if(commit_time AND NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${commit_time})  # what string(TIMESTAMP) reads, for this once
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  unset(ENV{SOURCE_DATE_EPOCH})
else()
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
endif()
find_program(GZIP_EXECUTABLE gzip REQUIRED)

# breadbin_debian_files(COMPONENT PROGRAM): the Debian files of the package of COMPONENT,
# whose program is PROGRAM. Installed with the package only, not by `cmake --install`.
function(breadbin_debian_files package program)
  set(version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
  set(dir ${PROJECT_BINARY_DIR}/debian/${package})
  configure_file(${BREADBIN_DEBIAN_TEMPLATES}/changelog.in ${dir}/changelog.Debian @ONLY)
  execute_process(COMMAND ${GZIP_EXECUTABLE} -9 --no-name --stdout ${dir}/changelog.Debian
                  OUTPUT_FILE ${dir}/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
  configure_file(${BREADBIN_DEBIAN_TEMPLATES}/lintian-overrides.in ${dir}/overrides/${package} @ONLY)
  set(doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package})
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${doc} RENAME copyright COMPONENT ${package}
          EXCLUDE_FROM_ALL)
  install(FILES ${dir}/changelog.Debian.gz DESTINATION ${doc} COMPONENT ${package} EXCLUDE_FROM_ALL)
  install(FILES ${dir}/overrides/${package} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
          COMPONENT ${package} EXCLUDE_FROM_ALL)
endfunction()

set(CPACK_COMPONENTS_ALL ${BREADBIN_RUNNER_COMPONENT})
string(TOUPPER ${BREADBIN_RUNNER_COMPONENT} runner)
set(CPACK_DEBIAN_${runner}_PACKAGE_NAME ${BREADBIN_RUNNER_COMPONENT})
set(CPACK_DEBIAN_${runner}_DESCRIPTION "${BREADBIN_RUN_SUMMARY}
breadbin-run loads a machine-code test program into an emulated Commodore 64
that boots breadbin's own open firmware, runs it without a display and ends on
a verdict: a byte written to a debug register, a text on the screen, the return
to the firmware's input loop, or a limit. It writes the screen as text or PNG,
JSON summaries, instruction traces and JUnit reports, and runs batches in
parallel. The firmware images, the include files for 64tass, a ready demo
folder and an example test program come with it.")
breadbin_debian_files(${BREADBIN_RUNNER_COMPONENT} breadbin-run)

if(BREADBIN_SDL)
  list(APPEND CPACK_COMPONENTS_ALL ${BREADBIN_WINDOW_COMPONENT})
  string(TOUPPER ${BREADBIN_WINDOW_COMPONENT} window)
  set(CPACK_DEBIAN_${window}_PACKAGE_NAME ${BREADBIN_WINDOW_COMPONENT})
  set(CPACK_DEBIAN_${window}_DESCRIPTION "${BREADBIN_SUMMARY}
breadbin boots the ROM images in the working directory, shows the machine's
text screen in a window and runs the program file tests/start the first time
the firmware waits for keyboard input; Escape ends the run. The open firmware
and a demo folder come with breadbin-run.")
  set(CPACK_COMPONENT_${window}_DEPENDS ${BREADBIN_RUNNER_COMPONENT})
  breadbin_debian_files(${BREADBIN_WINDOW_COMPONENT} breadbin)
endif()

include(CPack)
