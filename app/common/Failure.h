#pragma once
// The one error that logic code throws (or returns as a status) for what the user must be told: a
// code saying what failed and the details that name it (a path, a table, a line, an OS reason). It
// holds no words for the user; the edges (the window, the terminal) word it by the catalogue in
// common/Messages.h.
#include <memory>
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
    X(BackupNotVerified)   /* backup; the cause: why */                                                                \
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
    X(NewArchiveNotComplete) /* the cause says why */                                                                  \
    X(NewArchiveNotWritten)                                                                                            \
    X(ArchiveNotReplaced)                                                                                              \
    /* CSV export and import of the tables */                                                                          \
    X(CsvFolderNotMade)       /* OS reason, folder */                                                                  \
    X(TargetIsArchive)        /* file */                                                                               \
    X(CsvNotWritten)          /* file */                                                                               \
    X(CsvImportFolderMissing) /* folder */                                                                             \
    X(CsvNothingToImport)     /* folder */                                                                             \
    X(CsvNotRegular)          /* file */                                                                               \
    X(CsvNotOpened)           /* file */                                                                               \
    /* a CSV file refused at a line: file name, line, then the details named */                                        \
    X(CsvValueTooLong)   /* column, column number, limit */                                                            \
    X(CsvValueTooLongAt) /* column number, limit */                                                                    \
    X(CsvNoHeader)                                                                                                     \
    X(CsvQuoteNotClosed)                                                                                               \
    X(CsvTextAfterQuote)                                                                                               \
    X(CsvStrayQuote)                                                                                                   \
    X(CsvNotCrLf)                                                                                                      \
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
    X(CsvNotOriginal)    /* column */                                                                                  \
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
    X(FilterRunFailed)                                                                                                 \
    /* why a file is not a whole archive */                                                                            \
    X(ArchiveFileMissing)                                                                                              \
    X(ArchiveFileEmpty)                                                                                                \
    X(ArchiveIntegrityFailed)                                                                                          \
    X(ArchiveQuickCheckFailed)                                                                                         \
    X(ArchiveSizeMismatch)                                                                                             \
    X(ArchiveTableMissing) /* table */                                                                                 \
    X(ArchiveNotOpenable)  /* SQLite's reason */                                                                       \
    /* another program holds the archive: a change waited for it and gave up */                                        \
    X(ArchiveBusy)                                                                                                     \
    /* the conversion library */                                                                                       \
    X(LibraryNotLoaded)       /* file, the loader's reason */                                                          \
    X(LibraryFunctionMissing) /* function, file */                                                                     \
    /* reading PostPet mail: before the first mailbox, then a mailbox's own */                                         \
    X(PostPetFolderMissing) /* folder */                                                                               \
    X(PostPetFolderEmpty)   /* folder */                                                                               \
    X(NoMailboxChosen)                                                                                                 \
    X(ListFileMissing)      /* mailbox, list file */                                                                   \
    X(ListFileIsFolder)     /* mailbox, list file */                                                                   \
    X(ListFileNotRegular)   /* mailbox, list file */                                                                   \
    X(ListFileUnreadable)   /* mailbox, OS reason, list file */                                                        \
    X(MailTmpNotMade)       /* mailbox */                                                                              \
    X(MailFileNotOpened)    /* mailbox */                                                                              \
    X(MailboxShortOfMemory) /* mailbox: the library ran short, what it read is stored */                               \
    X(MailTmpUnreadable)    /* mailbox, KamoMail.Tmp */                                                                \
    X(MailTmpCut)           /* mailbox */                                                                              \
    X(MailboxOutOfMemory)   /* mailbox: nothing of it stored */                                                        \
    X(ReadRefreshFailed)                                                                                               \
    X(ReadBrokenOff) /* the error's own words */                                                                       \
    /* the mail export and the vCard file: path, OS reason */                                                          \
    X(TargetIsFolder)                                                                                                  \
    X(TargetIsLink)                                                                                                    \
    X(MboxTargetIsFolder)                                                                                              \
    X(PdfTargetIsFolder)                                                                                               \
    X(PicturesNotDrawn)    /* a note of the PDF or print's summary: how many */                                        \
    X(OriginalsUnreadable) /* a note of an export's summary: how many */                                               \
    X(MboxNotMade)                                                                                                     \
    X(MboxNotWritten)                                                                                                  \
    X(MailFileNotMade)                                                                                                 \
    X(MailFileNotWritten)                                                                                              \
    X(ExportFolderNotMade)                                                                                             \
    X(ExportFolderIsLink)                                                                                              \
    X(CardsNotMade)                                                                                                    \
    X(CardsNotWritten)                                                                                                 \
    /* a mail server's password in the terminal */                                                                     \
    X(PasswordFileUnreadable)   /* file, OS reason */                                                                  \
    X(PasswordFileNotRegular)   /* file */                                                                             \
    X(PasswordFileOpenToOthers) /* file */                                                                             \
    X(PasswordFileEmpty)        /* file */                                                                             \
    X(PasswordNotGiven)                                                                                                \
    /* the IMAP upload: the target's address, then the server */                                                       \
    X(ImapUrlNotUnderstood) /* url */                                                                                  \
    X(ImapUserMissing)      /* url */                                                                                  \
    X(ImapPasswordInUrl)                                                                                               \
    X(ImapPortInvalid)        /* port */                                                                               \
    X(ImapFolderNotUtf8)      /* folder */                                                                             \
    X(ImapPlainToRemote)      /* host */                                                                               \
    X(ImapUnknownHost)        /* host */                                                                               \
    X(ImapNotReached)         /* host, port, OS reason */                                                              \
    X(ImapCaFileUnreadable)   /* file */                                                                               \
    X(ImapCertificateRefused) /* host, why */                                                                          \
    X(ImapNoStartTls)         /* host */                                                                               \
    X(ImapWrongPassword)      /* user, host */                                                                         \
    X(ImapLoginRefused)       /* user, the server's words */                                                           \
    X(ImapConnectionLost)     /* host */                                                                               \
    X(ImapFolderNotMade)      /* folder, the server's words */                                                         \
    X(ImapFolderNotRead)      /* folder, the server's words */                                                         \
    X(ImapMessageRefused)     /* the server's words */                                                                 \
    X(ImapQuota)              /* the server's words */

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
    // A failure caused by another, whose words go where the text has "{c}".
    Failure(FailureCode code, std::vector<std::string> details, const Failure& cause);

    FailureCode Code() const { return code_; }
    const std::vector<std::string>& Details() const { return details_; }
    const Failure* Cause() const { return cause_.get(); }

private:
    FailureCode code_;
    std::vector<std::string> details_;
    std::shared_ptr<const Failure> cause_;
};

} // namespace kamo
