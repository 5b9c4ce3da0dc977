// Uuencoded bodies read back as an independent encoder wrote them; damaged ones give a bounded result.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "mime/TransferEncodings.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

TEST(TransferEncodings, UuencodeReadsWhatPythonWritesAndTakesAnyDamage) {
    // Files of every length up to nine lines, every byte value, "`" or blanks for zeros, each after
    // an "x <hex>" line (no uuencoded line starts with a lower-case letter).
    const test::ToolRun run = test::RunTool(
        {test::kSystemPython, "-c",
         "import binascii\nfor n in range(0, 400, 3):\n  data = bytes((i * 37 + n) % 256 for i in range(n))\n"
         "  for tick in (True, False):\n    print('x ' + data.hex())\n    print('begin 644 f', end='\\r\\n')\n"
         "    for i in range(0, n, 45): print(binascii.b2a_uu(data[i:i + 45], backtick=tick).decode(), end='')\n"
         "    print('`' if tick else ' ')\n    print('end')\n"});
    ASSERT_EQ(run.status, 0);
    int files = 0;
    for (size_t pos = 0; pos < run.out.size(); ++files) {
        const size_t hexEnd = run.out.find('\n', pos);
        std::string expected;
        for (size_t i = pos + 2; i + 1 < hexEnd; i += 2)
            expected += static_cast<char>(std::stoi(run.out.substr(i, 2), nullptr, 16));
        const size_t next = run.out.find("\nx ", hexEnd);
        pos = next == std::string::npos ? run.out.size() : next + 1;
        EXPECT_EQ(DecodeUuencode(run.out.substr(hexEnd + 1, pos - hexEnd - 1)), expected) << expected.size();
    }
    EXPECT_EQ(files, 268);

    const std::pair<std::string, std::optional<std::string>> damaged[] = {
        {"begin 644 t\n%=&5S\n", std::string("tes\0\0", 5)}, // a line shorter than its length: zeros
        {"begin 644 t\n\"86)C9&5F\nend\n", "ab"},            // characters past its length
        {"see:\nbegin 644 z\n$    _P\nend\nM86)C\n", std::string("\0\0\0\xFF", 4)}, // blanks stripped
        {"%:&5L;&\\`\nend\n", std::nullopt},                                        // no begin line: no file
        {"begin-base64 644 x\naGVsbG8=\n====\n", std::nullopt},                     // another encoding
    };
    for (const auto& [text, bytes] : damaged)
        EXPECT_EQ(DecodeUuencode(text), bytes) << text;
    // Every cut, each in a buffer of its own size (no byte read past it); whole lines give the file.
    const std::string hello = "begin 664 h\r\n%:&5L;&\\`\r\n`\r\nend\r\n";
    for (size_t n = hello.find("\r\n`"); n <= hello.size(); ++n)
        EXPECT_EQ(DecodeUuencode(hello.substr(0, n)).value_or("").substr(0, 5), "hello") << n;
    for (size_t n = 0; n < hello.find("\r\n`"); ++n)
        EXPECT_LE(DecodeUuencode(hello.substr(0, n)).value_or("").size(), 63u) << n;
}
