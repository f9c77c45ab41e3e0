// SPDX-License-Identifier: Apache-2.0
// The BSDL reader: every syntax feature and every refusal on one small file, and the built-in
// CPUs' files against the virtual board's own facts.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <memory>
#include <sstream>
#include <string>

#include "app/bsdl_board.h"
#include "jtag/chain_check.h"
#include "sim/cpu_facts.h"
#include "sim/cpu_pins.h"
#include "targets/bsdl_device.h"
#include "targets/bsdl_target.h"
#include "targets/cpu_table.h"
#include "tests/support/flash_job.h"
#include "tests/support/sim_run.h"

namespace {

// Line numbers matter: the refusals name them.
// clang-format off
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
    // clang-format on
    const char* result;  // "" to read, else the refusal
};

// clang-format off
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
    {"\"4 (BC_1, nOE, output2, 1)\"", "\"4 (BC_1, nOE, output2, 1, 4, 1, PULL1)\"", ""},
    {"X, 2, 0, Z),\" &\n\"2", "X, 1, 0, Z),\" &\n\"2", "f.bsd:10: control cell 1 of cell 1 does not exist"},
    {"4 (BC_1, nOE", "4 (BC_1, A(0)", "f.bsd:13: port A(0) has a second output cell, 4 (the first is 0)"},
    {"A(1), output3", "A(00000), output3", "f.bsd:10: A(00000) is not an element number: write A(0)"},
    {"4 (BC_1, nOE", "3 (BC_1, nOE", "f.bsd:13: cell 3 is described twice (also on line 12)"},
    {"2, 0, Z),\" &\n\"2", "7, 0, Z),\" &\n\"2", "f.bsd:10: control cell 7 of cell 1 does not exist"},
    {"use STD", "attribute INSTRUCTION_CAPTURE of E : entity is \"001\";\nuse STD", "f.bsd:3: INSTRUCTION_CAPTURE has 3 bits, INSTRUCTION_LENGTH is 2"},
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
// clang-format on

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

TEST(Bsdl, ARegisterLongerThanTheImagesIsRefused)
{
    BsdlDevice huge;
    huge.boundary_length = kMaxBsrLength + 1;
    huge.instructions = {{"EXTEST", {"00"}}};
    BsdlTarget target;
    std::string error;
    EXPECT_FALSE(target.build(huge, {}, error));
    EXPECT_EQ(error, "The boundary-scan register has 4097 cells; at most 4096 are supported");
}

std::string board_file(const std::string& name) { return std::string(TARNFLASH_BOARDS_DIR) + "/" + name; }

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The role the virtual board gives a cell, as the pin name and cell function a BSDL file needs.
std::string board_role(const sim::CellWiring& w)
{
    const std::string k = std::to_string(w.index);
    switch (w.role) {
    case sim::CellRole::Address:
        return "A(" + k + ") output2";
    case sim::CellRole::DataInOut:
        return "D(" + k + ") bidir";
    case sim::CellRole::DataOut:
        return "D(" + k + ") output3";
    case sim::CellRole::DataIn:
        return "D(" + k + ") input";
    case sim::CellRole::ReadStrobe:
        return "nOE output2";
    case sim::CellRole::WriteStrobe:
        return "nWE output2";
    case sim::CellRole::ChipSelect:
        return "nCS" + k + " output2";
    default:
        return "";  // direction cells are checked as the data pins' control cells
    }
}

std::string file_role(const BsdlDevice& device, int cell)
{
    const BsdlCell& c = device.cells[static_cast<size_t>(cell)];
    if (c.pin < 0)
        return "";
    return device.pins[static_cast<size_t>(c.pin)].name + " " + kCellFunctionNames[static_cast<int>(c.function)];
}

TEST(Bsdl, TheBuiltInCpusFilesMatchTheBoardsFactsAndTheRows)
{
    int count = 0;
    const sim::CpuFacts* facts = sim::cpu_facts_table(&count);
    for (int i = 0; i < count; ++i) {
        const sim::CpuFacts& f = facts[i];
        SCOPED_TRACE(f.name);
        BsdlDevice device;
        std::string error;
        ASSERT_TRUE(bsdl_read_file(board_file(lower(f.name) + ".bsd").c_str(), device, error)) << error;
        EXPECT_EQ(device.boundary_length, static_cast<int>(f.bsr_length));
        EXPECT_EQ(device.instruction_length, static_cast<int>(sim::kInstructionLength));
        for (int bit = 0; bit < 32; ++bit)
            EXPECT_EQ(device.idcode[static_cast<size_t>(31 - bit)], (f.idcode >> bit) & 1 ? '1' : '0');
        for (int bit = 0; bit < 4; ++bit) {
            EXPECT_EQ(device.instruction("IDCODE")->opcodes[0][static_cast<size_t>(3 - bit)],
                      (f.idcode_instruction >> bit) & 1 ? '1' : '0');
            EXPECT_EQ(device.instruction("EXTEST")->opcodes[0][static_cast<size_t>(3 - bit)],
                      (sim::kExtestInstruction >> bit) & 1 ? '1' : '0');
        }
        sim::CpuModel model{};
        ASSERT_TRUE(sim::cpu_model_from_name(f.name, &model));
        const sim::CpuPins& wiring = sim::cpu_pins(model);
        for (int cell = 0; cell < wiring.bsr_length; ++cell) {
            const sim::CellWiring& w = wiring.cells[cell];
            EXPECT_EQ(file_role(device, cell), board_role(w)) << "cell " << cell;
            if (w.role != sim::CellRole::Direction && w.role != sim::CellRole::BusDirection)
                continue;
            for (int k = 0; k < wiring.data_pins; ++k) {
                const BsdlPin* pin = device.pin("D(" + std::to_string(k) + ")");
                if (w.role == sim::CellRole::BusDirection || w.index == k) {
                    EXPECT_EQ(pin->control, cell) << "D" << k;
                    EXPECT_EQ(pin->disable, wiring.drive_level ? '0' : '1') << "D" << k;
                }
            }
        }
        // The same cells as the built-in row, and its default image as the safe values.
        const CpuTarget& row = *cpu_select(f.name);
        EXPECT_EQ(device.safe_image(), row.default_image);
        const std::string info = "entity " + std::string(row.name) + "\ninstruction_length 4\nboundary_length " +
                                 std::to_string(row.bsr_length) + "\nidcode " + row.idcode + " (" +
                                 (std::ostringstream() << "0x" << std::hex << std::uppercase << std::setw(8)
                                                       << std::setfill('0') << bitstring_value(row.idcode))
                                     .str() +
                                 ")\nopcode EXTEST 0000\n";
        EXPECT_EQ(bsdl_info_text(device).substr(0, info.size()), info);
        for (const char* setup : {"-x16.bus", "-x8.bus"}) {
            BusMap map;
            BsdlTarget target;
            std::string text;
            std::getline(*std::make_unique<std::ifstream>(board_file(lower(f.name) + setup)), text);
            ASSERT_TRUE(bus_map_parse(text.c_str(), map, error) && target.build(device, map, error)) << error;
            const CpuPins& pins = target.cpu().pins;
            const size_t skipped = setup[2] == '1' ? 1 : 0;
            EXPECT_TRUE(std::equal(pins.address.begin(), pins.address.end(), row.pins.address.begin() + skipped,
                                   row.pins.address.end()));
            EXPECT_TRUE(std::equal(pins.data_out.begin(), pins.data_out.end(), row.pins.data_out.begin()));
            EXPECT_TRUE(std::equal(pins.data_in.begin(), pins.data_in.end(), row.pins.data_in.begin()));
            EXPECT_TRUE(std::equal(pins.direction.begin(), pins.direction.end(), row.pins.direction.begin()));
            EXPECT_EQ(pins.drive, row.pins.drive);
            EXPECT_EQ(pins.oe, row.pins.oe);
            EXPECT_EQ(pins.we, row.pins.we);
            EXPECT_EQ(target.cpu().ncs_cells[0], row.ncs_cells[0]);
            // The row's image, but with the data bus released until a write drives it.
            std::string image = row.default_image;
            for (uint16_t cell : pins.direction)
                image[cell] = row.pins.drive == '0' ? '1' : '0';
            EXPECT_EQ(target.cpu().default_image, image);
        }
    }
}

// ---- a board of its own: address pins out of cell order, a vector data bus, a held write-protect ----

const std::string kMap = "addr=ADDR1..ADDR19 data=DQ(0..15) ncs=nCS0 noe=nOE nwe=nWE";

struct BoardCase {
    std::vector<std::string> tool;  // after --bsdl FILE; "@M" is the board's own map
    const char* line;               // printed on a line of its own
    int status;
    bool chain = false;          // reaches the chain; every other refusal touches no port
    const char* edit_from = "";  // an edit of the board's file before the run
    const char* edit_to = "";
};

// clang-format off
const BoardCase kBoardCases[] = {
    {{"--bus", "@M", "--hold", "nWP=1", "-j"}, "OK!, JTAG ID:   00000110110000110101010001100111", 0, true},
    {{"--bus", "@M", "--hold", "nWP=1", "-F", "S29AL008D", "-w", "16", "-i", "1", "-f@I"}, "Expected JTAG ID: XXXX0110110000110111010001100111 (from @F)", 1, true, "0110110000110101\"", "0110110000110111\""},
    // The board needs nWP high: without the hold every write is lost.
    {{"--bus", "@M", "-F", "S29AL008D", "-w", "16", "-i", "1", "-f@I"}, "Cannot read flash ID or Unknow flash", 1, true},
    {{"--bus", "@M", "-F", "S29AL008D", "-w", "16", "-i", "1", "-f@I"}, "pins the file has that the map does not hold: nCS1, nWP (--hold PIN=0|1 if the board needs them)", 1, true},
    {{"--bus", "addr=ADDR2+ADDR1+ADDR3..ADDR19 data=DQ(0..15) ncs=nCS0 noe=nOE nwe=nWE", "--hold", "nWP=1", "-F", "S29AL008D", "-w", "16", "-i", "1", "-f@I"}, "Cannot read flash ID or Unknow flash", 1, true},
    {{"--bus", "addr=ADDR1..ADDR19 data=DQ(0..14) ncs=nCS0 noe=nOE nwe=nWE", "--hold", "nWP=1", "-F", "S29AL008D", "-w", "16", "-i", "1", "-f@I"}, "The bus map has 15 data pins: a flash bus has 8 (8x1) or 16 (16x1, 8x2)", 1, false},
    {{"--bus", "@M", "--hold", "nWP=1", "--detect", "-w", "8", "-i", "1", "-f@I"}, "The bus map has 16 data pins: its flash bus is 16x1 or 8x2, which -w and -i must fit", 1, false},
    {{"--bus", "addr=ADDR1..ADDR16 data=DQ(0..15) ncs=nCS0 noe=nOE nwe=nWE", "--hold", "nWP=1", "-F", "S29AL008D", "-w", "16", "-i", "1", "-o", "0x20000", "-f@I"}, "The bus map's 16 address pins reach 0x20000 bytes; the job goes up to 0x30000", 1, true},
    // A bus map's pins count words: 17 of them reach 256 KB of a 16-bit flash, not 128 KB.
    {{"--bus", "addr=ADDR1..ADDR17 data=DQ(0..15) ncs=nCS0 noe=nOE nwe=nWE", "--hold", "nWP=1", "-F", "S29AL008D", "-w", "16", "-i", "1", "-o", "0x20000", "-f@I"}, "Flash writing & verifying OK", 0, true},
    {{"--bus", "@M", "-C", "KTR5200"}, "--bsdl and -C cannot be given together", 1, false},
    {{"--bus", "@M", "-t"}, "-t drives a built-in CPU's pins: it cannot be given with --bsdl", 1, false},
    {{"-F", "S29AL008D"}, "--bsdl needs --bus MAP for a flash job", 1, false},
    {{"--bus", "addr=ADDR1 data=DQ(0) ncs=nCS0 noe=nOE"}, "--bus needs addr=, data=, ncs=, noe= and nwe=", 1, false},
    {{"--bus", "@M,wp=nWP"}, "--bus: unknown item 'wp=nWP' (expected addr=, data=, ncs=, noe=, nwe=)", 1, false},
    {{"--bus", "addr=ADDR1..X19"}, "--bus: 'ADDR1..X19' is not a range (A1..A22 or A(1..22))", 1, false},
    {{"--bus", "ncs=nCS0 ncs=nCS1"}, "--bus: ncs= takes one pin, given once", 1, false},
    {{"--bus", "addr=ADDR1 addr=ADDR2"}, "--bus: addr= given twice", 1, false},
    {{"--bus", "@M", "--hold", "nWP=2"}, "--hold takes PIN=0, PIN=1 or PIN=z, not 'nWP=2'", 1, false},
    {{"--bus", "addr=ADDR1..ADDR19 data=DQ(0..15) ncs=nCS9 noe=nOE nwe=nWE"}, "--bus: the BSDL file has no pin nCS9", 1, false},
    {{"--bus", "addr=ADDR1..ADDR19 data=DQ(0..15) ncs=nCS0 noe=nCS0 nwe=nWE"}, "--bus: pin nCS0 is named twice", 1, false},
    {{"--bus", "addr=ADDR1..ADDR19 data=DQ(0..15) ncs=nCS0 noe=nOE nwe=IRQ"}, "--bus: pin IRQ has no output cell", 1, false},
    {{"--bus", "addr=ADDR1..ADDR19 data=DQ(0..14)+nCS1 ncs=nCS0 noe=nOE nwe=nWE"}, "--bus: data pin nCS1 has no input cell", 1, false},
    {{"--bus", "addr=ADDR1..ADDR19 data=DQ(0..14)+CLKOUT ncs=nCS0 noe=nOE nwe=nWE"}, "--bus: data pin CLKOUT has no control cell to release it", 1, false},
    {{"--bus", "addr=ADDR1..ADDR19 data=DQ(0..14)+GPIO0 ncs=nCS0 noe=nOE nwe=nWE"}, "--bus: data pins DQ(0) and GPIO0 are released at different levels", 1, false},
    {{"--bus", "@M", "--hold", "ADDR0=z"}, "--bus: pins ADDR1 and ADDR0 share control cell 1 but need it at different levels", 1, false},
    {{"--bus", "@M"}, "--bus: data pin DQ(0) can only be driven low or released (its output cell is its own control)", 1, false, "DQ(0), output3, X, 39, 0, Z", "DQ(0), output2, X, 54, 1, PULL1"},
    {{"--bus", "@M", "--hold", "IRQ=1"}, "--hold: pin IRQ has no output cell", 1, false},
    {{"--bus", "@M", "--hold", "CLKOUT=z"}, "--hold: pin CLKOUT cannot be released: it has no control cell", 1, false},
    {{"--bus", "@M"}, "The BSDL file has no EXTEST instruction: its pins cannot be driven", 1, false, "EXTEST  (", "EXTRA  ("},
    {{"-j"}, "Expected JTAG ID: XXXX0110110000110111010001100111 (from @F)", 1, true, "0110110000110101\"", "0110110000110111\""},
    {{"-j"}, "The BSDL file gives no IDCODE to check", 1, false, "IDCODE  (", "USERCODE  ("},
    {{"-j"}, "@F:46: IDCODE_REGISTER has 33 bits, expected 32", 1, false, "\"1\";", "\"11\";"},
    {{"--bsdl", "/nonexistent/board.bsd", "-j"}, "Cannot read the BSDL file /nonexistent/board.bsd", 1, false},
    {{"--bsdl", "/dev/zero", "-j"}, "Cannot read the BSDL file /dev/zero: not a regular file", 1, false},
    {{"--bsdl", "/", "--bsdl-info"}, "Cannot read the BSDL file /: a folder, not a file", 1, false},
    {{"--bsdl", "@L", "-j"}, "Cannot read the BSDL file @L: over 16 MiB", 1, false},
    {{"--bsdl-info"}, "pin nWP out=61 ctl=60 dis=1 in=-", 0, false},
    {{"--bsdl-info"}, "design_warning nWP is pulled up on the board; keep nCS1 high.", 0, false},
    {{"--bsdl-info"}, "The BSDL file has no EXTEST instruction: its pins cannot be driven", 1, false, "EXTEST  (", "EXTRA  ("},
    {{"--bsdl-info", "-j"}, "--bsdl-info takes --bsdl FILE and nothing else", 1, false},
};
// clang-format on

TEST(BsdlBoard, EveryRefusalAndFailureLeavesTheFlashAlone)
{
    flash_job::ScratchDir dir;
    const flash_job::Bytes bytes = flash_job::pattern(0x800, 5);
    const std::string image = dir.write("image.bin", bytes);
    std::ifstream in(board_file("example-soc.bsd"), std::ios::binary);
    const std::string original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string large = dir.write("large.bsd", {});
    std::filesystem::resize_file(large, (16u << 20) + 1);  // sparse, just over the limit
    for (const BoardCase& c : kBoardCases) {
        std::string text = original;
        if (c.edit_from[0] != '\0')
            text.replace(text.find(c.edit_from), std::string(c.edit_from).size(), c.edit_to);
        const std::string file = dir.write("board.bsd", flash_job::Bytes(text.begin(), text.end()));
        std::vector<std::string> tool = {"--bsdl", file};
        for (const std::string& arg : c.tool)
            tool.push_back(arg == "@M"          ? kMap
                           : arg == "-f@I"      ? "-f" + image
                           : arg == "@M,wp=nWP" ? kMap + ",wp=nWP"
                           : arg == "@L"        ? large
                                                : arg);
        std::string line = c.line;
        for (const auto& [mark, path] : {std::pair{"@F", file}, {"@L", large}})
            if (line.find(mark) != std::string::npos)
                line.replace(line.find(mark), 2, path);
        SimSession session({"--bsdl", board_file("example-soc.bsd"), "--bus", kMap, "--hold", "nWP=1"});
        SimRun run = session.run(tool);
        EXPECT_EQ(run.status, c.status) << line << "\n" << run.console;
        EXPECT_TRUE(flash_job::has(run.console, line + "\n")) << line << "\n" << run.console;
        if (!c.chain) {
            EXPECT_EQ(run.stats.port_writes, 0u) << line;
        }
        const flash_job::Bytes flash = session.board().flash()->contents();
        // Only a job that ends well writes, and only its image.
        const long written = c.status == 0 && c.tool.back() == "-f@I" ? 0x800 - std::count(bytes.begin(), bytes.end(), 0xFF) : 0;
        EXPECT_EQ(std::count(flash.begin(), flash.end(), 0xFF), static_cast<long>(flash.size()) - written) << line;
    }
}

TEST(BsdlBoard, AJobOnABoardOfItsOwnOnBothCables)
{
    flash_job::ScratchDir dir;
    const flash_job::Bytes image = flash_job::pattern(0x1801, 9);
    for (const char* cable : {"parport", "ftdi", "jlink", "gpio", "cmsis-dap"}) {
        SimSession session(
            {"--bsdl", board_file("example-soc.bsd"), "--bus", kMap, "--hold", "nWP=1", "--cable", cable});
        ASSERT_TRUE(session.ok()) << session.error();
        SimRun run = session.run({"--bsdl", board_file("example-soc.bsd"), "--bus", kMap, "--hold", "nWP=1", "--hold",
                                  "nCS1=1", "-F", "S29AL008D", "-w", "16", "-i", "1", "-o", "0x10000",
                                  "-f" + dir.write("image.bin", image)});
        EXPECT_EQ(run.status, 0) << run.console;
        EXPECT_TRUE(flash_job::has(run.console, "\nFlash writing & verifying OK\n")) << run.console;
        EXPECT_EQ(run.stats.rule_violations, 0u);
        const size_t size = session.board().flash()->size_bytes();
        EXPECT_EQ(flash_job::first_difference(session.board().flash()->contents(),
                                              flash_job::expected_flash({}, size, 0x10000, 0x20000, 0x10000, image)),
                  "");
    }
    // Write strobe and write-protect as open-drain pins: their cells are their own controls.
    std::ifstream in(board_file("example-soc.bsd"), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const auto& [from, to] : {std::pair{"nWE, output2, 1)", "nWE, output2, 1, 59, 1, PULL1)"},
                                   std::pair{"nWP, output3, X, 60, 1", "nWP, output2, 1, 61, 1"}})
        text.replace(text.find(from), std::string(from).size(), to);
    const std::string drained = dir.write("drain.bsd", flash_job::Bytes(text.begin(), text.end()));
    SimSession session({"--bsdl", drained, "--bus", kMap, "--hold", "nWP=1"});
    SimRun run = session.run({"--bsdl", drained, "--bus", kMap, "--hold", "nWP=1", "-F", "S29AL008D", "-w", "16", "-i",
                              "1", "-f" + dir.write("image.bin", image)});
    EXPECT_EQ(run.status, 0) << run.console;
    EXPECT_EQ(flash_job::first_difference(session.board().flash()->contents(),
                                          flash_job::expected_flash({}, 0x100000, 0, 0x10000, 0, image)),
              "");
    // The board and its wiring are checked when the simulator starts.
    std::string errors;
    const std::string wrong = "'addr=ADDR1 data=DQ(0) ncs=nCS7 noe=nOE nwe=nWE'";
    EXPECT_EQ(run_sim_program("--bsdl " + board_file("example-soc.bsd") + " --bus " + wrong + " -- -j", errors), 2);
    EXPECT_EQ(errors, "tarnflash-sim: the wiring names nCS7, a pin without cells in the BSDL file\n");
    const std::string broken = dir.write("broken.bsd", {'e', 'n', 't', 'i', 't', 'y', ' ', 'X', ' ', 'i', 's', '\n'});
    EXPECT_EQ(run_sim_program("--bsdl " + broken + " --bus " + wrong + " -- -j", errors), 2);
    EXPECT_EQ(errors, "tarnflash-sim: " + broken + ":2: expected 'end X;', found the end of the file\n");
    EXPECT_EQ(SimSession({"--bsdl", board_file("example-soc.bsd")}).error(),
              "tarnflash-sim: --bsdl FILE and --bus MAP (and --hold) describe one board together");
    EXPECT_EQ(SimSession({"--bsdl", board_file("example-soc.bsd"), "--bus", kMap, "--cpu", "ULN"}).error(),
              "tarnflash-sim: --bsdl replaces --cpu: give one of them");
}

}  // namespace
