// SPDX-License-Identifier: MIT
// Writes the reference that test_platform_cp932 compares the code page 932 conversion with on
// Windows, from Windows' own conversion (MultiByteToWideChar and WideCharToMultiByte, code page
// 932), in cp932_reference.py's format. Usage: cp932_reference_win OUTPUT. It lists only what
// Windows defines: every single byte and every two bytes that decode without error, seeded
// random runs of such characters, and every BMP character that encodes with neither a best fit
// nor the default character. The first line, "s windows", tells the test whose table it is.
#include <windows.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace
{

// The characters of bytes, or none when Windows finds them invalid.
std::wstring decoded(const std::string &bytes)
{
    wchar_t text[64];
    const int n =
        ::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), text, 64);
    return n > 0 ? std::wstring(text, size_t(n)) : std::wstring();
}

void writeDecoding(std::FILE *out, const std::string &bytes, const std::wstring &text)
{
    std::fputs("d ", out);
    for (const unsigned char b : bytes)
        std::fprintf(out, "%02x", b);
    for (const wchar_t c : text)
        std::fprintf(out, " %x", unsigned(c));
    std::fputc('\n', out);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fputs("usage: cp932_reference_win OUTPUT\n", stderr);
        return 2;
    }
    std::FILE *out = std::fopen(argv[1], "wb");
    if (!out)
        return 1;
    std::fputs("s windows\n", out);
    std::vector<std::string> characters; // every byte and pair that decodes to one character
    for (int a = 0; a < 256; ++a) {
        const std::string single(1, char(a));
        if (const std::wstring text = decoded(single); !text.empty()) {
            writeDecoding(out, single, text);
            characters.push_back(single);
        }
    }
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) {
            const std::string pair{char(a), char(b)};
            if (const std::wstring text = decoded(pair); text.size() == 1) {
                writeDecoding(out, pair, text);
                characters.push_back(pair);
            }
        }
    // Runs of defined characters, so that a pair split across the pieces of a stream is seen.
    std::mt19937 pick(932);
    for (int run = 0; run < 4000; ++run) {
        std::string bytes;
        const int length = 2 + int(pick() % 6);
        for (int i = 0; i < length; ++i)
            bytes += characters[pick() % characters.size()];
        writeDecoding(out, bytes, decoded(bytes));
    }
    for (unsigned code = 0; code < 0x10000; ++code) {
        if (code >= 0xD800 && code < 0xE000)
            continue;
        const wchar_t c = wchar_t(code);
        char bytes[8];
        BOOL defaultUsed = FALSE;
        const int n = ::WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &c, 1, bytes, 8, nullptr,
                                            &defaultUsed);
        if (n <= 0 || defaultUsed)
            continue;
        std::fprintf(out, "e %x ", code);
        for (int i = 0; i < n; ++i)
            std::fprintf(out, "%02x", unsigned(static_cast<unsigned char>(bytes[i])));
        std::fputc('\n', out);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
