// Saved-case files: the embedded simulator's own binary format, versioned
// and checksummed. Writing is atomic: the target name only ever holds a
// complete file.
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

std::string encode_case(const Case& c);
// `source` names the data in error messages (usually the file path).
Case decode_case(std::string_view bytes, std::string_view source);

void save_case_file(const Case& c, const std::filesystem::path& path);
Case load_case_file(const std::filesystem::path& path);

}  // namespace velquin::sim
