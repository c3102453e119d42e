#include "formats/format_error.hpp"

namespace velquin::sim {

namespace {
std::string compose(const std::string& file, int line, const std::string& field, const std::string& problem) {
    std::string message = file;
    if (line > 0) message += ":" + std::to_string(line);
    message += ": ";
    if (!field.empty()) message += "field " + field + ": ";
    message += problem;
    return message;
}
}  // namespace

FormatError::FormatError(const std::string& file, int line, const std::string& field,
                         const std::string& problem)
    : std::runtime_error(compose(file, line, field, problem)), file_(file), line_(line), field_(field) {}

}  // namespace velquin::sim
