#include "cli/arguments.h"

#include <algorithm>
#include <array>

#include "logic/remote_addresses.h"

namespace velkora::cli {

const std::wstring usageText =
    L"用法：\r\n"
    L"  velkora-cli status [--json]\r\n"
    L"  velkora-cli check PORT [--json]\r\n"
    L"  velkora-cli set PORT [--restart none|computer|service] [--verify-seconds N] [--force]\r\n"
    L"                   [--confirm-seconds N [--confirm-by-command-only] [--close-old]]\r\n"
    L"                   [--allow-from LIST]\r\n"
    L"                   [--json]\r\n"
    L"  velkora-cli confirm [--json]\r\n"
    L"  velkora-cli rollback [--json]\r\n"
    L"  velkora-cli --help | -h | /?\r\n"
    L"  velkora-cli --version\r\n";

namespace {

// What each command takes.
struct CommandRule {
    const wchar_t* name;
    Command command;
    bool takesPort;
    bool takesSetOptions; // --restart, --verify-seconds, --force and --allow-from
};

// "watch" is the confirmation watcher's own, run by the service manager; no one types it.
constexpr std::array<CommandRule, 6> commandRules{{
    {L"status", Command::Status, false, false},
    {L"check", Command::Check, true, false},
    {L"set", Command::Set, true, true},
    {L"confirm", Command::Confirm, false, false},
    {L"rollback", Command::Rollback, false, false},
    {L"watch", Command::Watch, false, false},
}};

enum class Option {
    Json,
    Force,
    Restart,
    VerifySeconds,
    ConfirmSeconds,
    ConfirmByCommandOnly,
    CloseOld,
    AllowFrom
};

// The options: each may be given once; one with a value takes it as the next argument or
// after "=".
struct OptionRule {
    const wchar_t* name;
    Option option;
    bool takesValue;
    bool setOnly;
};

constexpr std::array<OptionRule, 8> optionRules{{
    {L"--json", Option::Json, false, false},
    {L"--force", Option::Force, false, true},
    {L"--restart", Option::Restart, true, true},
    {L"--verify-seconds", Option::VerifySeconds, true, true},
    {L"--confirm-seconds", Option::ConfirmSeconds, true, true},
    {L"--confirm-by-command-only", Option::ConfirmByCommandOnly, false, true},
    {L"--close-old", Option::CloseOld, false, true},
    {L"--allow-from", Option::AllowFrom, true, true},
}};

std::wstring asciiLower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c; });
    return text;
}

bool isHelp(const std::wstring& argument) {
    const std::wstring lower = asciiLower(argument);
    return lower == L"--help" || lower == L"-h" || lower == L"/?";
}

bool isVersion(const std::wstring& argument) {
    return asciiLower(argument) == L"--version";
}

bool looksLikeOption(const std::wstring& argument) {
    return argument.size() > 1 && (argument[0] == L'-' || argument[0] == L'/');
}

ParsedArguments refused(std::wstring why, bool json) {
    return {std::nullopt, std::move(why), json};
}

ParsedArguments only(Command command) {
    Invocation invocation;
    invocation.command = command;
    return {invocation, L"", false};
}

// The option an argument names ("--restart=x" names --restart), if the command takes it.
const OptionRule* optionNamed(const std::wstring& lower, const CommandRule& command) {
    const std::wstring name = lower.substr(0, lower.find(L'='));
    for (const OptionRule& rule : optionRules) {
        if (name == rule.name && (command.takesSetOptions || !rule.setOnly) &&
            (rule.takesValue || name == lower)) {
            return &rule;
        }
    }
    return nullptr;
}

bool setRestart(const std::wstring& value, Invocation& invocation) {
    const std::wstring mode = asciiLower(value);
    if (mode == L"none") {
        invocation.restart = RestartMode::None;
    } else if (mode == L"computer") {
        invocation.restart = RestartMode::Computer;
    } else if (mode == L"service") {
        invocation.restart = RestartMode::Service;
    } else {
        return false;
    }
    return true;
}

// A number of seconds from low to high, in decimal digits only.
bool setSeconds(const std::wstring& value, long low, long high, long& seconds) {
    if (value.empty() || value.size() > 5 ||
        value.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return false;
    }
    seconds = std::stol(value);
    return seconds >= low && seconds <= high;
}

} // namespace

ParsedArguments parseArguments(const std::vector<std::wstring>& arguments) {
    const bool json = std::any_of(arguments.begin(), arguments.end(),
                                  [](const std::wstring& a) { return asciiLower(a) == L"--json"; });
    if (arguments.empty()) {
        return refused(L"缺少命令", json);
    }
    // Help and version stand alone: "set 3390 /?" must not end with 0 as if it had been done.
    for (const std::wstring& argument : arguments) {
        if (isHelp(argument) || isVersion(argument)) {
            if (arguments.size() > 1) {
                return refused(argument + L" 只能单独使用", json);
            }
            return only(isHelp(argument) ? Command::Help : Command::Version);
        }
    }

    const std::wstring name = asciiLower(arguments[0]);
    const auto command = std::find_if(commandRules.begin(), commandRules.end(),
                                      [&](const CommandRule& r) { return name == r.name; });
    if (command == commandRules.end()) {
        return refused(L"未知的命令：" + arguments[0], json);
    }

    Invocation invocation;
    invocation.command = command->command;
    bool havePort = false;
    std::vector<Option> given;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        const std::wstring lower = asciiLower(argument);
        const OptionRule* option = optionNamed(lower, *command);
        if (option == nullptr) {
            if (looksLikeOption(argument)) {
                return refused(L"未知的选项：" + argument, json);
            }
            if (!command->takesPort || havePort) {
                return refused(L"多余的参数：" + argument, json);
            }
            invocation.portText = argument;
            havePort = true;
            continue;
        }
        if (std::find(given.begin(), given.end(), option->option) != given.end()) {
            return refused(L"重复的选项：" + std::wstring(option->name), json);
        }
        given.push_back(option->option);
        std::wstring value;
        if (option->takesValue) {
            const std::size_t equals = argument.find(L'=');
            if (equals != std::wstring::npos) {
                value = argument.substr(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else if (option->option == Option::Restart) {
                return refused(L"--restart 后缺少 none、computer 或 service", json);
            } else if (option->option == Option::AllowFrom) {
                return refused(L"--allow-from 后缺少地址列表", json);
            }
        }
        switch (option->option) {
        case Option::Json:
            invocation.json = true;
            break;
        case Option::Force:
            invocation.force = true;
            break;
        case Option::Restart:
            if (!setRestart(value, invocation)) {
                return refused(L"--restart 只能是 none、computer 或 service", json);
            }
            break;
        case Option::VerifySeconds:
            if (!setSeconds(value, 1, 3600, invocation.verifySeconds)) {
                return refused(L"--verify-seconds 后须是 1 到 3600 的秒数", json);
            }
            break;
        case Option::ConfirmSeconds:
            if (!setSeconds(value, 30, 86400, invocation.confirmSeconds)) {
                return refused(L"--confirm-seconds 后须是 30 到 86400 的秒数", json);
            }
            break;
        case Option::ConfirmByCommandOnly:
            invocation.confirmByCommandOnly = true;
            break;
        case Option::CloseOld:
            invocation.closeOld = true;
            break;
        case Option::AllowFrom:
            if (const auto problem = remoteAddressListProblem(value)) {
                return refused(L"--allow-from 无效：" + *problem, json);
            }
            invocation.allowFrom = value;
            break;
        }
    }
    if (command->takesPort && !havePort) {
        return refused(L"缺少端口", json);
    }
    const auto wasGiven = [&](Option option) {
        return std::find(given.begin(), given.end(), option) != given.end();
    };
    if (wasGiven(Option::VerifySeconds) && invocation.restart != RestartMode::Service) {
        return refused(L"--verify-seconds 只用于 --restart service", json);
    }
    // Only a restart makes the listener take the port: without one nothing could prove it.
    if (wasGiven(Option::ConfirmSeconds) && invocation.restart == RestartMode::None) {
        return refused(L"--confirm-seconds 只用于 --restart service 或 --restart computer", json);
    }
    if (invocation.confirmByCommandOnly && !wasGiven(Option::ConfirmSeconds)) {
        return refused(L"--confirm-by-command-only 只用于 --confirm-seconds", json);
    }
    // Closing the way back before anyone proved the new way is the lockout itself.
    if (invocation.closeOld && !wasGiven(Option::ConfirmSeconds)) {
        return refused(L"--close-old 只用于 --confirm-seconds：旧端口只在新端口得到确认后关闭",
                       json);
    }
    return {invocation, L"", json};
}

bool holdsOffConsoleEvents(const Invocation& invocation) {
    return invocation.command == Command::Set || invocation.command == Command::Confirm ||
           invocation.command == Command::Rollback;
}

} // namespace velkora::cli
