// Saved-case reader under libFuzzer. Only CaseFileError may come out of the
// decoder; anything else (a crash, a sanitizer report, another exception)
// is a finding. Mutated bytes almost never carry a valid checksum, so the
// structural parser is also driven directly, with the header's payload
// length fixed up so that inserted or removed bytes still reach the
// sections.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "casefile/case_file.hpp"

using velquin::sim::Case;
using velquin::sim::CaseFileError;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    try {
        (void)velquin::sim::decode_case(input, "fuzz");
    } catch (const CaseFileError&) {
    }

    std::string fixed(input);
    if (fixed.size() >= 32) {
        const std::uint64_t payload = fixed.size() - 32;
        std::memcpy(fixed.data() + 16, &payload, sizeof payload);
    }
    try {
        const Case c = velquin::sim::decode_case_unchecked(fixed, "fuzz");
        // Whatever decodes must save and read back unchanged. Compared as
        // bytes, because NaN fields make the case unequal to itself.
        const std::string once = velquin::sim::encode_case(c);
        const std::string twice = velquin::sim::encode_case(velquin::sim::decode_case(once, "re-encoded"));
        if (once != twice) std::abort();
    } catch (const CaseFileError&) {
    }
    return 0;
}
