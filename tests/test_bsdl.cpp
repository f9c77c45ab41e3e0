// The BSDL reader: every syntax feature and every refusal on one small file, and the built-in
// CPUs' files against the virtual board's own facts.
#include <gtest/gtest.h>

#include <string>

#include "sim/cpu_facts.h"
#include "sim/cpu_pins.h"
#include "targets/bsdl_device.h"
#include "targets/bsdl_target.h"

namespace {

// Line numbers matter: the refusals name them.
constexpr const char* kBase =
    "entity E is\n"                                                                           // 1
    "port (TDI, TMS: in bit; A: out bit_vector (0 to 1); D: inout bit; nOE: out bit);\n"       // 2
    "use STD_1149_1_2001.all;\n"                                                              // 3
    "attribute INSTRUCTION_LENGTH of E : entity is 2;\n"                                      // 4
    "attribute INSTRUCTION_OPCODE of E : entity is \"EXTEST (00), IDCODE (01, 10), BYPASS (11)\";\n"  // 5
    "attribute IDCODE_REGISTER of E : entity is \"0001\" & \"1011010011100010\" & \"00001101001\" & \"1\";\n"  // 6
    "attribute BOUNDARY_LENGTH of E : entity is 5;\n"                                         // 7
    "attribute BOUNDARY_REGISTER of E : entity is\n"                                          // 8
    "\"0 (BC_1, A(0), output2, X),\" &\n"                                                      // 9
    "\"1 (BC_1, A(1), output3, X, 2, 0, Z),\" &\n"                                             // 10
    "\"2 (BC_2, *, control, 0),\" &\n"                                                         // 11
    "\"3 (BC_7, D, bidir, X, 2, 0, Z),\" &\n"                                                  // 12
    "\"4 (BC_1, nOE, output2, 1)\";\n"                                                         // 13
    "end E;\n";                                                                               // 14

struct ReadCase {
    const char* from;    // replaced everywhere in the base file
    const char* to;
    const char* result;  // "" to read, else the refusal
};

const ReadCase kReadCases[] = {
    {"\n", "\r\n\t", ""},
    {"entity E is", "BSDL written by a tool, \"quoted\" -- entity in a comment\nentity E is", ""},
    {"attribute", "ATTRIBUTE", ""},
    {" & \"", " & -- a comment \xe9 between pieces\n \"", ""},
    {"(0 to 1)", "(1 downto 0)", ""},
    {"BC_7", "VENDOR_CELL9", ""},
    {"port (", "generic (PHYSICAL_PIN_MAP : string := \"PKG\");\nport (", ""},
    {"end E;", "constant PKG : PIN_MAP_STRING := \"A:(1, 2),\" & \"D:3\";\nattribute X of D : signal is true;\nend E;", ""},
    {"use STD", "attribute DESIGN_WARNING of E : entity is \"see \" & \"notes\";\nuse STD", ""},
    {"4 (BC_1, nOE", "3 (BC_1, nOE", "f.bsd:13: cell 3 is described twice (also on line 12)"},
    {"2, 0, Z),\" &\n\"2", "7, 0, Z),\" &\n\"2", "f.bsd:10: control cell 7 of cell 1 does not exist"},
    {"nOE, output2", "nRD, output2", "f.bsd:13: port nRD has cells but is not declared in the port list"},
    {"\"1\";", "\"11\";", "f.bsd:6: IDCODE_REGISTER has 33 bits, expected 32"},
    {"EXTEST (00)", "EXTEST (000)", "f.bsd:5: opcode 000 of EXTEST has 3 bits, INSTRUCTION_LENGTH is 2"},
    {"is 5;", "is 6;", "f.bsd:9: cell 5 is missing from BOUNDARY_REGISTER"},
    {"is 5;", "is 4;", "f.bsd:13: cell 4 is outside BOUNDARY_LENGTH 4"},
    {"A(1), output3", "A(2), output3", "f.bsd:10: A(2) is outside port A"},
    {"A(0), output2", "A, output2", "f.bsd:9: port A is a vector: expected an element, A(i)"},
    {"nOE, output2", "nOE, outpt2", "f.bsd:13: expected a cell function (INPUT, OUTPUT2, OUTPUT3, CONTROL, BIDIR, ...), found 'outpt2'"},
    {"control, 0)", "control, 2)", "f.bsd:11: expected a safe value (0, 1, X), found '2'"},
    {"end E;\n", "", "f.bsd:14: expected 'end E;', found the end of the file"},
    {"attribute BOUNDARY_LENGTH of E : entity is 5;", "", "f.bsd:14: expected attribute BOUNDARY_LENGTH before the end of the entity"},
    {"D: inout bit", "D: sideways bit", "f.bsd:2: expected a port mode (in, out, inout, buffer, linkage), found 'sideways'"},
    {"(0 to 1)", "(1 to 0)", "f.bsd:2: range of port A runs the wrong way for 'to'"},
    {"is 2;", "is 2", "f.bsd:5: expected ';', found 'attribute'"},
};

std::string edited(const ReadCase& c)
{
    std::string text = kBase;
    for (size_t at = text.find(c.from); at != std::string::npos; at = text.find(c.from, at + std::string(c.to).size()))
        text.replace(at, std::string(c.from).size(), c.to);
    return text;
}

TEST(Bsdl, EverySyntaxFeatureReadsAndEveryContradictionIsRefusedWithItsLine)
{
    for (const ReadCase& c : kReadCases) {
        BsdlDevice device;
        std::string error;
        const bool ok = bsdl_read(edited(c), "f.bsd", device, error);
        EXPECT_EQ(ok, c.result[0] == '\0') << c.to << "\n" << error;
        EXPECT_EQ(error, c.result) << c.to;
        if (!ok)
            continue;
        EXPECT_EQ(device.idcode, "00011011010011100010000011010011") << c.to;
        ASSERT_NE(device.instruction("idcode"), nullptr);
        EXPECT_EQ(device.instruction("idcode")->opcodes, (std::vector<std::string>{"01", "10"}));
        EXPECT_EQ(device.safe_image(), "00001") << c.to;  // X outputs 0, the control at its safe 0
        ASSERT_NE(device.pin("d"), nullptr) << c.to;
        EXPECT_EQ(device.pin("d")->output, 3);
        EXPECT_EQ(device.pin("d")->input, 3);
        EXPECT_EQ(device.pin("A(1)")->control, 2);
        EXPECT_EQ(device.pin("A(1)")->disable, '0');
    }
}

}  // namespace
