# The machine's contract: the numbers that the emulator, its firmware, its test programs
# and its texts share. Each is set here once. The C++ code gets them as definitions
# through breadbin::contract (machine/contract.h names them), and every 64tass run of
# the build gets the ones the firmware needs with -D (BREADBIN_ASSEMBLER_DEFINES).

set(BREADBIN_CLOCK_HZ 985248)        # emulated cycles per second, for the emulated-time clock
set(BREADBIN_FRAME_PERIOD_MS 20)     # the next frame's deadline: a fresh reading plus this
set(BREADBIN_TEST_HOOK_FIRST E5CA)   # hex: the window where the test hook loads tests/start
set(BREADBIN_TEST_HOOK_LAST E683)
set(BREADBIN_DEBUG_REGISTER D7FF)    # hex: a store here ends a run of breadbin-run --debug-exit

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
  BREADBIN_DEBUG_REGISTER=0x${BREADBIN_DEBUG_REGISTER})

set(BREADBIN_ASSEMBLER_DEFINES
  -D testHookFirst=$${BREADBIN_TEST_HOOK_FIRST}
  -D testHookLast=$${BREADBIN_TEST_HOOK_LAST}
  -D debugExitRegister=$${BREADBIN_DEBUG_REGISTER}
  -D frameIntervalMs=${BREADBIN_FRAME_INTERVAL_MS})

# kernal.inc names the debug register for programs assembled outside this build too, as
# a weak default that the build's -D replaces: it must say the same.
file(STRINGS ${PROJECT_SOURCE_DIR}/firmware/kernal.inc BREADBIN_KERNAL_INC_DEBUG_REGISTER
     REGEX "^debugExitRegister[ \t]*=")
if(NOT BREADBIN_KERNAL_INC_DEBUG_REGISTER MATCHES "= *\\$${BREADBIN_DEBUG_REGISTER}( |;|$)")
  message(FATAL_ERROR "firmware/kernal.inc: debugExitRegister must default to $${BREADBIN_DEBUG_REGISTER} "
                      "(found: ${BREADBIN_KERNAL_INC_DEBUG_REGISTER})")
endif()
