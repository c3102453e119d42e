// Errors and warnings of the exchange-format readers.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace velquin::sim {

// A malformed input: the message names the file, the line and the field.
class FormatError : public std::runtime_error {
public:
    FormatError(const std::string& file, int line, const std::string& field, const std::string& problem);
    const std::string& file() const { return file_; }
    int line() const { return line_; }
    const std::string& field() const { return field_; }

private:
    std::string file_;
    int line_;
    std::string field_;
};

// What a reader noticed but could read past (skipped records, assumed
// revisions, unsupported features), one message per entry.
struct ImportReport {
    std::vector<std::string> warnings;
};

}  // namespace velquin::sim
