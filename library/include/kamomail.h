/* KamoMail conversion library: the C interface of libkamomail.so.
 *
 * Strings are zero-terminated byte strings in CP932, as PostPet stores them.
 * No call keeps state, prints, or lets an exception out. */
#ifndef KAMOMAIL_H
#define KAMOMAIL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define KAMOMAIL_EXPORT __attribute__((visibility("default")))
#else
#define KAMOMAIL_EXPORT
#endif

/* Size of the result area that Mail_StrChange fills. */
#define KAMOMAIL_STRCHANGE_AREA 8192

/* Result codes reported through `code`. */
#define KAMOMAIL_OK 0
#define KAMOMAIL_NOTHING 9
#define KAMOMAIL_ERR_OPEN (-1)
#define KAMOMAIL_ERR_MAILFILE (-2)
#define KAMOMAIL_ERR_HEADER_MEMORY (-4)
#define KAMOMAIL_ERR_BODY_MEMORY (-5)

/* Converts one mailbox (list file + mail file) into the temporary text file outPath. */
KAMOMAIL_EXPORT int16_t KamoMail_Edit(const char* listPath, const char* mailPath, const char* outPath, int32_t* count,
                                      int32_t* code);

/* Converts one mailbox like KamoMail_Edit, into a framed file in which mail text can never be read
 * as structure, and goes on past damaged list records.
 *
 * The file: the 4 bytes "KMF1", then one entry per list record, in list order. Integers are
 * unsigned little-endian.
 *   mail:    'M', u64 position of the record in the list file, then seven fields, each a u32 length
 *            and that many bytes, copied unchanged: From, To, Cc, Subject, Date, the mail's header
 *            region (mail file offsets A to B) and its body (C bytes from B).
 *   damaged: 'D', u64 position in the list file where the damage starts, u64 number of bytes up to
 *            the next intact record (or the end of the file). A record is intact when its markers,
 *            strings and trailer read as KamoMail_Edit reads them and its offsets lie inside the
 *            mail file; after a damaged one the conversion goes on at the next intact record.
 * `count` gets the number of entries written. `code` as for KamoMail_Edit, except that a list file
 * that exists but cannot be read, or is not an ordinary file, is -1 (a missing list file is 9), and
 * that -4/-5 end the conversion after the entries before the mail that did not fit. The output file
 * is created readable by its owner only. */
KAMOMAIL_EXPORT int16_t KamoMail_EditFramed(const char* listPath, const char* mailPath, const char* outPath,
                                            int32_t* count, int32_t* code);

/* Converts PostPet's friend file into Friend.Tmp. */
KAMOMAIL_EXPORT int16_t KamoFriend_Edit(const char* friendPath, const char* outPath, int32_t* count, int32_t* code);

/* Replaces the delimiter characters " ' , | of a CP932 text; result is an 8192-byte area, blank-padded,
 * not zero-terminated; its used length comes back in `length`. */
KAMOMAIL_EXPORT int16_t Mail_StrChange(const char* source, char* result, int32_t* length);

/* Function pointer types for loading the library by name. */
typedef int16_t (*KamoMail_Edit_Fn)(const char*, const char*, const char*, int32_t*, int32_t*);
typedef int16_t (*KamoMail_EditFramed_Fn)(const char*, const char*, const char*, int32_t*, int32_t*);
typedef int16_t (*KamoFriend_Edit_Fn)(const char*, const char*, int32_t*, int32_t*);
typedef int16_t (*Mail_StrChange_Fn)(const char*, char*, int32_t*);

#ifdef __cplusplus
}
#endif

#endif
