#pragma once
// Seed inputs for the fuzz targets, made by the mailbox writer.
#include <string>
#include <vector>

namespace kamofuzz {

inline constexpr const char* kTargets[] = {"fuzz_kamomail_edit", "fuzz_kamofriend_edit", "fuzz_mail_strchange"};

std::vector<std::string> Seeds(const std::string& target);

} // namespace kamofuzz
