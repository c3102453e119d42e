// The simulator's RAW text format, revisions 33, 34 and 35.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "formats/format_error.hpp"
#include "model/case.hpp"

namespace velquin::sim {

// Reads a whole RAW file. Throws FormatError on malformed input; nothing is
// returned half-read. `report` (optional) collects warnings.
Case read_raw_file(const std::filesystem::path& path, ImportReport* report = nullptr);
Case parse_raw(std::string_view text, std::string_view source, ImportReport* report = nullptr);
// As parse_raw, but reads the records in the layout of `revision` (33, 34
// or 35) whatever the case line says; a differing REV is reported.
Case parse_raw_as(std::string_view text, std::string_view source, int revision,
                  ImportReport* report = nullptr);
Case read_raw_file_as(const std::filesystem::path& path, int revision, ImportReport* report = nullptr);

// Writes `c` as RAW in the given revision (33, 34 or 35), atomically.
void write_raw_file(const Case& c, const std::filesystem::path& path, int revision);
// As above; `report` collects what the revision cannot hold.
void write_raw_file(const Case& c, const std::filesystem::path& path, int revision, ImportReport* report);
std::string format_raw(const Case& c, int revision, ImportReport* report = nullptr);

}  // namespace velquin::sim
