// Feeds arbitrary bytes to the MATPOWER reader. Only FormatError may come
// out; a case that reads must also survive being written as RAW.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/matpower_format.hpp"
#include "formats/raw_format.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velquin::sim;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Case c;
    try {
        c = parse_matpower(text, "fuzz.m");
    } catch (const FormatError&) {
        return 0;
    }
    ImportReport report;
    const Case again = parse_raw(format_raw(c, c.identification.revision, &report), "written.raw");
    if (report.warnings.empty() && !(again == c)) std::abort();
    return 0;
}
