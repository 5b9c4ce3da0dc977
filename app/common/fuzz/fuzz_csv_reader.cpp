// libFuzzer target for the CSV reader of the text import: any bytes end cleanly, and every record it
// takes comes back the same when written out and read again.
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "common/Csv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    kamo::CsvReader reader(in);
    std::vector<kamo::CsvField> record;
    size_t records = 0;
    while (reader.Next(record)) {
        if (++records > size + 1) {
            std::fprintf(stderr, "fuzz_csv_reader: more records than bytes\n");
            std::abort();
        }
        std::string text;
        for (size_t i = 0; i < record.size(); ++i) {
            if (i)
                text += ',';
            kamo::AppendCsvQuoted(text, record[i].text);
        }
        std::istringstream again(text + "\r\n");
        kamo::CsvReader second(again);
        std::vector<kamo::CsvField> back;
        if (!second.Next(back) || back.size() != record.size()) {
            std::fprintf(stderr, "fuzz_csv_reader: a record did not read back\n");
            std::abort();
        }
        for (size_t i = 0; i < back.size(); ++i)
            if (back[i].text != record[i].text) {
                std::fprintf(stderr, "fuzz_csv_reader: a field changed on the way back\n");
                std::abort();
            }
    }
    return 0;
}
