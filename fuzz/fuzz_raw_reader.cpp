// Feeds arbitrary bytes to the RAW reader. Only FormatError may come out;
// whatever reads must write in its own revision and read back the same
// (unless the writer had to change something and said so).
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/raw_format.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velquin::sim;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Case c;
    try {
        c = parse_raw(text, "fuzz.raw");
    } catch (const FormatError&) {
        return 0;
    }
    ImportReport report;
    std::string written;
    try {
        written = format_raw(c, c.identification.revision, &report);
    } catch (const std::invalid_argument&) {
        return 0;  // e.g. more than nine dummy buses on a multi-section line
    }
    const Case again = parse_raw(written, "written.raw");
    if (report.warnings.empty() && !(again == c)) std::abort();
    return 0;
}
