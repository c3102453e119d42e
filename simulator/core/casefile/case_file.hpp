// Saved-case files: the embedded simulator's own binary format, versioned
// and checksummed. Writing is atomic: the target name only ever holds a
// complete file. The layout is described in simulator/docs/case-file-format.md.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "model/case.hpp"

namespace velquin::sim {

// A file that is not a saved case, is truncated or corrupted, or was
// written by a newer format version. The message names the file.
class CaseFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Format version written by this build. Files of a newer major version are
// refused; a newer minor version only adds sections older readers skip.
// Version 2 stores DC lines and FACTS devices as typed records; files of
// version 1 (untyped records) are still read.
inline constexpr int kCaseFileMajorVersion = 2;
inline constexpr int kCaseFileMinorVersion = 0;

std::string encode_case(const Case& c);
// `source` names the data in error messages (usually the file path).
Case decode_case(std::string_view bytes, std::string_view source);

// As decode_case, but without verifying the checksum; every structural
// check still applies. Lets a fuzzer reach the parser behind the checksum.
Case decode_case_unchecked(std::string_view bytes, std::string_view source);

// The file a saved-case name stands for: a name without an extension means
// the ".sav" file.
std::filesystem::path saved_case_path(std::filesystem::path name);

void save_case_file(const Case& c, const std::filesystem::path& path);
Case load_case_file(const std::filesystem::path& path);

}  // namespace velquin::sim
