#pragma once
// Saving a mail's attachments as files, and how the mail display lists them. No existing file is
// ever overwritten.
#include <filesystem>
#include <string>
#include <string_view>

#include "db/Attachments.h"

namespace kamo {

// "旅行の写真.jpg（12,345 バイト）"; an attachment without a name shows the name it is saved under.
std::string AttachmentLabel(const AttachmentEntry& entry);

// The name an attachment is saved under: its own name without folder parts ("/", "\"), control
// characters or leading dots, at most 200 bytes (never cutting a character; the extension kept);
// "添付ファイルN" (N its position) with the extension of its content type when nothing is left of it.
std::string SafeFileName(std::string_view name, int64_t position, std::string_view contentType = {});

// Writes `bytes` into `folder` under `fileName`, or, when a file of that name is there already,
// under the first free "name (2).ext", "name (3).ext", ...; the file is created only when its name
// is free (no race with another writer can make it overwrite one). Returns the file written. Throws
// std::system_error when the folder cannot be written.
std::filesystem::path SaveAttachmentFile(const std::filesystem::path& folder, const std::string& fileName,
                                         std::string_view bytes);

// A copy of an attachment for the desktop's program to open: a folder of its own (0700) made under
// `tempRoot`, and in it the file `fileName` (0600), readable by the user alone. Returns the file.
// Throws std::system_error when it cannot be written.
std::filesystem::path WriteViewingCopy(const std::filesystem::path& tempRoot, const std::string& fileName,
                                       std::string_view bytes);

} // namespace kamo
