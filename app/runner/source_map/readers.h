// The source map's readers, one per format (the table in source_map.cpp names them): each
// reads the text of a file read from `path` into `map`, or says what is wrong in one line
// "FILE:LINE: ...". A reader adds what it read and no more; readDebugInfo undoes a failed
// reader's additions.
#pragma once

#include <string>
#include <string_view>

// The map itself (source_map.h) is declared only: its table of formats names these
// readers, and its header is not theirs to include.
struct SourceMap;

bool readLd65DebugInfo(std::string_view text, const std::string& path, SourceMap& map,
                       std::string& error);
bool readTassListing(std::string_view text, const std::string& path, SourceMap& map,
                     std::string& error);
bool readAcmeReport(std::string_view text, const std::string& path, SourceMap& map,
                    std::string& error);
bool readDasmListing(std::string_view text, const std::string& path, SourceMap& map,
                     std::string& error);
bool readDasmSymbols(std::string_view text, const std::string& path, SourceMap& map,
                     std::string& error);

// Whether `word` is an instruction's mnemonic ("lda", "LDA", dasm's "lda.w"), as the
// processor's opcode table names them.
bool isMnemonic(std::string_view word);
// "FILE:LINE: " of a message.
std::string placeInFile(const std::string& path, int line);
