#include "common/Csv.h"

namespace kamo {

void AppendCsvQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void AppendCsvBare(std::string& out, std::string_view text) {
    out.append(text);
}

int CsvReader::Get() {
    const int c = in_.get();
    if (c == '\n')
        ++line_;
    return c;
}

int CsvReader::Peek() {
    return in_.peek();
}

bool CsvReader::TooLong(const std::vector<CsvField>& record, const CsvField& field) {
    const std::size_t at = record.size();
    if (field.text.size() <= (at < limits_.size() ? limits_[at] : otherLimit_))
        return false;
    longField_ = at;
    error_ = FailureCode::CsvValueTooLongAt;
    return true;
}

bool CsvReader::Next(std::vector<CsvField>& record) {
    record.clear();
    if (error_ || Peek() == std::char_traits<char>::eof())
        return false;
    recordLine_ = line_;
    CsvField field;
    for (;;) {
        int c = Get();
        if (c == '"' && field.text.empty() && !field.quoted) {
            field.quoted = true;
            for (;;) {
                c = Get();
                if (c == std::char_traits<char>::eof()) {
                    error_ = FailureCode::CsvQuoteNotClosed;
                    return false;
                }
                if (c == '"') {
                    if (Peek() == '"') {
                        Get();
                        field.text += '"';
                        if (TooLong(record, field))
                            return false;
                        continue;
                    }
                    break;
                }
                field.text += static_cast<char>(c);
                if (TooLong(record, field))
                    return false;
            }
            c = Get();
            if (c != ',' && c != '\r' && c != '\n' && c != std::char_traits<char>::eof()) {
                error_ = FailureCode::CsvTextAfterQuote;
                return false;
            }
        } else {
            while (c != ',' && c != '\r' && c != '\n' && c != std::char_traits<char>::eof()) {
                if (c == '"') {
                    error_ = FailureCode::CsvStrayQuote;
                    return false;
                }
                field.text += static_cast<char>(c);
                if (TooLong(record, field))
                    return false;
                c = Get();
            }
        }
        record.push_back(std::move(field));
        field = CsvField{};
        if (c == ',')
            continue;
        if (c == '\r') {
            if (Peek() != '\n') {
                error_ = FailureCode::CsvNotCrLf;
                return false;
            }
            Get();
        }
        return true; // LF, CR LF or the end of the input
    }
}

} // namespace kamo
