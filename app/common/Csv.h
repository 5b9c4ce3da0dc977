#pragma once
// CSV as RFC 4180 writes it: fields separated by commas, records by CR LF, a field with a comma,
// quote or line break in double quotes (a quote doubled inside). Text values are always quoted here,
// so that an unquoted empty field can stand for "no value" (NULL) and "" for the empty text.
#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Failure.h"

namespace kamo {

// One field as written: the text and whether it was quoted.
struct CsvField {
    std::string text;
    bool quoted = false;
    bool operator==(const CsvField&) const = default;
};

// Appends one field (quoted, or bare for numbers and NULL) or the record's end.
void AppendCsvQuoted(std::string& out, std::string_view text);
void AppendCsvBare(std::string& out, std::string_view text);

// Reads records one at a time from a stream; memory holds one record, whatever the file's size.
class CsvReader {
public:
    explicit CsvReader(std::istream& in) : in_(in) {}
    // The next record; false at the end of the input or on broken quoting (then Error() says what
    // and Line() where).
    bool Next(std::vector<CsvField>& record);
    std::optional<FailureCode> Error() const { return error_; }
    // Bounds on the fields' sizes in bytes, by their place in the record (`others` beyond the list).
    // A field that grows past its bound ends the reading there (Error(), and LongField() tells which
    // field, counted from 0): it is never held whole.
    void SetFieldLimits(std::vector<std::size_t> limits, std::size_t others) {
        limits_ = std::move(limits);
        otherLimit_ = others;
    }
    std::optional<std::size_t> LongField() const { return longField_; }
    // The line the last record began on (1 for the first).
    std::size_t Line() const { return recordLine_; }

private:
    int Get();
    int Peek();
    bool TooLong(const std::vector<CsvField>& record, const CsvField& field);
    std::istream& in_;
    std::vector<std::size_t> limits_;
    std::size_t otherLimit_ = static_cast<std::size_t>(-1);
    std::optional<std::size_t> longField_;
    std::size_t line_ = 1;
    std::size_t recordLine_ = 0;
    std::optional<FailureCode> error_;
};

} // namespace kamo
