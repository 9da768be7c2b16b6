# The machine's contract: the numbers that the emulator, its firmware, its test programs
# and its texts share. Each is set here once. The C++ code gets them as definitions
# through breadbin::contract (machine/contract.h names them), and every 64tass run of
# the build gets the ones the firmware needs with -D (BREADBIN_ASSEMBLER_DEFINES).

set(BREADBIN_CLOCK_HZ 985248)        # emulated cycles per second, for the emulated-time clock
set(BREADBIN_FRAME_PERIOD_MS 20)     # the next frame's deadline: a fresh reading plus this
set(BREADBIN_TEST_HOOK_FIRST E5CA)   # hex: the window where the test hook loads tests/start
set(BREADBIN_TEST_HOOK_LAST E683)
set(BREADBIN_DEBUG_REGISTER D7FF)    # hex: a store here ends a run of breadbin-run --debug-exit
# hex: breadbin-run's other debug cells, just below it: a store to the first starts the
# stopwatch, one to the second stops it (the byte is the timing's id), and the bytes
# stored to the third are console text.
set(BREADBIN_STOPWATCH_START D7FC)
set(BREADBIN_STOPWATCH_STOP D7FD)
set(BREADBIN_CONSOLE D7FE)
# hex: the drive request cell, below the debug cells: a store there from the open firmware's
# KERNAL asks the emulator for a drive's service (machine/drive_port.h).
set(BREADBIN_DRIVE_REQUEST D7FB)

# The deadline has to be exceeded in whole milliseconds: a frame comes at the first
# millisecond past it, one frame interval after the previous one.
math(EXPR BREADBIN_FRAME_INTERVAL_MS "${BREADBIN_FRAME_PERIOD_MS} + 1")

add_library(breadbin_contract INTERFACE)
add_library(breadbin::contract ALIAS breadbin_contract)
target_compile_definitions(breadbin_contract INTERFACE
  BREADBIN_CLOCK_HZ=${BREADBIN_CLOCK_HZ}
  BREADBIN_FRAME_PERIOD_MS=${BREADBIN_FRAME_PERIOD_MS}
  BREADBIN_FRAME_INTERVAL_MS=${BREADBIN_FRAME_INTERVAL_MS}
  BREADBIN_TEST_HOOK_FIRST=0x${BREADBIN_TEST_HOOK_FIRST}
  BREADBIN_TEST_HOOK_LAST=0x${BREADBIN_TEST_HOOK_LAST}
  BREADBIN_DEBUG_REGISTER=0x${BREADBIN_DEBUG_REGISTER}
  BREADBIN_STOPWATCH_START=0x${BREADBIN_STOPWATCH_START}
  BREADBIN_STOPWATCH_STOP=0x${BREADBIN_STOPWATCH_STOP}
  BREADBIN_CONSOLE=0x${BREADBIN_CONSOLE}
  BREADBIN_DRIVE_REQUEST=0x${BREADBIN_DRIVE_REQUEST})

set(BREADBIN_ASSEMBLER_DEFINES
  -D testHookFirst=$${BREADBIN_TEST_HOOK_FIRST}
  -D testHookLast=$${BREADBIN_TEST_HOOK_LAST}
  -D debugExitRegister=$${BREADBIN_DEBUG_REGISTER}
  -D stopwatchStart=$${BREADBIN_STOPWATCH_START}
  -D stopwatchStop=$${BREADBIN_STOPWATCH_STOP}
  -D debugConsole=$${BREADBIN_CONSOLE}
  -D driveRequest=$${BREADBIN_DRIVE_REQUEST}
  -D frameIntervalMs=${BREADBIN_FRAME_INTERVAL_MS})

# kernal.inc names the debug cells for programs assembled outside this build too, as
# weak defaults that the build's -D replaces: they must say the same.
foreach(cell debugExitRegister:DEBUG_REGISTER stopwatchStart:STOPWATCH_START
             stopwatchStop:STOPWATCH_STOP debugConsole:CONSOLE driveRequest:DRIVE_REQUEST)
  string(REPLACE ":" ";" cell "${cell}")
  list(GET cell 0 name)
  list(GET cell 1 variable)
  file(STRINGS ${PROJECT_SOURCE_DIR}/firmware/kernal.inc found REGEX "^${name}[ \t]*=")
  if(NOT found MATCHES "= *\\$${BREADBIN_${variable}}( |;|$)")
    message(FATAL_ERROR "firmware/kernal.inc: ${name} must default to $${BREADBIN_${variable}} "
                        "(found: ${found})")
  endif()
endforeach()
