#include "upkeep/TableExchange.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <optional>
#include <set>
#include <sqlite3.h>
#include <stdexcept>
#include <system_error>

#include "common/CodePage.h"
#include "common/Csv.h"
#include "common/Failure.h"
#include "db/Attachments.h"
#include "db/Backups.h"
#include "db/MailOriginals.h"
#include "db/MailRows.h"
#include "db/SqlNames.h"
#include "platform/FileUtil.h"
#include "upkeep/TableRegistry.h"

namespace kamo {
namespace fs = std::filesystem;

namespace {

enum class Kind { Integer, Text, Bytes, Other };

struct Column {
    std::string name;
    Kind kind = Kind::Text;
    int pk = 0; // position in the primary key, 0 when not in it
};

std::vector<Column> ColumnsOf(SQLite::Database& db, const std::string& table) {
    std::vector<Column> columns;
    for (const auto& c : TableColumns(db, table)) {
        std::string type = c.type;
        for (char& ch : type)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        const Kind kind = type.find("INT") != std::string::npos    ? Kind::Integer
                          : type.find("BLOB") != std::string::npos ? Kind::Bytes
                          : type.find("CHAR") != std::string::npos || type.find("TEXT") != std::string::npos ||
                                  type.find("CLOB") != std::string::npos
                              ? Kind::Text
                              : Kind::Other;
        columns.push_back({c.name, kind, c.primaryKey});
    }
    return columns;
}

bool Unhex(const std::string& text, std::string& out) {
    if (text.size() % 2 != 0)
        return false;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        const auto r = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
        if (r.ec != std::errc() || r.ptr != text.data() + i + 2)
            return false;
        out += static_cast<char>(value);
    }
    return true;
}

bool IsInteger(const std::string& text, int64_t& value) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// One file checked (header, column count, values) or imported.
struct FileJob {
    std::string table;
    fs::path file;
    std::vector<Column> columns;
    size_t valueLimit = 0; // the most bytes the archive takes in one value (SQLITE_LIMIT_LENGTH)
    // The archive's dictionaries and those of the import's own file, for the originals' check.
    OriginalDictionaries* dictionaries = nullptr;
};

size_t ValueLimit(SQLite::Database& db) {
    return static_cast<size_t>(sqlite3_limit(db.getHandle(), SQLITE_LIMIT_LENGTH, -1));
}

// The file refused at a line: its name and the line come first in the details.
[[noreturn]] void Refuse(const FileJob& job, size_t line, FailureCode code, std::vector<std::string> details = {}) {
    details.insert(details.begin(), {job.file.filename().string(), std::to_string(line)});
    throw Failure(code, std::move(details));
}

bool EndsWith(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool Digits(std::string_view text, size_t from, size_t count, int& value) {
    value = 0;
    for (size_t i = from; i < from + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// "yyyy/mm/dd" of a day that exists, or the unreadable-date marker the read stores.
bool IsStoredDate(std::string_view text) {
    int y = 0, m = 0, d = 0;
    if (text == "0000/00/00")
        return true;
    if (text.size() != 10 || text[4] != '/' || text[7] != '/' || !Digits(text, 0, 4, y) || !Digits(text, 5, 2, m) ||
        !Digits(text, 8, 2, d) || y < 1 || m < 1 || m > 12 || d < 1)
        return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

// "hh:mm:ss" of a clock.
bool IsStoredTime(std::string_view text) {
    int h = 0, m = 0, sec = 0;
    return text.size() == 8 && text[2] == ':' && text[5] == ':' && Digits(text, 0, 2, h) && Digits(text, 3, 2, m) &&
           Digits(text, 6, 2, sec) && h < 24 && m < 60 && sec < 60;
}

// What a value of the column must be beyond its type, by the column's name (the mail's key columns
// carry the same endings in every table that refers to a mail). Refuses the line when it may not be stored.
void CheckValue(const FileJob& job, size_t line, const Column& column, const CsvField& f) {
    if (!f.quoted && f.text.empty()) {
        if (column.pk > 0)
            Refuse(job, line, FailureCode::CsvEmptyKey, {column.name});
        return;
    }
    if (column.kind == Kind::Text && (!IsValidUtf8(f.text) || f.text.find('\0') != std::string::npos))
        Refuse(job, line, FailureCode::CsvNotUtf8, {column.name});
    if (EndsWith(column.name, "_YMD") && !IsStoredDate(f.text))
        Refuse(job, line, FailureCode::CsvNotDate, {column.name, f.text});
    if (EndsWith(column.name, "_HMS") && !IsStoredTime(f.text))
        Refuse(job, line, FailureCode::CsvNotTime, {column.name, f.text});
    if (EndsWith(column.name, "_SndRcvFlag") && f.text != "0" && f.text != "1")
        Refuse(job, line, FailureCode::CsvNotFlag, {column.name, f.text});
    if (EndsWith(column.name, "_SubKey") && !f.text.empty() && f.text[0] == '-')
        Refuse(job, line, FailureCode::CsvNegative, {column.name, f.text});
    // A kept original must unpack within what an original holds: one that does not would fail every
    // later read of it.
    std::string packed;
    if (column.name == "tblOriginal_Data" && Unhex(f.text, packed) && !packed.empty() &&
        !UnpackOriginal(packed, job.dictionaries))
        Refuse(job, line, FailureCode::CsvNotOriginal, {column.name});
}

// A row of tblOriginalDictionary, taken for the check of the originals that need it; refused unless its
// bytes are the dictionary its id says.
void AddDictionary(const FileJob& job, const std::vector<CsvField>& record, size_t line,
                   OriginalDictionaries& dictionaries) {
    int64_t id = 0;
    std::string bytes;
    bool hasId = false, hasBytes = false;
    for (size_t i = 0; i < record.size() && i < job.columns.size(); ++i) {
        if (job.columns[i].name == "tblOriginalDictionary_Id")
            hasId = IsInteger(record[i].text, id);
        else if (job.columns[i].name == "tblOriginalDictionary_Data")
            hasBytes = Unhex(record[i].text, bytes);
    }
    if (!hasId || !hasBytes || id <= 0 || id > UINT32_MAX || !dictionaries.Add(static_cast<uint32_t>(id), bytes))
        Refuse(job, line, FailureCode::CsvNotOriginal, {"tblOriginalDictionary_Data"});
}

// Reads the file through; `row` gets each checked record and its line. Throws at the first problem.
void ReadFile(FileJob& job, const std::function<void(const std::vector<CsvField>&, size_t)>& row) {
    // Only a regular file: a FIFO would block the import for ever, a device never end.
    std::error_code ec;
    if (!fs::is_regular_file(job.file, ec))
        throw Failure(FailureCode::CsvNotRegular, {job.file.string()});
    std::ifstream in(job.file, std::ios::binary);
    if (!in)
        throw Failure(FailureCode::CsvNotOpened, {job.file.string()});
    CsvReader reader(in);
    // A value larger than the archive takes is refused as it is read, never held whole: a text up to
    // the limit, bytes (written as hexadecimal) up to twice it, a column name far below it.
    std::vector<size_t> limits;
    for (const auto& c : job.columns)
        limits.push_back(c.kind == Kind::Bytes ? job.valueLimit * 2 : job.valueLimit);
    reader.SetFieldLimits(std::move(limits), job.valueLimit);
    auto refuseLong = [&]() {
        const size_t at = *reader.LongField();
        if (at < job.columns.size())
            Refuse(job, reader.Line(), FailureCode::CsvValueTooLong,
                   {job.columns[at].name, std::to_string(at + 1), std::to_string(job.valueLimit)});
        Refuse(job, reader.Line(), FailureCode::CsvValueTooLongAt,
               {std::to_string(at + 1), std::to_string(job.valueLimit)});
    };
    std::vector<CsvField> record;
    const bool hasHeader = reader.Next(record);
    if (!hasHeader && reader.LongField())
        refuseLong();
    if (!hasHeader && !reader.Error())
        Refuse(job, 1, FailureCode::CsvNoHeader);
    if (!hasHeader)
        Refuse(job, 1, *reader.Error());
    std::vector<std::string> header;
    for (const auto& f : record)
        header.push_back(f.text);
    std::vector<std::string> expected;
    for (const auto& c : job.columns)
        expected.push_back(c.name);
    // A file written before the attachments kept their picture marks lacks that last column: its
    // rows come in unmarked and are marked once read.
    if (header.size() + 1 == expected.size() && expected.back() == "tblAttachment_Picture" &&
        std::equal(header.begin(), header.end(), expected.begin())) {
        job.columns.pop_back();
        expected.pop_back();
    }
    if (header != expected)
        Refuse(job, 1, FailureCode::CsvHeaderMismatch, {job.table});
    while (reader.Next(record)) {
        if (record.size() != job.columns.size())
            Refuse(job, reader.Line(), FailureCode::CsvColumnCount,
                   {std::to_string(record.size()), std::to_string(job.columns.size())});
        for (size_t i = 0; i < record.size(); ++i) {
            const CsvField& f = record[i];
            int64_t number = 0;
            std::string bytes;
            if (!f.quoted && f.text.empty())
                continue; // no value (CheckValue says whether it may be empty)
            if (job.columns[i].kind == Kind::Integer && (f.quoted || !IsInteger(f.text, number)))
                Refuse(job, reader.Line(), FailureCode::CsvNotNumber, {job.columns[i].name, f.text});
            if (job.columns[i].kind == Kind::Bytes && !Unhex(f.text, bytes))
                Refuse(job, reader.Line(), FailureCode::CsvNotHex, {job.columns[i].name});
        }
        for (size_t i = 0; i < record.size(); ++i)
            CheckValue(job, reader.Line(), job.columns[i], record[i]);
        row(record, reader.Line());
    }
    if (reader.LongField())
        refuseLong();
    if (reader.Error())
        Refuse(job, reader.Line(), *reader.Error());
}

} // namespace

std::vector<std::string> ExportedTables(SQLite::Database& db) {
    const auto found = FindTables(db);
    std::vector<std::string> tables;
    // The program's own tables in the registry's order (the six first), then the user's own by name.
    for (const auto& registered : RegisteredTables())
        for (const auto& t : found)
            if (t.entry == &registered && t.exported)
                tables.push_back(t.name);
    std::vector<std::string> others;
    for (const auto& t : found)
        if (!t.entry && t.exported)
            others.push_back(t.name);
    std::sort(others.begin(), others.end());
    tables.insert(tables.end(), others.begin(), others.end());
    return tables;
}

std::vector<TableCount> ExportTables(SQLite::Database& db, const fs::path& folder,
                                     const std::function<void(const std::string&)>& progress) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        throw Failure(FailureCode::CsvFolderNotMade, {ec.message(), folder.string()});
    std::vector<TableCount> counts;
    for (const auto& table : ExportedTables(db)) {
        if (progress)
            progress(table);
        const auto columns = ColumnsOf(db, table);
        const fs::path file = folder / (table + ".csv");
        const fs::path archive = db.getFilename();
        if (IsArchiveOrCopy(file, archive))
            throw Failure(FailureCode::TargetIsArchive, {file.string()});
        // Private like the archive; a link at the name is refused, never written through. The rows go
        // out as they are read, a piece at a time: memory does not grow with the archive.
        FileWriter out(file, PrivateFile(PrivateModeOf(archive)));
        auto cannotWrite = [&file]() { return Failure(FailureCode::CsvNotWritten, {file.string()}); };
        std::string text, order;
        constexpr size_t kPiece = 1 << 20;
        auto flush = [&](size_t atLeast) {
            if (text.size() >= atLeast) {
                if (!out.Write(text))
                    throw cannotWrite();
                text.clear();
            }
        };
        // A value of any size goes out in pieces too: quoted (quotes doubled) or as hexadecimal.
        auto putQuoted = [&](const char* data, size_t size) {
            text += '"';
            for (size_t i = 0; i < size; ++i) {
                if (data[i] == '"')
                    text += '"';
                text += data[i];
                if (text.size() >= kPiece)
                    flush(kPiece);
            }
            text += '"';
        };
        auto putHex = [&](const unsigned char* data, size_t size) {
            static const char* digits = "0123456789abcdef";
            text += '"';
            for (size_t i = 0; i < size; ++i) {
                text += digits[data[i] >> 4];
                text += digits[data[i] & 0xF];
                if (text.size() >= kPiece)
                    flush(kPiece);
            }
            text += '"';
        };
        for (size_t i = 0; i < columns.size(); ++i) {
            if (i)
                text += ',';
            AppendCsvQuoted(text, columns[i].name);
        }
        text += "\r\n";
        std::vector<std::pair<int, std::string>> keys;
        for (const auto& c : columns)
            if (c.pk > 0)
                keys.emplace_back(c.pk, DoubleQuoted(c.name));
        std::sort(keys.begin(), keys.end());
        for (const auto& k : keys)
            order += (order.empty() ? "" : ", ") + k.second;
        SQLite::Statement q(db,
                            "SELECT * FROM " + DoubleQuoted(table) + " ORDER BY " + (order.empty() ? "rowid" : order));
        TableCount count{table, 0, 0};
        while (q.executeStep()) {
            for (int i = 0; i < q.getColumnCount(); ++i) {
                if (i)
                    text += ',';
                const SQLite::Column v = q.getColumn(i);
                if (v.isNull())
                    continue;
                if (v.isInteger())
                    AppendCsvBare(text, std::to_string(v.getInt64()));
                else if (v.isBlob())
                    putHex(static_cast<const unsigned char*>(v.getBlob()), static_cast<size_t>(v.getBytes()));
                else if (v.isFloat())
                    AppendCsvBare(text, v.getString());
                else
                    putQuoted(static_cast<const char*>(v.getBlob()), static_cast<size_t>(v.getBytes()));
            }
            text += "\r\n";
            ++count.rows;
            flush(kPiece);
        }
        flush(1);
        if (!out.Commit())
            throw cannotWrite();
        counts.push_back(count);
    }
    return counts;
}

std::vector<TableCount> ImportTables(SQLite::Database& db, const fs::path& folder,
                                     const std::function<void(const std::string&)>& progress) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw Failure(FailureCode::CsvImportFolderMissing, {folder.string()});
    std::vector<FileJob> jobs;
    std::vector<TableCount> counts, notRead;
    for (const auto& t : FindTables(db)) {
        const fs::path file = folder / (t.name + ".csv");
        if (!t.derived && fs::exists(file, ec))
            jobs.push_back({t.name, file, ColumnsOf(db, t.name), ValueLimit(db)});
    }
    // Derived data is never read in: it was made from the mail of the archive that wrote it, and is
    // made again from this one's (older exports hold the look-ups, filter results and search index).
    for (const auto& t : RegisteredTables()) {
        if (t.data == TableData::Derived && fs::exists(folder / (t.name + ".csv"), ec)) {
            TableCount skipped{t.name, 0, 0};
            skipped.rebuilt = true;
            notRead.push_back(skipped);
        }
    }
    if (jobs.empty())
        throw Failure(FailureCode::CsvNothingToImport, {folder.string()});
    // Every file checked through first: a broken one must not leave half an import behind. The
    // originals' dictionaries first, so that the originals are checked with them.
    OriginalDictionaries dictionaries(db);
    for (const bool dictionaryFiles : {true, false})
        for (auto& job : jobs) {
            if ((job.table == kOriginalDictionaryTable) != dictionaryFiles)
                continue;
            job.dictionaries = &dictionaries;
            ReadFile(job, [&job, &dictionaries](const std::vector<CsvField>& record, size_t line) {
                if (job.table == kOriginalDictionaryTable)
                    AddDictionary(job, record, line, dictionaries);
            });
        }

    SQLite::Transaction transaction(db);
    for (auto& job : jobs) {
        if (progress)
            progress(job.table);
        std::string names, marks, same, keyMatch, sameContent;
        for (size_t i = 0; i < job.columns.size(); ++i) {
            const std::string column = DoubleQuoted(job.columns[i].name);
            const std::string mark = "?" + std::to_string(i + 1);
            names += (i ? ", " : "") + column;
            marks += (i ? ", " : "") + mark;
            same += (i ? " AND " : "") + column + " IS " + mark;
            // Stored bytes, not the archive's case-blind equality: a subject that differs in case differs.
            sameContent += (i ? " AND " : "") + column + " IS " + mark + " COLLATE BINARY";
            if (job.columns[i].pk > 0)
                keyMatch += (keyMatch.empty() ? "" : " AND ") + column + " = " + mark;
        }
        const std::string table = DoubleQuoted(job.table);
        // Rows above this were added by this import.
        const int64_t before = db.execAndGet("SELECT ifnull(max(rowid), 0) FROM " + table).getInt64();
        SQLite::Statement insert(db, "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")");
        // A table keyed by its primary key: the row under the record's key, and whether it holds the
        // same values. Any other table: whether the very row is there.
        const bool keyed = !keyMatch.empty();
        SQLite::Statement stored(db, keyed ? "SELECT rowid, (" + sameContent + ") FROM " + table + " WHERE " +
                                                 keyMatch + " LIMIT 1"
                                           : "SELECT rowid, 1 FROM " + table + " WHERE " + same + " LIMIT 1");
        // Attachments and kept names belong to a mail by its six key columns, their first six.
        const RegisteredTable* entry = FindRegisteredTable(job.table);
        std::optional<SQLite::Statement> mailThere;
        if (entry && entry->keyedByMail)
            mailThere.emplace(db, "SELECT 1 FROM tblKamoMail WHERE " + MailKeyCondition("tblKamoMail"));
        TableCount count{job.table, 0, 0};
        auto bind = [&](SQLite::Statement& st, const std::vector<CsvField>& record, size_t columns) {
            for (size_t i = 0; i < columns; ++i) {
                const int n = static_cast<int>(i) + 1;
                const CsvField& f = record[i];
                int64_t number = 0;
                std::string bytes;
                if (!f.quoted && f.text.empty())
                    st.bind(n);
                else if (job.columns[i].kind == Kind::Integer && IsInteger(f.text, number))
                    st.bind(n, number);
                else if (job.columns[i].kind == Kind::Bytes && Unhex(f.text, bytes))
                    st.bind(n, bytes.data(), static_cast<int>(bytes.size()));
                else if (!f.quoted && IsInteger(f.text, number))
                    st.bind(n, number);
                else
                    st.bind(n, f.text);
            }
        };
        const FileJob* current = &job;
        ReadFile(job, [&](const std::vector<CsvField>& record, size_t line) {
            bind(stored, record, record.size());
            const bool found = stored.executeStep();
            const int64_t rowid = found ? stored.getColumn(0).getInt64() : 0;
            const bool sameRow = found && stored.getColumn(1).getInt() == 1;
            stored.reset();
            if (found && rowid > before)
                Refuse(*current, line, FailureCode::CsvKeyTwice);
            if (found && !sameRow)
                Refuse(*current, line, FailureCode::CsvKeyConflict);
            if (found) {
                ++count.skipped;
                return;
            }
            if (mailThere) {
                bind(*mailThere, record, 6);
                const bool there = mailThere->executeStep();
                mailThere->reset();
                if (!there)
                    Refuse(*current, line, FailureCode::CsvMailMissing);
            }
            bind(insert, record, record.size());
            try {
                insert.exec();
            } catch (const SQLite::Exception& e) {
                // Such as a row larger as a whole than the archive takes.
                Refuse(*current, line, FailureCode::CsvRowNotStored, {e.what()});
            }
            insert.reset();
            ++count.rows;
        });
        counts.push_back(count);
    }
    // Attachments brought in without their picture marks (rows of an older export) get them here.
    for (const auto& job : jobs)
        if (job.table == "tblAttachment" || job.table == "tblTrashAttachment") {
            MarkUnmarkedPictures(db);
            break;
        }
    transaction.commit();
    counts.insert(counts.end(), notRead.begin(), notRead.end());
    return counts;
}

} // namespace kamo
