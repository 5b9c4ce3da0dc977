#pragma once
// The one parser of the terminal commands' arguments: it reads what follows the command's name by the
// command's row of the command table (common/CommandTable.h) and gives back the options given, the
// operands and the chosen mode, or why they are refused.
//
//   --name VALUE and --name=VALUE   an option with a value (an empty value counts as none)
//   --name                          a flag
//   --                              the rest are operands (for a command that takes operands)
//   anything else                   an operand ("-has:attachment" too: only "--" starts an option)
//
// A command with modes (export --format mbox) takes its mode's options besides its own; the mode
// option may stand anywhere. A command that has `<command> --help` gives just `help` when it is among
// the options, whatever else is there.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/CommandTable.h"

namespace kamo {

struct OptionRefusal {
    enum class Kind {
        Unknown,      // no option of the command, or an operand it does not take
        MissingValue, // an option's value is missing or empty
        NotInMode,    // an option of another mode than the chosen one
        BadValue,     // a value the command cannot use (the command finds it, by its own rule)
        Twice,        // a second option of a group
        Needs,        // an option given without the one it needs
        MissingGroup, // none of a required group
        NoMode,       // no mode chosen
        UnknownMode,  // no such mode
    };
    Kind kind = Kind::Unknown;
    std::string argument; // the argument refused as given; the option, the group or the mode named
    std::string other;    // Twice: the option given before; Needs: the option it needs
};

struct GivenOption {
    std::string_view name;  // the table's
    std::string_view group; // its group, if any
    std::string value;      // empty for a flag
};

struct ParsedOptions {
    const ModeDef* mode = nullptr;  // the chosen mode, when the command has modes
    std::vector<GivenOption> given; // in the order given
    std::vector<std::string> operands;
    bool help = false; // `<command> --help`: nothing else is parsed
    std::optional<OptionRefusal> refusal;

    bool Has(std::string_view name) const;
    // The last value given of that option.
    std::optional<std::string> Value(std::string_view name) const;
    // The option given of that group, or nothing.
    std::optional<std::string_view> Chosen(std::string_view group) const;
};

ParsedOptions ParseOptions(const CommandDef& command, const std::vector<std::string>& args);

// The refusal in the user's words, the same for every command: "不明な引数です: --x" for an unknown
// option, a missing value, an option of another mode and a value the command cannot use; the group's
// own words (or those) for a second option of a group; empty for a required group none of which is
// given (the usage says it).
std::string RefusalText(const CommandDef& command, const OptionRefusal& refusal);

} // namespace kamo
