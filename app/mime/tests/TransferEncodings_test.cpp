// Uuencoded bodies: what an independent encoder writes reads back byte for byte, and damaged text
// reads into a bounded result without a fault.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "mime/TransferEncodings.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

std::string FromHex(std::string_view hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return bytes;
}

} // namespace

// Python's binascii writes files of every length up to a few lines, every byte value among them,
// with "`" for zeros and with blanks (the older form): each an "x <hex>" line (no uuencoded line
// starts with a lower-case letter), then the file.
TEST(TransferEncodings, UuencodeReadsBackWhatAnIndependentEncoderWrote) {
    const char* script = "import binascii\n"
                         "for n in range(0, 400, 3):\n"
                         "    data = bytes((i * 37 + n) % 256 for i in range(n))\n"
                         "    for tick in (True, False):\n"
                         "        print('x ' + data.hex())\n"
                         "        print('begin 644 f.bin', end='\\r\\n')\n"
                         "        for i in range(0, n, 45):\n"
                         "            print(binascii.b2a_uu(data[i:i + 45], backtick=tick).decode(), end='')\n"
                         "        print('`' if tick else ' ')\n"
                         "        print('end')\n";
    const test::ToolRun run = test::RunTool({test::kSystemPython, "-c", script});
    ASSERT_EQ(run.status, 0);
    int files = 0;
    size_t pos = 0;
    while (pos < run.out.size()) {
        ASSERT_EQ(run.out.compare(pos, 2, "x "), 0) << pos;
        const size_t hexEnd = run.out.find('\n', pos);
        const std::string expected = FromHex(std::string_view(run.out).substr(pos + 2, hexEnd - pos - 2));
        const size_t next = run.out.find("\nx ", hexEnd);
        const size_t end = next == std::string::npos ? run.out.size() : next + 1;
        const std::string encoded = run.out.substr(hexEnd + 1, end - hexEnd - 1);
        EXPECT_EQ(DecodeUuencode(encoded), expected) << encoded;
        ++files;
        pos = end;
    }
    EXPECT_EQ(files, 268);
}

TEST(TransferEncodings, UuencodeTakesWhatItIsGivenWithoutFault) {
    const std::string hello = "begin 664 hello.txt\r\n%:&5L;&\\`\r\n`\r\nend\r\n";
    struct Case {
        const char* what;
        std::string text;
        std::optional<std::string> bytes;
    };
    const Case cases[] = {
        {"a known file", hello, "hello"},
        {"text before begin, a line after end", "see the file:\n" + hello + "M86)C9&5F\n", "hello"},
        {"line feeds only", "begin 644 t\n%=&5S=`H`\n`\nend\n", std::string("test\n")},
        {"blanks for zeros, stripped at the line's end", "begin 644 z\n$    _P\nend\n", std::string("\0\0\0\xFF", 4)},
        {"no end", "begin 644 t\n%=&5S=`H`\n", std::string("test\n")},
        {"a line shorter than its length: zeros", "begin 644 t\n%=&5S\n", std::string("tes\0\0", 5)},
        {"characters past the length are left", "begin 644 t\n\"86)C9&5F\nend\n", std::string("ab")},
        {"empty file", "begin 644 e\n`\nend\n", std::string()},
        {"no begin line: no file", "%:&5L;&\\`\nend\n", std::nullopt},
        {"begin-base64 is another encoding", "begin-base64 644 x\naGVsbG8=\n====\n", std::nullopt},
        {"nothing", "", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeUuencode(c.text), c.bytes) << c.what;

    // Every cut of a file, each in a buffer of its own size: no byte read past it, and once its
    // line is whole, the file's bytes.
    const size_t lineEnd = hello.find("\r\n`");
    for (size_t n = 0; n <= hello.size(); ++n) {
        const std::string cut = hello.substr(0, n);
        const auto bytes = DecodeUuencode(cut);
        if (n >= lineEnd) {
            ASSERT_TRUE(bytes) << n;
            EXPECT_EQ(bytes->substr(0, 5), "hello") << n;
        }
    }
    // Any byte anywhere: a line gives at most the 63 bytes its length can say, however long it is.
    std::string junk = "begin 644 j\n";
    for (int i = 0; i < 200000; ++i)
        junk += static_cast<char>(i * 131 % 256);
    const auto bytes = DecodeUuencode(junk);
    ASSERT_TRUE(bytes);
    size_t lines = 0;
    for (char c : junk)
        lines += c == '\n';
    EXPECT_LE(bytes->size(), 63 * lines);
}
