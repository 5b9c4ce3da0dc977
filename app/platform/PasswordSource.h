#pragma once
// Where a mail server's password comes from when the program runs in a terminal: a file only its
// owner can read, or the terminal itself with the echo off. The password is held in memory only, never
// written anywhere, and wiped when it is no longer needed.
#include <filesystem>
#include <string>
#include <variant>

#include "common/Failure.h"

namespace kamo {

// A password in memory: its bytes are overwritten when it goes.
class Secret {
public:
    Secret() = default;
    explicit Secret(std::string value) : value_(std::move(value)) {}
    ~Secret() { Wipe(); }
    Secret(Secret&& other) noexcept : value_(std::move(other.value_)) { other.Wipe(); }
    Secret& operator=(Secret&& other) noexcept;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    const std::string& Value() const { return value_; }
    bool Empty() const { return value_.empty(); }

private:
    void Wipe() noexcept;
    std::string value_;
};

// The password in `file`: its first line, without the line end. Refused (as a Failure with the
// file's name) when the file is missing or not an ordinary file, when anyone but its owner may read or
// write it, when it belongs to another user, or when it holds no password.
std::variant<Secret, Failure> ReadPasswordFile(const std::filesystem::path& file);

// Asks for the password on the terminal, `prompt` first, the typed characters not shown. Refused when
// the program's input is not a terminal (then the password must come from a file).
std::variant<Secret, Failure> AskPasswordOnTerminal(const std::string& prompt);

} // namespace kamo
