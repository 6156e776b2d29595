// samplegen: writes the demo's sample firmware, a made-up alarm panel
// application for the PIC24FJ128GA106, as an Intel HEX file laid out the way
// the XC16 toolchain lays out its output:
//
//   - an 8-byte record at 0 holding the reset GOTO;
//   - the interrupt and alternate interrupt vector tables as 4-byte records,
//     each after its own extended linear address record;
//   - code sections that start inside a 256-byte write block and end with a
//     short record, gaps between sections, 16-byte data records;
//   - a constant table that crosses a 64 KiB file boundary, so that an
//     extended linear address record appears mid-section;
//   - the three configuration words in the last page (device addresses
//     0x157FA, 0x157FC, 0x157FE, file byte addresses 0x2AFF4..0x2AFFF), where
//     the bootloader keeps its own code and a writer must not go.
//
// The instructions are plausible PIC24 words from a fixed pseudo-random
// sequence, so the output is the same on every run and every machine:
//
//   samplegen examples/alarm-panel-demo.hex

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A PIC24 program section: 24-bit instruction words from a device address
// (two address units per word). In the file each word takes four bytes:
// low, middle, upper, and the phantom byte 0.
struct Section
{
    const char *name;
    uint32_t address;
    std::vector<uint32_t> words;
    int recordBytes;        // data bytes per record
    bool addressEveryRecord; // an extended linear address record before each
};

// A fixed linear congruential sequence: the same words everywhere.
class Sequence
{
public:
    explicit Sequence(uint32_t seed) : m_state(seed) {}
    uint32_t next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return m_state >> 8;
    }
    uint32_t below(uint32_t limit) { return next() % limit; }

private:
    uint32_t m_state;
};

constexpr uint32_t kReset = 0xFE0000;   // RESET
constexpr uint32_t kReturn = 0x060000;  // RETURN
constexpr uint32_t kRetfie = 0x064000;  // RETFIE
constexpr uint32_t kNop = 0x000000;

uint32_t gotoLow(uint32_t target) { return 0x040000 | (target & 0xFFFE); }
uint32_t callLow(uint32_t target) { return 0x020000 | (target & 0xFFFE); }
uint32_t farHigh(uint32_t target) { return (target >> 16) & 0x7F; }
uint32_t movLiteral(uint32_t literal, uint32_t reg) { return 0x200000 | ((literal & 0xFFFF) << 4) | (reg & 0xF); }

// One made-up function: a frame, a body from the common instruction mix with
// calls to functions already placed, and the return.
void emitFunction(std::vector<uint32_t> &code, uint32_t base, Sequence &random,
                  std::vector<uint32_t> &functions, bool interrupt)
{
    functions.push_back(base + 2 * uint32_t(code.size()));
    code.push_back(0xFA0000 | (2 * random.below(8)));  // LNK #n
    const int body = 12 + int(random.below(90));
    for (int i = 0; i < body; ++i) {
        switch (random.below(10)) {
        case 0: code.push_back(0x780000 | random.below(0x8000)); break;      // MOV Ws,Wd
        case 1: code.push_back(0x400000 | random.below(0x80000)); break;     // ADD
        case 2: code.push_back(0x500000 | random.below(0x80000)); break;     // SUB
        case 3: code.push_back(movLiteral(random.below(0x10000), random.below(15))); break;
        case 4: code.push_back(0x800000 | random.below(0x80000)); break;     // MOV f,Wn
        case 5: code.push_back(0x880000 | random.below(0x80000)); break;     // MOV Wn,f
        case 6: code.push_back(0xA70000 | random.below(0x10000)); break;     // BTSC
        case 7: code.push_back(0x320000 | random.below(0x20)); break;        // BRA Z, short
        case 8:
            if (functions.size() > 1) {
                const uint32_t target = functions[random.below(uint32_t(functions.size()) - 1)];
                code.push_back(callLow(target));
                code.push_back(farHigh(target));
            } else {
                code.push_back(kNop);
            }
            break;
        default: code.push_back(0xE00000 | random.below(0x10)); break;       // CP0
        }
    }
    code.push_back(0xFA8000);  // ULNK
    code.push_back(interrupt ? kRetfie : kReturn);
}

// Text as program space visibility data: two characters a word, upper byte 0.
void emitString(std::vector<uint32_t> &words, const std::string &text)
{
    std::string bytes = text;
    bytes.push_back('\0');
    if (bytes.size() % 2)
        bytes.push_back('\0');
    for (size_t i = 0; i < bytes.size(); i += 2)
        words.push_back(uint8_t(bytes[i]) | (uint32_t(uint8_t(bytes[i + 1])) << 8));
}

std::string hexByte(unsigned value)
{
    static const char digits[] = "0123456789abcdef";
    return {digits[(value >> 4) & 0xF], digits[value & 0xF]};
}

std::string record(uint32_t address, int type, const std::vector<uint8_t> &data)
{
    unsigned sum = unsigned(data.size()) + ((address >> 8) & 0xFF) + (address & 0xFF) + unsigned(type);
    std::string line = ":" + hexByte(unsigned(data.size())) + hexByte((address >> 8) & 0xFF)
        + hexByte(address & 0xFF) + hexByte(unsigned(type));
    for (uint8_t byte : data) {
        line += hexByte(byte);
        sum += byte;
    }
    line += hexByte((0x100 - (sum & 0xFF)) & 0xFF);
    return line + "\n";
}

std::string extendedAddress(uint32_t upper)
{
    return record(0, 4, {uint8_t(upper >> 8), uint8_t(upper)});
}

std::string emitSection(const Section &section)
{
    std::vector<uint8_t> bytes;
    for (uint32_t word : section.words) {
        bytes.push_back(uint8_t(word));
        bytes.push_back(uint8_t(word >> 8));
        bytes.push_back(uint8_t(word >> 16));
        bytes.push_back(0);
    }
    std::string out;
    uint32_t fileAddress = section.address * 2;
    int64_t upper = -1;
    for (size_t pos = 0; pos < bytes.size();) {
        // A record never crosses a 64 KiB boundary: the next one starts after
        // a new extended linear address record.
        const uint32_t toBoundary = 0x10000 - (fileAddress & 0xFFFF);
        const size_t length = std::min<size_t>({size_t(section.recordBytes), bytes.size() - pos, toBoundary});
        if (section.addressEveryRecord || upper != int64_t(fileAddress >> 16)) {
            upper = fileAddress >> 16;
            out += extendedAddress(uint32_t(upper));
        }
        out += record(fileAddress & 0xFFFF, 0,
                      std::vector<uint8_t>(bytes.begin() + long(pos), bytes.begin() + long(pos + length)));
        pos += length;
        fileAddress += uint32_t(length);
    }
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: samplegen OUTPUT.hex\n");
        return 2;
    }

    Sequence random(0x24128106u);
    std::vector<uint32_t> functions;

    // Main program text from 0x200, just past the alternate vector table.
    const uint32_t textBase = 0x200;
    std::vector<uint32_t> text;
    const uint32_t defaultInterrupt = textBase;
    text.push_back(kReset);                      // __DefaultInterrupt
    text.push_back(kNop);
    const uint32_t resetEntry = textBase + 2 * uint32_t(text.size());
    text.push_back(movLiteral(0x0A00, 15));      // stack pointer
    text.push_back(movLiteral(0x27F0, 0));       // stack limit
    text.push_back(0x880000 | (0x20 << 4));      // MOV W0, SPLIM
    const size_t callMainAt = text.size();
    text.push_back(0);                           // CALL main, patched below
    text.push_back(0);
    text.push_back(kReset);
    // Whole functions up to a fixed length (one function is at most 205
    // words), then padding, so that the text ends inside a write block.
    const size_t textWords = 0x250B;
    while (text.size() + 210 < textWords)
        emitFunction(text, textBase, random, functions, false);
    text.resize(textWords, kNop);
    const uint32_t mainEntry = functions[functions.size() / 3];
    text[callMainAt] = callLow(mainEntry);
    text[callMainAt + 1] = farHigh(mainEntry);

    // Interrupt handlers, placed right after the main text: the section
    // begins mid-record and mid-block.
    const uint32_t isrBase = textBase + 2 * uint32_t(text.size());
    std::vector<uint32_t> isr;
    std::vector<uint32_t> handlers;
    for (int i = 0; i < 6; ++i) {
        emitFunction(isr, isrBase, random, functions, true);
        handlers.push_back(functions.back());
    }

    // Vector tables: every vector to the default handler except the ones
    // this application serves (INT0, T1, U1RX, U1TX, ADC1, T2).
    std::vector<uint32_t> ivt(0x7E, defaultInterrupt);  // 0x04..0xFE
    const uint32_t served[] = {0x14, 0x1A, 0x2A, 0x2C, 0x2E, 0x20};
    for (int i = 0; i < 6; ++i)
        ivt[(served[i] - 0x04) / 2] = handlers[size_t(i)];
    std::vector<uint32_t> aivt(0x7E, defaultInterrupt); // 0x104..0x1FE

    // Messages for the keypad display, after a gap, starting mid-block.
    std::vector<uint32_t> strings;
    for (const char *text : {"Central de alarme", "alarm-panel-demo 2.3.1", "KR 210 Nova", "QD 200 Nova",
                             "Zona %u aberta", "Zona %u violada", "Bateria baixa",
                             "Falha de rede eletrica", "Sistema armado", "Sistema desarmado",
                             "Senha incorreta", "Sirene desligada", "Teste de comunicacao"})
        emitString(strings, text);

    // Sensor calibration table, crossing the 64 KiB file boundary.
    std::vector<uint32_t> table;
    for (int i = 0; i < 512; ++i)
        table.push_back(uint32_t((i * 37 + (i * i) % 1021) & 0xFFFF));

    const std::vector<Section> sections = {
        {"reset", 0x000000, {gotoLow(resetEntry), farHigh(resetEntry)}, 8, true},
        {"ivt", 0x000004, ivt, 4, true},
        {"aivt", 0x000104, aivt, 4, true},
        {".text", textBase, text, 16, false},
        {".isr", isrBase, isr, 16, false},
        {".const", 0x005A34, strings, 16, false},
        {".calibration", 0x007F80, table, 16, false},
        {"config3", 0x0157FA, {0xFFFF}, 4, true},
        {"config2", 0x0157FC, {0xF9DF}, 4, true},
        {"config1", 0x0157FE, {0x3F7F}, 4, true},
    };

    std::string out;
    for (const Section &section : sections) {
        if (section.recordBytes == 4 && section.words.size() > 1) {
            // One record per vector, each after its own address record.
            for (size_t i = 0; i < section.words.size(); ++i)
                out += emitSection({section.name, section.address + 2 * uint32_t(i), {section.words[i]}, 4, true});
        } else {
            out += emitSection(section);
        }
    }
    out += ":00000001FF\n";

    std::FILE *file = std::fopen(argv[1], "wb");
    if (!file || std::fwrite(out.data(), 1, out.size(), file) != out.size() || std::fclose(file) != 0) {
        std::fprintf(stderr, "samplegen: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %zu bytes of code and data, %zu lines\n", argv[1],
                4 * (2 + ivt.size() + aivt.size() + text.size() + isr.size() + strings.size() + table.size() + 3),
                size_t(std::count(out.begin(), out.end(), '\n')));
    return 0;
}
