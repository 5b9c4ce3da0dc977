#include "common/CommandOptions.h"

#include <algorithm>

#include "common/Messages.h"
#include "common/MessagesTerminal.h"

namespace kamo {
namespace {

// The option of that name in the command or any of its modes: whether it takes a value does not
// depend on the mode (the table's test holds it so).
const OptionDef* AnyOption(const CommandDef& command, std::string_view name) {
    for (const auto& o : command.options)
        if (o.name == name)
            return &o;
    for (const auto& m : command.modes)
        for (const auto& o : m.options)
            if (o.name == name)
                return &o;
    return nullptr;
}

// The option of that name the mode (or the command without modes) takes.
const OptionDef* AcceptedOption(const CommandDef& command, const ModeDef* mode, std::string_view name) {
    for (const auto& o : command.options)
        if (o.name == name)
            return &o;
    if (mode)
        for (const auto& o : mode->options)
            if (o.name == name)
                return &o;
    return nullptr;
}

// One argument as read: an option with its value, or an operand.
struct Token {
    std::string arg = {};              // as given
    bool operand = false;              // else an option
    std::string name = {};             // an option's name, before any "="
    const OptionDef* option = nullptr; // nothing: no such option (or a flag given a value)
    std::string value = {};
    bool missing = false; // its value is missing or empty
};

std::vector<Token> Tokens(const CommandDef& command, const std::vector<std::string>& args) {
    std::vector<Token> tokens;
    bool operandsOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        Token t{.arg = args[i]};
        const std::string& a = args[i];
        if (a == "--" && !operandsOnly && command.operands != Operands::None) {
            operandsOnly = true;
            continue;
        }
        if (operandsOnly || a.rfind("--", 0) != 0) {
            t.operand = true;
            tokens.push_back(std::move(t));
            continue;
        }
        const std::size_t equals = a.find('=');
        t.name = a.substr(0, equals);
        t.option = AnyOption(command, t.name);
        if (t.option && !t.option->value.empty()) {
            if (equals != std::string::npos)
                t.value = a.substr(equals + 1);
            else if (i + 1 < args.size())
                t.value = args[++i];
            t.missing = t.value.empty();
        } else if (equals != std::string::npos) {
            t.option = nullptr; // a flag takes no value
        }
        tokens.push_back(std::move(t));
    }
    return tokens;
}

ParsedOptions Refused(OptionRefusal::Kind kind, std::string argument, std::string other = {}) {
    ParsedOptions parsed;
    parsed.refusal = OptionRefusal{kind, std::move(argument), std::move(other)};
    return parsed;
}

} // namespace

bool ParsedOptions::Has(std::string_view name) const {
    return std::any_of(given.begin(), given.end(), [&](const GivenOption& g) { return g.name == name; });
}

std::optional<std::string> ParsedOptions::Value(std::string_view name) const {
    for (auto it = given.rbegin(); it != given.rend(); ++it)
        if (it->name == name)
            return it->value;
    return std::nullopt;
}

std::optional<std::string_view> ParsedOptions::Chosen(std::string_view group) const {
    for (const auto& g : given)
        if (!group.empty() && g.group == group)
            return g.name;
    return std::nullopt;
}

ParsedOptions ParseOptions(const CommandDef& command, const std::vector<std::string>& args) {
    using Kind = OptionRefusal::Kind;
    const std::vector<Token> tokens = Tokens(command, args);
    ParsedOptions parsed;
    if (command.helpOption)
        for (const auto& t : tokens)
            if (!t.operand && t.arg == "--help") {
                parsed.help = true;
                return parsed;
            }
    if (!command.modeOption.empty()) {
        const Token* chosen = nullptr;
        for (const auto& t : tokens)
            if (!t.operand && t.option && t.name == command.modeOption && !t.missing)
                chosen = &t;
        if (!chosen)
            return Refused(Kind::NoMode, std::string(command.modeOption));
        parsed.mode = FindMode(command, chosen->value);
        if (!parsed.mode)
            return Refused(Kind::UnknownMode, chosen->value);
    }
    for (const auto& t : tokens) {
        if (t.operand) {
            if (command.operands == Operands::None || (command.operands == Operands::One && !parsed.operands.empty()))
                return Refused(Kind::Unknown, t.arg);
            parsed.operands.push_back(t.arg);
            continue;
        }
        if (!t.option)
            return Refused(Kind::Unknown, t.arg);
        const OptionDef* option = AcceptedOption(command, parsed.mode, t.name);
        if (!option)
            return Refused(Kind::NotInMode, t.arg);
        if (t.missing)
            return Refused(Kind::MissingValue, t.arg);
        if (!option->group.empty())
            if (const auto before = parsed.Chosen(option->group))
                return Refused(Kind::Twice, t.arg, std::string(*before));
        parsed.given.push_back({option->name, option->group, t.value});
    }
    for (const auto& g : parsed.given) {
        const OptionDef* option = AcceptedOption(command, parsed.mode, g.name);
        if (!option->needs.empty() && !parsed.Has(option->needs))
            return Refused(Kind::Needs, std::string(option->name), std::string(option->needs));
    }
    for (const auto& group : command.groups) {
        if (!group.required || parsed.Chosen(group.name))
            continue;
        const auto& options = command.options;
        const bool offered =
            std::any_of(options.begin(), options.end(), [&](const OptionDef& o) { return o.group == group.name; }) ||
            (parsed.mode && std::any_of(parsed.mode->options.begin(), parsed.mode->options.end(),
                                        [&](const OptionDef& o) { return o.group == group.name; }));
        if (offered)
            return Refused(Kind::MissingGroup, std::string(group.name));
    }
    return parsed;
}

std::string RefusalText(const CommandDef& command, const OptionRefusal& refusal) {
    using Kind = OptionRefusal::Kind;
    const std::string unknown = Say(TerminalText::UnknownArgument, {refusal.argument});
    switch (refusal.kind) {
    case Kind::Twice: {
        const OptionDef* before = AnyOption(command, refusal.other);
        const OptionGroupDef* group = before ? FindGroup(command, before->group) : nullptr;
        return group && !group->twice.empty() ? std::string(group->twice) : unknown;
    }
    case Kind::Needs:
        return Say(TerminalText::OptionNeeds, {refusal.argument, refusal.other});
    case Kind::MissingGroup:
        return {};
    // The modes of the terminal's commands are formats.
    case Kind::NoMode:
        return Say(TerminalText::NoMode, {std::string(command.modeOption), ModeNames(command)});
    case Kind::UnknownMode:
        return Say(TerminalText::UnknownMode, {refusal.argument, ModeNames(command)});
    case Kind::Unknown:
    case Kind::MissingValue:
    case Kind::NotInMode:
    case Kind::BadValue:
        break;
    }
    return unknown;
}

} // namespace kamo
