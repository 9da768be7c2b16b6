# Writes a C++ source that holds the firmware images as byte arrays, for the runner:
#   cmake -DOUTPUT=file.cpp -DKERNAL=kernal.rom -DBASIC=basic.rom -DCHARGEN=chargen.rom
#         -DKERNAL_LABELS=kernal.labels -DBASIC_LABELS=basic.labels -P embed_firmware.cmake
# and the images' symbols (64tass's -l) as text, for the runner to name their routines.
# The file is replaced only when its text changes, so an unchanged image rebuilds nothing.

function(byte_array variable path)
  file(SIZE ${path} size)
  if(size EQUAL 0)
    message(FATAL_ERROR "the firmware image ${path} is empty")
  endif()
  file(READ ${path} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
  set(${variable} "${bytes}" PARENT_SCOPE)
endfunction()

# A file's text as a raw string literal's body; the delimiter never occurs in 64tass's
# symbol files.
function(raw_text variable path)
  file(READ ${path} text)
  if(text MATCHES "\\)labels\"")
    message(FATAL_ERROR "${path} holds the raw string's delimiter")
  endif()
  set(${variable} "${text}" PARENT_SCOPE)
endfunction()

byte_array(kernal ${KERNAL})
raw_text(kernal_labels ${KERNAL_LABELS})
raw_text(basic_labels ${BASIC_LABELS})
byte_array(basic ${BASIC})
byte_array(chargen ${CHARGEN})

file(WRITE ${OUTPUT}.new
"// Generated at build time by app/runner/program/embed_firmware.cmake from the firmware images.
#include \"app/runner/program/built_in_firmware.h\"

namespace {
const uint8_t kKernal[] = {
    ${kernal}};
const uint8_t kBasic[] = {
    ${basic}};
const uint8_t kChargen[] = {
    ${chargen}};
}  // namespace

const std::array<BuiltInFile, 3> kBuiltInFirmware = {{
    {\"kernal.rom\", kKernal, sizeof kKernal},
    {\"basic.rom\", kBasic, sizeof kBasic},
    {\"chargen.rom\", kChargen, sizeof kChargen},
}};

const std::string_view kBuiltInKernalLabels = R\"labels(${kernal_labels})labels\";
const std::string_view kBuiltInBasicLabels = R\"labels(${basic_labels})labels\";
")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
