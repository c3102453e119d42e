#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "formats/number_text.hpp"
#include "formats/raw_lexer.hpp"

namespace velquin::sim {
namespace {

std::vector<std::string> fields(std::string_view line) {
    std::vector<RawToken> tokens;
    EXPECT_TRUE(split_raw_fields(line, tokens)) << line;
    std::vector<std::string> out;
    for (const auto& t : tokens)
        out.push_back(t.empty() ? "<>" : (t.quoted ? "q:" : "") + std::string(t.text));
    return out;
}

TEST(RawFields, DelimitersEmptyFieldsQuotesAndComments) {
    using V = std::vector<std::string>;
    EXPECT_EQ(fields("1, 2"), (V{"1", "2"}));
    EXPECT_EQ(fields("1 2"), (V{"1", "2"}));
    EXPECT_EQ(fields("1 ,2"), (V{"1", "2"}));
    EXPECT_EQ(fields("1\t2"), (V{"1", "2"}));
    EXPECT_EQ(fields("1,,2"), (V{"1", "<>", "2"}));
    EXPECT_EQ(fields("1, ,2"), (V{"1", "<>", "2"}));
    EXPECT_EQ(fields(",,"), (V{"<>", "<>"}));
    EXPECT_EQ(fields("1,2,"), (V{"1", "2"}));
    EXPECT_EQ(fields("'a, b/c' \"it's\",''"), (V{"q:a, b/c", "q:it's", "q:"}));
    EXPECT_EQ(fields("\"N1\" 4, 5"), (V{"q:N1", "4", "5"}));
    EXPECT_EQ(fields("0 / END OF BUS DATA, 'x'"), (V{"0"}));
    EXPECT_EQ(fields("7,I,'R' /x"), (V{"7", "I", "q:R"}));
    std::vector<RawToken> tokens;
    EXPECT_FALSE(split_raw_fields("1, 'open", tokens));
}

TEST(RawFields, CommentLinesAndLineEnds) {
    EXPECT_TRUE(is_raw_comment_line(""));
    EXPECT_TRUE(is_raw_comment_line(" \t "));
    EXPECT_TRUE(is_raw_comment_line("  / BEGIN SUBSTATION NODE DATA"));
    EXPECT_TRUE(is_raw_comment_line("@!I,'NAME'"));
    EXPECT_FALSE(is_raw_comment_line(",,,"));
    EXPECT_FALSE(is_raw_comment_line("@ 1"));
    RawLineCursor cursor("a\r\nb\n\nc\r\r\nd");
    int number = 0;
    std::vector<std::string> lines;
    while (!cursor.at_end()) lines.emplace_back(cursor.next(number));
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "", "c", "d"}));
    EXPECT_EQ(number, 5);
}

TEST(NumberText, ParsesWhatWritersWrite) {
    EXPECT_EQ(parse_real("1."), 1.0);
    EXPECT_EQ(parse_real(".5"), 0.5);
    EXPECT_EQ(parse_real("+2"), 2.0);
    EXPECT_EQ(parse_real("-0.00000E+0"), 0.0);
    EXPECT_EQ(parse_real("1.00000E-2"), 0.01);
    EXPECT_EQ(parse_real("1D3"), 1000.0);
    EXPECT_EQ(parse_real("1e-400"), 0.0);
    for (const char* bad : {"", "-", ".", "1.2.3", "inf", "nan", "1e999", "12a", "0x10", "e5"})
        EXPECT_FALSE(parse_real(bad).has_value()) << bad;
    EXPECT_EQ(parse_integer("-12"), -12);
    EXPECT_EQ(parse_integer("3.0"), 3);
    EXPECT_EQ(parse_integer("-0."), 0);
    EXPECT_FALSE(parse_integer("3.5").has_value());
    EXPECT_FALSE(parse_integer("1e20").has_value());
}

TEST(NumberText, FormattingIsShortAndExact) {
    EXPECT_EQ(format_real(1.0), "1.0");
    EXPECT_EQ(format_real(-0.0), "0.0");
    EXPECT_EQ(format_real(0.1), "0.1");
    EXPECT_EQ(format_real(1e-7), "1e-07");
    std::mt19937_64 random(20261208);
    for (int i = 0; i < 20000; ++i) {
        std::uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value)) continue;
        const std::string text = format_real(value);
        ASSERT_EQ(parse_real(text), value) << text;
    }
}

}  // namespace
}  // namespace velquin::sim
