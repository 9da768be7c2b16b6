# Debian packages of the install components (cpack -G DEB in the build folder, or
# ./build.sh package): breadbin-run, the headless runner with the firmware, its include
# files, the demo folder, the examples and the documents; and breadbin, the windowed
# program, which depends on it. With -DBREADBIN_SDL=OFF only breadbin-run is built.
# Versions come from project(), dependencies on shared libraries from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
if(NOT CPACK_PACKAGE_CONTACT)
  set(CPACK_PACKAGE_CONTACT "the breadbin developers")
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

set(CPACK_COMPONENTS_ALL ${BREADBIN_RUNNER_COMPONENT})
string(TOUPPER ${BREADBIN_RUNNER_COMPONENT} runner)
set(CPACK_DEBIAN_${runner}_PACKAGE_NAME ${BREADBIN_RUNNER_COMPONENT})
set(CPACK_DEBIAN_${runner}_DESCRIPTION "${BREADBIN_RUN_SUMMARY}
breadbin-run loads a machine-code test program into an emulated Commodore 64 that
boots breadbin's own open firmware, runs it without a display and ends on a verdict:
a byte written to a debug register, a text on the screen, the return to the
firmware's input loop, or a limit. It writes the screen as text or PNG, JSON
summaries, instruction traces and JUnit reports, and runs batches in parallel.
The firmware images, the include files for 64tass, a ready demo folder and an
example test program come with it.")

if(BREADBIN_SDL)
  list(APPEND CPACK_COMPONENTS_ALL ${BREADBIN_WINDOW_COMPONENT})
  string(TOUPPER ${BREADBIN_WINDOW_COMPONENT} window)
  set(CPACK_DEBIAN_${window}_PACKAGE_NAME ${BREADBIN_WINDOW_COMPONENT})
  set(CPACK_DEBIAN_${window}_DESCRIPTION "${BREADBIN_SUMMARY}
breadbin boots the ROM images in the working directory, shows the machine's text
screen in a window and runs the program file tests/start the first time the
firmware waits for keyboard input; Escape ends the run. The open firmware and a
demo folder come with breadbin-run.")
  set(CPACK_COMPONENT_${window}_DEPENDS ${BREADBIN_RUNNER_COMPONENT})
endif()

include(CPack)
