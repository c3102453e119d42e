// Whole-file reading and atomic replacement of a file. Errors are
// CaseFileError with messages that name the file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velquin::sim::casefile {

// Writes `bytes` to a new temporary file next to `target`, forces it to
// disk, then renames it over `target`. On any failure the temporary file is
// removed and `target` is left as it was. A `target` that is a symbolic link
// is followed: the file it leads to is replaced and the link stays. The new
// file keeps the permission bits (and, where the process may, the owner and
// group) of the file it replaces.
void write_file_atomically(const std::filesystem::path& target, std::string_view bytes);

// Reads a regular file whole.
std::string read_whole_file(const std::filesystem::path& path);

}  // namespace velquin::sim::casefile
