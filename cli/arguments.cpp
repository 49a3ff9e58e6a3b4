#include "cli/arguments.h"

#include <algorithm>
#include <array>

namespace velkora::cli {

const std::wstring usageText =
    L"用法：\r\n"
    L"  velkora-cli status [--json]\r\n"
    L"  velkora-cli check PORT [--json]\r\n"
    L"  velkora-cli set PORT [--restart none|computer|service] [--verify-seconds N] [--force]\r\n"
    L"                   [--json]\r\n"
    L"  velkora-cli --help | -h | /?\r\n"
    L"  velkora-cli --version\r\n";

namespace {

// What each command takes.
struct CommandRule {
    const wchar_t* name;
    Command command;
    bool takesPort;
    bool takesSetOptions; // --restart and --force
};

constexpr std::array<CommandRule, 3> commandRules{{
    {L"status", Command::Status, false, false},
    {L"check", Command::Check, true, false},
    {L"set", Command::Set, true, true},
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

bool looksLikeOption(const std::wstring& argument) {
    return argument.size() > 1 && (argument[0] == L'-' || argument[0] == L'/');
}

ParsedArguments refused(std::wstring why, bool json) {
    return {std::nullopt, std::move(why), json};
}

ParsedArguments only(Command command, bool json) {
    Invocation invocation;
    invocation.command = command;
    return {invocation, L"", json};
}

} // namespace

ParsedArguments parseArguments(const std::vector<std::wstring>& arguments) {
    const bool json = std::any_of(arguments.begin(), arguments.end(),
                                  [](const std::wstring& a) { return asciiLower(a) == L"--json"; });
    if (arguments.empty()) {
        return refused(L"缺少命令", json);
    }
    if (std::any_of(arguments.begin(), arguments.end(), isHelp)) {
        return only(Command::Help, json);
    }
    if (arguments.size() == 1 && asciiLower(arguments[0]) == L"--version") {
        return only(Command::Version, json);
    }

    const std::wstring name = asciiLower(arguments[0]);
    const auto rule = std::find_if(commandRules.begin(), commandRules.end(),
                                   [&](const CommandRule& r) { return name == r.name; });
    if (rule == commandRules.end()) {
        return refused(L"未知的命令：" + arguments[0], json);
    }

    Invocation invocation;
    invocation.command = rule->command;
    bool havePort = false;
    bool verifySecondsGiven = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        const std::wstring lower = asciiLower(argument);
        if (lower == L"--json") {
            invocation.json = true;
        } else if (rule->takesSetOptions && lower == L"--force") {
            invocation.force = true;
        } else if (rule->takesSetOptions &&
                   (lower == L"--restart" || lower.rfind(L"--restart=", 0) == 0)) {
            std::wstring mode;
            if (lower == L"--restart") {
                if (i + 1 == arguments.size()) {
                    return refused(L"--restart 后缺少 none、computer 或 service", json);
                }
                mode = asciiLower(arguments[++i]);
            } else {
                mode = lower.substr(10);
            }
            if (mode == L"none") {
                invocation.restart = RestartMode::None;
            } else if (mode == L"computer") {
                invocation.restart = RestartMode::Computer;
            } else if (mode == L"service") {
                invocation.restart = RestartMode::Service;
            } else {
                return refused(L"--restart 只能是 none、computer 或 service", json);
            }
        } else if (rule->takesSetOptions && lower == L"--verify-seconds") {
            const std::wstring seconds = i + 1 < arguments.size() ? arguments[++i] : L"";
            if (seconds.empty() || seconds.size() > 4 ||
                seconds.find_first_not_of(L"0123456789") != std::wstring::npos ||
                std::stol(seconds) < 1 || std::stol(seconds) > 3600) {
                return refused(L"--verify-seconds 后须是 1 到 3600 的秒数", json);
            }
            invocation.verifySeconds = std::stol(seconds);
            verifySecondsGiven = true;
        } else if (looksLikeOption(argument)) {
            return refused(L"未知的选项：" + argument, json);
        } else if (rule->takesPort && !havePort) {
            invocation.portText = argument;
            havePort = true;
        } else {
            return refused(L"多余的参数：" + argument, json);
        }
    }
    if (rule->takesPort && !havePort) {
        return refused(L"缺少端口", json);
    }
    if (verifySecondsGiven && invocation.restart != RestartMode::Service) {
        return refused(L"--verify-seconds 只用于 --restart service", json);
    }
    return {invocation, L"", json};
}

} // namespace velkora::cli
