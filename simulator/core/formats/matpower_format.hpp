// MATPOWER case files (.m): buses, generators and branches.
#pragma once

#include <filesystem>
#include <string_view>

#include "formats/format_error.hpp"
#include "model/case.hpp"

namespace velquin::sim {

Case read_matpower_file(const std::filesystem::path& path, ImportReport* report = nullptr);
Case parse_matpower(std::string_view text, std::string_view source, ImportReport* report = nullptr);

}  // namespace velquin::sim
