#pragma once
// The one error that logic code throws (or returns as a status) for what the user must be told: a
// code saying what failed and the details that name it (a path, a table, a line, an OS reason). It
// holds no words for the user; the edges (the window, the terminal) word it by the catalogue in
// common/Messages.h.
#include <stdexcept>
#include <string>
#include <vector>

namespace kamo {

// Each code with the details it carries, in order. One list: the enum, the names and the
// catalogue's completeness check are made from it.
#define KAMO_FAILURE_CODES(X)                                                                                          \
    /* dated backups */                                                                                                \
    X(BackupFolderNotMade) /* OS reason, folder */                                                                     \
    X(BackupFileNotMade)   /* file */                                                                                  \
    X(BackupNotSynced)     /* backup */                                                                                \
    X(BackupNotVerified)   /* why, backup */                                                                           \
    X(BackupNotSaved)      /* OS reason, backup */                                                                     \
    X(BackupNotFound)      /* backup */                                                                                \
    /* recreation: a step refused by its hook, then what went wrong in the steps */                                    \
    X(RecreationBackupFailed)                                                                                          \
    X(RecreationBuildFailed)                                                                                           \
    X(RecreationCopyFailed)                                                                                            \
    X(RecreationRefreshFailed)                                                                                         \
    X(RecreationVerifyFailed)                                                                                          \
    X(RecreationReplaceFailed)                                                                                         \
    X(NewArchiveNotMade)     /* file */                                                                                \
    X(NewArchiveRowsDiffer)  /* table */                                                                               \
    X(NewArchiveNotComplete) /* why */                                                                                 \
    X(NewArchiveNotWritten)                                                                                            \
    X(ArchiveNotReplaced)                                                                                              \
    /* CSV export and import of the tables */                                                                          \
    X(CsvFolderNotMade)       /* OS reason, folder */                                                                  \
    X(CsvTargetIsArchive)     /* file */                                                                               \
    X(CsvNotWritten)          /* file */                                                                               \
    X(CsvImportFolderMissing) /* folder */                                                                             \
    X(CsvNothingToImport)     /* folder */                                                                             \
    X(CsvNotRegular)          /* file */                                                                               \
    X(CsvNotOpened)           /* file */                                                                               \
    /* a CSV file refused at a line: file name, line, then the details named */                                        \
    X(CsvValueTooLong)   /* column, column number, limit */                                                            \
    X(CsvValueTooLongAt) /* column number, limit */                                                                    \
    X(CsvNoHeader)                                                                                                     \
    X(CsvUnreadable)     /* the reader's reason */                                                                     \
    X(CsvHeaderMismatch) /* table */                                                                                   \
    X(CsvColumnCount)    /* found, expected */                                                                         \
    X(CsvNotNumber)      /* column, value */                                                                           \
    X(CsvNotHex)         /* column */                                                                                  \
    X(CsvEmptyKey)       /* column */                                                                                  \
    X(CsvNotUtf8)        /* column */                                                                                  \
    X(CsvNotDate)        /* column, value */                                                                           \
    X(CsvNotTime)        /* column, value */                                                                           \
    X(CsvNotFlag)        /* column, value */                                                                           \
    X(CsvNegative)       /* column, value */                                                                           \
    X(CsvKeyTwice)                                                                                                     \
    X(CsvKeyConflict)                                                                                                  \
    X(CsvMailMissing)                                                                                                  \
    X(CsvRowNotStored) /* SQLite's reason */                                                                           \
    /* the friend book */                                                                                              \
    X(FriendAddressEmpty)                                                                                              \
    X(FriendAddressTwice) /* address */                                                                                \
    X(FriendFileMissing)  /* file */                                                                                   \
    X(NotAFriendFile)                                                                                                  \
    X(FriendFileUnreadable)       /* file */                                                                           \
    X(FriendWorkFileNotWritten)   /* file */                                                                           \
    X(FriendConversionError)      /* the library's code, file */                                                       \
    X(FriendConversionUnreadable) /* file */                                                                           \
    X(FriendConversionMismatch)   /* file */                                                                           \
    /* attachments, the watch, the filters */                                                                          \
    X(AttachmentTooLarge) /* size in bytes */                                                                          \
    X(WatchNotStarted)    /* system call, OS reason */                                                                 \
    X(FiltersNotLoaded)   /* SQLite's reason */                                                                        \
    X(FilterRunFailed)

enum class FailureCode {
#define KAMO_FAILURE_ENUM(name) name,
    KAMO_FAILURE_CODES(KAMO_FAILURE_ENUM)
#undef KAMO_FAILURE_ENUM
};

// Every code, in order: what the catalogue must word.
const std::vector<FailureCode>& AllFailureCodes();

// The code's name as written above ("BackupNotFound").
const char* FailureName(FailureCode code);

class Failure : public std::runtime_error {
public:
    explicit Failure(FailureCode code, std::vector<std::string> details = {});

    FailureCode Code() const { return code_; }
    const std::vector<std::string>& Details() const { return details_; }

private:
    FailureCode code_;
    std::vector<std::string> details_;
};

} // namespace kamo
