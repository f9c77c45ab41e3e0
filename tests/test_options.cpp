// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"
#include "jtag/number_text.h"

namespace {

constexpr const char* kOptions = "C:F:w:i:f:o:jte:b:";

// An argv that stays valid for the test; argv[0] is the program name.
struct Args {
    std::vector<std::string> text;
    std::vector<char*> argv;
    explicit Args(std::vector<std::string> words) : text(std::move(words))
    {
        text.insert(text.begin(), "tarnflash");
        for (std::string& word : text)
            argv.push_back(word.data());
        argv.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(text.size()); }
};

struct Step {
    int result;
    const char* value;  // nullptr = no value
};

struct ScanCase {
    std::vector<std::string> args;
    std::vector<Step> steps;  // up to and including the first 0
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << (c.args.empty() ? std::string("(none)") : c.args[0]); }

class GetOption : public testing::TestWithParam<ScanCase> {};

TEST_P(GetOption, YieldsOptionsValuesAndEnd)
{
    const ScanCase& c = GetParam();
    Args args(c.args);
    OptionScan scan;
    for (size_t i = 0; i < c.steps.size(); ++i) {
        const char* value = "untouched";
        int result = get_option(scan, args.argc(), args.argv.data(), kOptions, &value);
        EXPECT_EQ(result, c.steps[i].result) << "call " << i;
        if (c.steps[i].value == nullptr) {
            EXPECT_EQ(value, nullptr) << "call " << i;
        } else {
            EXPECT_STREQ(value, c.steps[i].value) << "call " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, GetOption,
    testing::Values(ScanCase{{"-C", "KTR5200"}, {{'C', "KTR5200"}, {0, nullptr}}},
                    ScanCase{{"-CKTR5200"}, {{'C', "KTR5200"}, {0, nullptr}}},
                    ScanCase{{"/C", "KTR5200"}, {{'C', "KTR5200"}, {0, nullptr}}},
                    // A separate value that starts like an option is no value; it is scanned itself.
                    ScanCase{{"-f", "/img.bin"}, {{'f', nullptr}, {'i', "mg.bin"}, {0, nullptr}}},
                    ScanCase{{"-f/img.bin"}, {{'f', "/img.bin"}, {0, nullptr}}},
                    ScanCase{{"-C", "-j"}, {{'C', nullptr}, {'j', nullptr}, {0, nullptr}}},
                    ScanCase{{"-C"}, {{'C', nullptr}, {0, nullptr}}}, ScanCase{{"-w", ""}, {{'w', ""}, {0, nullptr}}},
                    // Only the second character counts.
                    ScanCase{{"-jt"}, {{'j', nullptr}, {0, nullptr}}},
                    ScanCase{{"-j", "x"}, {{'j', nullptr}, {1, "x"}, {0, nullptr}}},
                    ScanCase{{"foo", "-t"}, {{1, "foo"}, {'t', nullptr}, {0, nullptr}}},
                    ScanCase{{"-x", "-j"}, {{-1, "-x"}, {'j', nullptr}, {0, nullptr}}},
                    ScanCase{{"-"}, {{-1, "-"}, {0, nullptr}}},
                    ScanCase{{"-c", "KTR5200"}, {{-1, "-c"}, {1, "KTR5200"}, {0, nullptr}}},
                    ScanCase{{"-e", "all", "-b3"}, {{'e', "all"}, {'b', "3"}, {0, nullptr}}},
                    ScanCase{{}, {{0, nullptr}, {0, nullptr}}}));

TEST(GetOptionIndex, EachScanStartsAtTheFirstArgument)
{
    Args args({"-j", "-t"});
    const char* value = nullptr;
    OptionScan first;
    EXPECT_EQ(get_option(first, args.argc(), args.argv.data(), kOptions, &value), 'j');
    OptionScan second;
    EXPECT_EQ(get_option(second, args.argc(), args.argv.data(), kOptions, &value), 'j');
    EXPECT_EQ(get_option(second, args.argc(), args.argv.data(), kOptions, &value), 't');
}

struct NumberCase {
    const char* text;
    int result;
    int32_t value;  // expected value; the sentinel when the parse fails
};

constexpr int32_t kSentinel = 777;

void PrintTo(const NumberCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class ParseNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(ParseNumber, AcceptsOrLeavesValueAlone)
{
    const NumberCase& c = GetParam();
    int32_t value = kSentinel;
    EXPECT_EQ(parse_number(c.text, &value), c.result != 0);
    EXPECT_EQ(value, c.result ? c.value : kSentinel);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseNumber,
    testing::Values(NumberCase{"12", 1, 12}, NumberCase{" 12", 1, 12}, NumberCase{"   7", 1, 7},
                    NumberCase{"12 ", 0, 0}, NumberCase{"\t12", 0, 0}, NumberCase{"1 2", 0, 0},
                    NumberCase{"0x1F", 1, 31}, NumberCase{"0X1f", 1, 31}, NumberCase{" 0xabc", 1, 0xABC},
                    NumberCase{"1F", 0, 0}, NumberCase{"08", 1, 8}, NumberCase{"0", 1, 0}, NumberCase{"", 1, 0},
                    NumberCase{"   ", 1, 0}, NumberCase{"0x", 0, 0}, NumberCase{"x10", 0, 0}, NumberCase{"10x", 0, 0},
                    NumberCase{"0x0x1", 0, 0}, NumberCase{"-5", 0, 0}, NumberCase{"+5", 0, 0}, NumberCase{"0xG", 0, 0},
                    NumberCase{"2147483648", 1, INT32_MIN}, NumberCase{"4294967295", 1, -1},
                    NumberCase{"0xFFFFFFFF", 1, -1}, NumberCase{"0x00000000FFFFFFFF", 1, -1},
                    NumberCase{"000000000000000000012", 1, 12},
                    // Beyond 32 bits: refused, never wrapped.
                    NumberCase{"4294967296", 0, 0}, NumberCase{"0x100000000", 0, 0}, NumberCase{"99999999999", 0, 0},
                    NumberCase{"18446744073709551617", 0, 0}, NumberCase{"0x10000000000000001", 0, 0}));

// The shared parsers into a byte: the type's range is the limit; -1 is a refusal.
TEST(NumberText, WholeTextOrNothingWithinTheType)
{
    const struct {
        const char* text;
        int as_unsigned;
        int as_hex;
    } cases[] = {{"255", 255, -1}, {"256", -1, -1}, {"0xFF", 255, 255}, {"FF", -1, 255}, {"0x100", -1, -1},
                 {"0x", -1, -1},   {"", -1, -1},    {"-1", -1, -1},     {" 1", -1, -1}, {"0X0a", 10, 10}};
    for (const auto& c : cases) {
        uint8_t value = 7;
        EXPECT_EQ(parse_unsigned(c.text, value) ? value : -1, c.as_unsigned) << c.text;
        value = 7;
        EXPECT_EQ(parse_hex(c.text, value) ? value : -1, c.as_hex) << c.text;
    }
}

}  // namespace
