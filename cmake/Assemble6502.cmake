find_program(TASS_EXECUTABLE 64tass REQUIRED)

# assemble_6502(target SOURCE file.asm OUTPUT path [LABELS path] [FLAGS ...] [DEPENDS ...]):
# assembles one 64tass source into a binary at OUTPUT (and its symbols, as 64tass's -l
# writes them, at LABELS), rebuilt when the source or anything it includes changes, and
# adds a target of that name for it. Every source gets the machine's contract
# (BreadbinContract.cmake) as -D definitions.
function(assemble_6502 target)
  cmake_parse_arguments(ARG "" "SOURCE;OUTPUT;LABELS" "FLAGS;DEPENDS" ${ARGN})
  set(outputs ${ARG_OUTPUT})
  if(ARG_LABELS)
    list(APPEND ARG_FLAGS -l ${ARG_LABELS})
    list(APPEND outputs ${ARG_LABELS})
  endif()
  get_filename_component(src ${ARG_SOURCE} ABSOLUTE)
  get_filename_component(srcdir ${src} DIRECTORY)
  get_filename_component(outdir ${ARG_OUTPUT} DIRECTORY)
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${outdir}
    COMMAND ${TASS_EXECUTABLE} --quiet --ascii --case-sensitive -Wall -Werror
            -I ${srcdir} -I ${PROJECT_SOURCE_DIR}/firmware ${BREADBIN_ASSEMBLER_DEFINES} ${ARG_FLAGS}
            -o ${ARG_OUTPUT} ${src}
    DEPENDS ${src} ${ARG_DEPENDS} ${PROJECT_SOURCE_DIR}/cmake/BreadbinContract.cmake
    COMMENT "Assembling ${target}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${ARG_OUTPUT})
endfunction()
