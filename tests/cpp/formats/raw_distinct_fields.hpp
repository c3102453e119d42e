// Records in which every field holds a value no other field of the file
// holds, for tests that a RAW reader puts each field into the model member
// it belongs to and a writer writes each member at its place.
//
// A test names the fields of a record kind and the model member each one
// lands in (a FieldMap), and the field order of each revision, both written
// out from the public format description, not taken from the reader's or
// writer's own layout tables: a layout entry swapped there then fails the
// test instead of agreeing with itself.
//
// Usage, for one record kind:
//   const FieldMap<Area> map{{"I", [](Area& a) -> FieldRef { return &a.number; }}, ...};
//   DistinctSamples samples;              // one per file
//   RecordSample s = make_sample(map, {{"I", "ISW", "PDES", "PTOL", "ARNAME"}}, samples);
//   ... s.text() goes into the file's area section ...
//   expect_read(s, map, c.areas[0]);      // after reading the file
//   apply(s, map, area);                  // builds the record to write
//   expect_written(s, written_lines);     // the writer's lines of the record
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "formats/number_text.hpp"
#include "formats/raw_lexer.hpp"
#include "model/types.hpp"

namespace velquin::sim::testing {

// The model member a field lands in.
using FieldRef = std::variant<int*, double*, std::string*>;
// A field's value: integer, real or text, as the model member's type says.
using Sample = std::variant<long long, double, std::string>;

// The parts of a complex member, as the members of separate fields.
inline double& real_part(Complex& c) {
    return reinterpret_cast<double(&)[2]>(c)[0];
}
inline double& imag_part(Complex& c) {
    return reinterpret_cast<double(&)[2]>(c)[1];
}

template <class Record>
class FieldMap {
public:
    using Accessor = std::function<FieldRef(Record&)>;

    FieldMap(std::initializer_list<std::pair<std::string, Accessor>> fields) {
        for (const auto& [name, at] : fields) add(name, at);
    }
    FieldMap& add(const std::string& name, Accessor at) {
        if (!fields_.emplace(name, std::move(at)).second)
            throw std::logic_error("field " + name + " named twice");
        return *this;
    }
    FieldRef at(Record& record, std::string_view name) const {
        const auto it = fields_.find(name);
        if (it == fields_.end()) throw std::logic_error("no field " + std::string(name) + " in the map");
        return it->second(record);
    }

private:
    std::map<std::string, Accessor, std::less<>> fields_;
};

// Hands out values that differ from every value handed out before: integers
// 101, 102, ...; reals k + 0.25 (never integral, so never equal to an
// integer); texts "V1", "V2", ...
class DistinctSamples {
public:
    Sample next(const FieldRef& member) {
        ++count_;
        if (std::holds_alternative<int*>(member)) return static_cast<long long>(100 + count_);
        if (std::holds_alternative<double*>(member)) return count_ + 0.25;
        return "V" + std::to_string(count_);
    }

private:
    int count_ = 0;
};

// One record: the field names of each of its lines in file order, and the
// value of every field.
struct RecordSample {
    std::vector<std::vector<std::string>> lines;
    std::map<std::string, Sample, std::less<>> values;

    // The record's lines as RAW text, one line each, comma separated.
    std::string text() const {
        std::string out;
        for (const auto& line : lines) {
            for (std::size_t i = 0; i < line.size(); ++i) {
                if (i > 0) out += ", ";
                out += token(values.at(line[i]));
            }
            out += '\n';
        }
        return out;
    }

    static std::string token(const Sample& v) {
        if (const auto* i = std::get_if<long long>(&v)) return std::to_string(*i);
        if (const auto* d = std::get_if<double>(&v)) {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%.17g", *d);
            return buffer;
        }
        return "'" + std::get<std::string>(v) + "'";
    }
};

// A sample of the record whose lines hold `lines`; `fixed` gives the value
// of fields whose range is restricted (codes, a zero that selects a layout).
template <class Record>
RecordSample make_sample(const FieldMap<Record>& map, std::vector<std::vector<std::string>> lines,
                         DistinctSamples& samples,
                         const std::map<std::string, Sample, std::less<>>& fixed = {}) {
    RecordSample s{std::move(lines), {}};
    Record scratch{};
    for (const auto& line : s.lines) {
        for (const auto& name : line) {
            const auto it = fixed.find(name);
            const Sample value = it != fixed.end() ? it->second : samples.next(map.at(scratch, name));
            if (!s.values.emplace(name, value).second) throw std::logic_error("field " + name + " twice");
        }
    }
    return s;
}

inline Sample value_of(const FieldRef& member) {
    if (const auto* i = std::get_if<int*>(&member)) return static_cast<long long>(**i);
    if (const auto* d = std::get_if<double*>(&member)) return **d;
    return *std::get<std::string*>(member);
}

// Sets the model members of `record` to the sample's values.
template <class Record>
void apply(const RecordSample& s, const FieldMap<Record>& map, Record& record) {
    for (const auto& [name, value] : s.values) {
        const FieldRef member = map.at(record, name);
        if (auto* const* i = std::get_if<int*>(&member))
            **i = static_cast<int>(std::get<long long>(value));
        else if (auto* const* d = std::get_if<double*>(&member))
            **d = std::get<double>(value);
        else
            *std::get<std::string*>(member) = std::get<std::string>(value);
    }
}

// Every field of the sample is in the model member the map names.
template <class Record>
void expect_read(const RecordSample& s, const FieldMap<Record>& map, Record record) {
    for (const auto& [name, value] : s.values)
        EXPECT_EQ(value_of(map.at(record, name)), value) << "field " << name;
}

// The writer's lines of a record hold each field at its place, and nothing
// more.
inline void expect_written(const RecordSample& s, const std::vector<std::string>& written) {
    ASSERT_EQ(written.size(), s.lines.size()) << "lines of the record";
    std::vector<RawToken> tokens;
    for (std::size_t l = 0; l < written.size(); ++l) {
        SCOPED_TRACE("written line: " + written[l]);
        ASSERT_TRUE(split_raw_fields(written[l], tokens));
        const auto& names = s.lines[l];
        EXPECT_EQ(tokens.size(), names.size()) << "fields on the line";
        for (std::size_t p = 0; p < names.size() && p < tokens.size(); ++p) {
            const Sample& expected = s.values.at(names[p]);
            const RawToken& t = tokens[p];
            if (const auto* i = std::get_if<long long>(&expected)) {
                EXPECT_TRUE(!t.quoted && parse_integer(t.text) == *i) << names[p] << " is '" << t.text << "'";
            } else if (const auto* d = std::get_if<double>(&expected)) {
                EXPECT_TRUE(!t.quoted && parse_real(t.text) == *d) << names[p] << " is '" << t.text << "'";
            } else {
                std::string_view text = t.text;
                while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
                EXPECT_TRUE(t.quoted && text == std::get<std::string>(expected))
                    << names[p] << " is '" << t.text << "'";
            }
        }
    }
}

// The data lines of RAW text after the case line and the titles, in blocks
// that each end at a line whose first field is 0 (a section or sub-block
// terminator); column headings are left out, "Q" ends the text. Block 0 is
// the system-wide data for revisions 34 and 35, the bus data for 33.
inline std::vector<std::vector<std::string>> blocks_after_titles(std::string_view text) {
    RawLineCursor cursor(text);
    int number = 0;
    int header_lines = 0;
    std::vector<std::vector<std::string>> blocks(1);
    std::vector<RawToken> tokens;
    while (!cursor.at_end()) {
        const std::string_view line = cursor.next(number);
        if (line.starts_with("@!")) continue;
        if (header_lines < 3) {
            ++header_lines;
            continue;
        }
        if (line == "Q") break;
        if (!split_raw_fields(line, tokens)) throw std::logic_error("unclosed quote in " + std::string(line));
        if (!tokens.empty() && !tokens[0].quoted && parse_real(tokens[0].text) == 0.0) {
            blocks.emplace_back();
            continue;
        }
        blocks.back().emplace_back(line);
    }
    blocks.pop_back();  // nothing follows the last terminator
    return blocks;
}

// Field names NAME1 .. NAMEcount (ratings, block fields and the like).
inline std::vector<std::string> numbered(std::string_view prefix, int count) {
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i) names.push_back(std::string(prefix) + std::to_string(i));
    return names;
}

// Field names of a line: words separated by blanks, and lists spliced in.
inline std::vector<std::string> fields(
    std::initializer_list<std::variant<std::string_view, std::vector<std::string>>> parts) {
    std::vector<std::string> names;
    for (const auto& part : parts) {
        if (const auto* list = std::get_if<std::vector<std::string>>(&part)) {
            names.insert(names.end(), list->begin(), list->end());
            continue;
        }
        std::string_view words = std::get<std::string_view>(part);
        while (!words.empty()) {
            const std::size_t start = words.find_first_not_of(' ');
            if (start == std::string_view::npos) break;
            words.remove_prefix(start);
            const std::size_t end = words.find(' ');
            names.emplace_back(words.substr(0, end));
            words.remove_prefix(end == std::string_view::npos ? words.size() : end);
        }
    }
    return names;
}

}  // namespace velquin::sim::testing
