#include <gtest/gtest.h>

#include <deque>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/json_report.h"
#include "cli/text_report.h"
#include "logic/journal_text.h"
#include "logic/utc_timestamp.h"
#include "logic/close_old_port.h"
#include "logic/confirmed_change.h"
#include "logic/utf8.h"
#include "tests/host/server_arrangements.h"

namespace velkora::test {
namespace {

using namespace cli;
using std::chrono::milliseconds;

Invocation confirmedSet(std::wstring port, long seconds = 300,
                        RestartMode restart = RestartMode::Service) {
    Invocation i;
    i.command = Command::Set;
    i.portText = std::move(port);
    i.restart = restart;
    i.confirmSeconds = seconds;
    return i;
}

Invocation asked(Command command) {
    Invocation i;
    i.command = command;
    return i;
}

// A server at 3389 whose stand-in service restarts onto the port its values hold, with a
// rule of another tool's on the port already, and a second listener on 3392.
struct Server {
    FakePlatform fake;
    FakeRegistry::Keys registryBefore;
    std::map<std::wstring, FirewallRule> rulesBefore;

    Server() {
        arrangeServer(fake);
        arrangeServiceRestart(fake);
        fake.firewall.rules[L"Velkora 3390 TCP"] = buildFirewallRules(3390)[0];
        fake.firewall.rules[L"Velkora 3390 TCP"].remoteAddresses = L"10.0.0.0/8";
        const std::wstring fallback = L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\"
                                      L"Terminal Server\\WinStations\\Fallback\\PortNumber";
        fake.registry.setValue(fallback, dwordValue(3392));
        registryBefore = fake.registry.contents();
        rulesBefore = fake.firewall.rules;
    }
    Report run(const Invocation& invocation) { return runCommand(invocation, fake.platform); }
    PendingChange journal() { return parseJournal(*fake.journal.text); }
    void expectAsBefore() {
        EXPECT_EQ(fake.registry.contents(), registryBefore);
        EXPECT_EQ(fake.firewall.rules, rulesBefore);
    }
};

TEST(Journal, KeepsEveryFieldThroughItsText) {
    PendingChange change;
    change.state = PendingState::AwaitingConfirmation;
    change.oldPort = 3389;
    change.newPort = 50001;
    change.newPortText = L"50001";
    change.restart = PendingRestart::Computer;
    change.confirmSeconds = 86400;
    change.confirmBy = 1796644800;
    change.confirmByLogon = false;
    change.countedFromBoot = true;
    change.bootId = "13411234567890-4242";
    change.confirmByTick = 86400123;
    change.values = {{dwordValue(3389), 0}, {stringValue(L"端口\u00e9"), 0}, {std::nullopt, 3}, {}};
    FirewallRule rule = buildFirewallRules(50001)[1];
    rule.description = L"管理员的规则 \"quoted\"\\";
    rule.localPorts = L"3389-3390,5000";
    rule.enabled = false;
    change.rules = std::array<std::optional<FirewallRule>, 2>{std::nullopt, rule};
    EXPECT_EQ(parseJournal(journalText(change)), change);
    const std::string text = journalText(change);
    EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return c > 0; }));
    change.rules.reset();
    change.oldPort.reset();
    EXPECT_EQ(parseJournal(journalText(change)), change);
    change.state = PendingState::ClosingOldPort;
    change.closeOld = true;
    change.closing =
        OldPortClosing{3389, L"03389", {rule}, {rule, rule}, {{stringValue(L"3389:TCP"), 0}, {}}};
    EXPECT_EQ(parseJournal(journalText(change)), change);
}

TEST(Journal, ThatIsDamagedIsAnErrorNotNothingPending) {
    PendingChange change;
    change.values.resize(4);
    const std::string good = journalText(change);
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    for (const std::string& text :
         {std::string(), good.substr(0, good.size() / 2), std::string("{}"),
          replaced("\"version\": 2", "\"version\": 3"), replaced("applying", "done"),
          replaced("1970-01-01T00:00:00Z", "1970-13-01T00:00:00Z"),
          replaced("\"service\"", "\"later\""), replaced("\"missingKeys\": 0", "\"type\": 4"),
          replaced("},\n    {", "}, {}, {")}) {
        try {
            parseJournal(text);
            ADD_FAILURE() << text;
        } catch (const PlatformError& error) {
            EXPECT_EQ(error.number(), 13);
        }
    }
}

// A change pending when the program was updated: the first format had no boot, no service of a
// rule and no closing of the old port.
TEST(Journal, OfTheFirstFormatIsStillRead) {
    Server server;
    server.run(confirmedSet(L"3390"));
    nlohmann::ordered_json first = nlohmann::ordered_json::parse(*server.fake.journal.text);
    first["version"] = 1;
    for (const char* added : {"bootId", "confirmByTick", "closeOld", "closing"}) {
        first.erase(added);
    }
    PendingChange expected = server.journal();
    expected.bootId.clear();
    expected.confirmByTick = 0;
    for (int i : {0, 1}) {
        if (!first["rules"][i].is_null()) {
            first["rules"][i].erase("serviceName");
            (*expected.rules)[i]->serviceName.clear();
        }
    }
    EXPECT_EQ(parseJournal(first.dump()), expected);
}

TEST(UtcTimestamp, WritesAndReadsTheCalendar) {
    const std::pair<std::int64_t, std::string> rows[] = {
        {0, "1970-01-01T00:00:00Z"},
        {951782400, "2000-02-29T00:00:00Z"},
        {1796601600 + 86399, "2026-12-07T23:59:59Z"},
        {4107542400, "2100-03-01T00:00:00Z"}};
    for (const auto& [seconds, text] : rows) {
        EXPECT_EQ(utcTimestamp(seconds), text);
        EXPECT_EQ(parseUtcTimestamp(text), seconds);
    }
    EXPECT_EQ(parseUtcTimestamp("2026-12-07 12:00:00Z"), std::nullopt);
    EXPECT_EQ(parseUtcTimestamp("2026-12-07T12:00:00Z "), std::nullopt);
}

TEST(ConfirmedSet, StartsItsWatcherBeforeWritingAndAwaitsConfirmationOnceVerified) {
    Server server;
    const Report report = server.run(confirmedSet(L"3390"));
    EXPECT_EQ(report.exitCode, cli::ExitCode::Done);
    EXPECT_EQ(server.fake.watcher.starts, 1);
    const PendingChange pending = server.journal();
    EXPECT_EQ(pending.state, PendingState::AwaitingConfirmation);
    EXPECT_EQ(pending.confirmBy, server.fake.clock.utcSeconds() + 300);
    EXPECT_EQ(report.confirmBy, pending.confirmBy);
    const std::string json = jsonReport(report);
    EXPECT_NE(json.find(R"("confirmation":"pending","confirmBy":")" +
                        utcTimestamp(pending.confirmBy) + "\"}"),
              std::string::npos)
        << json;
    EXPECT_EQ(server.fake.audit.reported.back().eventId, 1000u);

    // Nothing is built on a change that waits: not by the command line, not by the window.
    const FakeRegistry::Keys changed = server.fake.registry.contents();
    const Report refused = server.run(confirmedSet(L"3391"));
    EXPECT_EQ(refused.exitCode, cli::ExitCode::AnotherChangeInProgress);
    EXPECT_EQ(refused.error->description(),
              L"端口从 3389 改为 3390 的修改正在等待确认（截止 " +
                  fromUtf8(utcTimestamp(pending.confirmBy)) +
                  L"）。请先运行 velkora-cli confirm 保留它，或运行 velkora-cli rollback "
                  L"改回原端口。");
    EXPECT_THROW(applyPortChange(server.fake.platform, L"3391", WhenInPlace::Rewrite),
                 PlatformError);
    EXPECT_EQ(server.fake.registry.contents(), changed);
}

TEST(ConfirmedSet, ThatEndsPutBackLeavesNothingToWatch) {
    Server refused;
    refused.fake.services.refusedPort = 3390;
    EXPECT_EQ(refused.run(confirmedSet(L"3390")).exitCode, cli::ExitCode::RestartRolledBack);
    Server noWatcher;
    noWatcher.fake.watcher.startError = PlatformError(5, L"拒绝访问。");
    EXPECT_EQ(noWatcher.run(confirmedSet(L"3390")).exitCode, cli::ExitCode::AccessDenied);
    EXPECT_TRUE(noWatcher.fake.registry.writes().empty());
    // Its program cannot be put in place: not even the journal is written.
    Server noProgram;
    noProgram.fake.watcher.installError = PlatformError(5, L"拒绝访问。");
    EXPECT_EQ(noProgram.run(confirmedSet(L"3390")).exitCode, cli::ExitCode::AccessDenied);
    EXPECT_TRUE(noProgram.fake.registry.writes().empty());
    EXPECT_EQ(noProgram.fake.journal.writes, 0);
    for (Server* server : {&refused, &noWatcher, &noProgram}) {
        EXPECT_FALSE(server->fake.journal.text);
        EXPECT_FALSE(server->fake.watcher.running);
        server->expectAsBefore();
    }
}

TEST(ConfirmAndRollback, KeepOrPutBackExactlyWhatWasCaptured) {
    Server kept;
    kept.run(confirmedSet(L"3390"));
    EXPECT_EQ(kept.run(asked(Command::Confirm)).confirmed, true);
    EXPECT_FALSE(kept.fake.journal.text);
    EXPECT_FALSE(kept.fake.watcher.running);
    EXPECT_EQ(kept.fake.registry.value(rdpTcpPort), dwordValue(3390));
    EXPECT_EQ(kept.fake.resultLog.lines.back(), L"confirm: port 3390 kept (by command)");
    EXPECT_EQ(kept.run(asked(Command::Confirm)).confirmed, false);

    Server putBack;
    putBack.run(confirmedSet(L"3390"));
    const Report report = putBack.run(asked(Command::Rollback));
    EXPECT_EQ(report.rolledBack, true);
    EXPECT_EQ(report.exitCode, cli::ExitCode::Done);
    putBack.expectAsBefore();
    EXPECT_FALSE(putBack.fake.journal.text);
    EXPECT_FALSE(putBack.fake.watcher.running);
    EXPECT_EQ(putBack.fake.resultLog.lines.back(),
              L"rollback 3390 -> 3389 (asked): listening on 3389");
    EXPECT_EQ(putBack.fake.audit.reported.back().eventId, 1002u);
    EXPECT_EQ(putBack.run(asked(Command::Rollback)).rolledBack, false);
}

TEST(ConfirmAndRollback, APutBackThatFailsKeepsTheJournalForTheWatcher) {
    Server server;
    server.run(confirmedSet(L"3390"));
    server.fake.registry.failRestores(PlatformError(5, L"拒绝访问。"));
    const Report report = server.run(asked(Command::Rollback));
    EXPECT_EQ(report.rolledBack, false);
    EXPECT_EQ(report.exitCode, cli::ExitCode::Failed);
    EXPECT_TRUE(server.fake.journal.text);
    EXPECT_TRUE(server.fake.watcher.running);
}

// A server whose old port is open every way the closing knows, beside rules it must not touch.
struct OpenOldPort : Server {
    std::map<std::wstring, FirewallRule> rulesWhenConfirmed;
    FakeRegistry::Keys registryWhenConfirmed;

    OpenOldPort() {
        const auto windowsRule = [&](const wchar_t* name, long protocol, std::wstring port,
                                     bool enabled, long direction = 1,
                                     std::wstring group = remoteDesktopRuleGroup) {
            FirewallRule rule;
            rule.name = name;
            rule.grouping = std::move(group);
            rule.protocol = protocol;
            rule.localPorts = std::move(port);
            rule.enabled = enabled;
            rule.direction = direction;
            rule.serviceName = L"termservice";
            fake.firewall.rules[name] = rule;
        };
        windowsRule(L"远程桌面 - 用户模式(TCP-In)", FirewallProtocol::Tcp, L"3389", true);
        windowsRule(L"远程桌面 - 用户模式(UDP-In)", FirewallProtocol::Udp, L"3389", true);
        windowsRule(L"远程桌面 - 影子(TCP-In)", FirewallProtocol::Tcp, L"3389", false);
        windowsRule(L"远程桌面 - 范围", FirewallProtocol::Tcp, L"3389-3390", true);
        windowsRule(L"远程桌面 - 出站", FirewallProtocol::Tcp, L"3389", true, 2);
        windowsRule(L"Web 服务器", FirewallProtocol::Tcp, L"3389", true, 1, L"Web");
        for (const FirewallRule& ours : buildFirewallRules(3389)) {
            fake.firewall.rules[ours.name] = ours;
        }
        const std::wstring entry = L"3389:TCP:*:Enabled:3389";
        for (const RegistryWrite& write : buildPortChangeSet(L"3389")) {
            if (std::holds_alternative<std::wstring>(write.data)) {
                fake.registry.setValue(write.path, stringValue(entry));
            }
        }
        Invocation set = confirmedSet(L"3390");
        set.closeOld = true;
        run(set);
        rulesWhenConfirmed = fake.firewall.rules;
        registryWhenConfirmed = fake.registry.contents();
    }
};

TEST(CloseOld, AfterConfirmRemovesAndDisablesExactlyTheOldPortsWays) {
    OpenOldPort server;
    const Report report = server.run(asked(Command::Confirm));
    EXPECT_EQ(report.exitCode, cli::ExitCode::Done);
    std::map<std::wstring, FirewallRule> expected = server.rulesWhenConfirmed;
    for (const FirewallRule& ours : buildFirewallRules(3389)) {
        expected.erase(ours.name);
    }
    expected[L"远程桌面 - 用户模式(TCP-In)"].enabled = false;
    expected[L"远程桌面 - 用户模式(UDP-In)"].enabled = false;
    EXPECT_EQ(server.fake.firewall.rules, expected);
    for (const RegistryWrite& write : buildPortChangeSet(L"3389")) {
        if (std::holds_alternative<std::wstring>(write.data)) {
            EXPECT_EQ(server.fake.registry.value(write.path), std::nullopt);
        }
    }
    const std::string json = jsonReport(report);
    EXPECT_NE(json.find(R"("closedRules":[{"name":")"), std::string::npos) << json;
    EXPECT_EQ(std::count(json.begin(), json.end(), '{') - 1, 4) << json; // two of each action
    EXPECT_EQ(server.fake.resultLog.lines.back(),
              L"confirm: port 3390 kept (by command), old port 3389 closed");
    EXPECT_FALSE(server.fake.journal.text);
}

// Whichever call is refused, the old port stays open exactly as it was, and the change is kept.
TEST(CloseOld, RefusedAtAnyCallLeavesTheOldPortAsItWas) {
    for (int refused = 1; refused <= 4; ++refused) {
        OpenOldPort server;
        server.fake.firewall.failChange(refused, PlatformError(5, L"拒绝访问。"));
        const Report report = server.run(asked(Command::Confirm));
        EXPECT_EQ(report.confirmed, true) << refused;
        EXPECT_EQ(report.exitCode, cli::ExitCode::Failed) << refused;
        EXPECT_EQ(server.fake.firewall.rules, server.rulesWhenConfirmed) << refused;
        EXPECT_EQ(server.fake.registry.contents(), server.registryWhenConfirmed) << refused;
        EXPECT_FALSE(server.fake.journal.text) << refused;
        EXPECT_EQ(server.fake.audit.reported.back().eventId, 1001u) << refused;
    }
    // A closing whose put-back fails too leaves rules changed: recorded as an error.
    OpenOldPort server;
    server.fake.firewall.failChange(2, PlatformError(5, L"拒绝访问。"));
    server.fake.firewall.failPut(server.fake.firewall.puts() + 1, PlatformError(5, L"拒绝访问。"));
    EXPECT_TRUE(server.run(asked(Command::Confirm)).error->changeLeftBehind());
    EXPECT_EQ(server.fake.audit.reported.back().eventId, 1005u);
}

// A closing cut off half-way (the journal says so) is put back, each thing as it was.
TEST(CloseOld, CutOffIsPutBackByRollback) {
    OpenOldPort server;
    PendingChange closing = server.journal();
    closing.state = PendingState::ClosingOldPort;
    {
        const HeldChangeLock held(server.fake.changeLock);
        closing.closing = planOldPortClosing(server.fake.platform, 3389);
    }
    server.fake.journal.write(journalText(closing));
    EXPECT_EQ(parseJournal(*server.fake.journal.text), closing);
    server.fake.firewall.remove(L"远程桌面端口 3389 (TCP)");
    server.fake.firewall.setEnabled(L"远程桌面 - 用户模式(TCP-In)", false);

    const Report report = server.run(asked(Command::Rollback));
    EXPECT_EQ(report.rolledBack, true);
    EXPECT_EQ(server.fake.firewall.rules, server.rulesWhenConfirmed);
    EXPECT_EQ(server.fake.registry.contents(), server.registryWhenConfirmed);
    EXPECT_EQ(server.fake.resultLog.lines.back(), L"reopen 3389 (closing cut off): done");
    // What was put back is the closing, not the change: the port stays 3390.
    EXPECT_EQ(textReport(report).out, L"已恢复被中断的关闭旧端口 3389 的操作：其防火墙规则和开放"
                                      L"端口项已恢复原状，端口仍为 3390。\r\n");
    const std::string json = jsonReport(report);
    EXPECT_NE(json.find(R"("port":3390,"oldPort":3389,"newPort":3390)"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("rolledBack":true,"reopenedOldPort":3389})"), std::string::npos) << json;
    EXPECT_EQ(server.fake.audit.reported.back().eventId, 1008u);
}

// The watcher's signals, as a script: each wait gives the next wake, and moves the clock by
// the limit when it gives TimeToLook (the limit passed).
class ScriptedSignals : public WatchSignals {
public:
    ScriptedSignals(FakeClock& clock, std::deque<WatchWake> wakes,
                    std::vector<RemoteSessionLogon> logons = {{L"RDP-Tcp#3", L"203.0.113.7"}})
        : clock_(clock), wakes_(std::move(wakes)), logons_(std::move(logons)) {}
    std::vector<RemoteSessionLogon> remoteLogons() override { return logons_; }
    WatchWake wait(milliseconds limit) override {
        limits.push_back(limit);
        if (wakes_.empty()) {
            clock_.sleepFor(limit);
            return WatchWake::TimeToLook;
        }
        const WatchWake wake = wakes_.front();
        wakes_.pop_front();
        return wake;
    }

    std::vector<milliseconds> limits; // of each wait, in turn

private:
    FakeClock& clock_;
    std::deque<WatchWake> wakes_;
    std::vector<RemoteSessionLogon> logons_;
};

// Values written by an earlier set without a restart: moving the listener from the port it
// listens on is the change, protected like any other, and put back onto that port. Where that
// port cannot be told, nothing is done.
TEST(ConfirmedSet, OfValuesInPlaceMovesTheListenerFromThePortItListensOn) {
    const struct {
        RestartMode restart;
        bool listenerSeen;
        int exitCode;
    } cases[] = {{RestartMode::Service, true, cli::ExitCode::Done},
                 {RestartMode::Computer, true, cli::ExitCode::RestartStarted},
                 {RestartMode::Service, false, cli::ExitCode::Failed}};
    for (const auto& c : cases) {
        Server server;
        server.run(confirmedSet(L"4200", 0, RestartMode::None));
        server.fake.services.listenerSeen = c.listenerSeen;
        const Report report = server.run(confirmedSet(L"4200", 300, c.restart));
        EXPECT_EQ(report.exitCode, c.exitCode);
        if (!c.listenerSeen) {
            EXPECT_EQ(report.error->number(), 1062);
            EXPECT_EQ(server.fake.services.log, std::vector<std::wstring>{});
            EXPECT_FALSE(server.fake.journal.text);
            continue;
        }
        EXPECT_EQ(report.oldPort, 3389);
        EXPECT_EQ(server.journal().oldPort, 3389);
        EXPECT_EQ(server.run(asked(Command::Rollback)).rolledBack, true);
        EXPECT_EQ(server.fake.registry.value(rdpTcpPort), dwordValue(3389));
        EXPECT_EQ(server.fake.registry.value(tdsPort), dwordValue(3389));
        EXPECT_EQ(server.fake.resultLog.lines.back(),
                  L"rollback 4200 -> 3389 (asked): listening on 3389");
    }
}

// A make-good of the rules alone, or a new scope for them, awaits confirmation like a change.
TEST(ConfirmedSet, ThatOnlyMakesGoodTheRulesAwaitsConfirmation) {
    for (const wchar_t* allowFrom : {L"", L"10.0.0.0/8"}) {
        Server server;
        Invocation set = confirmedSet(L"3389");
        if (*allowFrom != L'\0') {
            server.run(confirmedSet(L"3389", 0, RestartMode::None));
            set.allowFrom = allowFrom;
        }
        const Report report = server.run(set);
        EXPECT_EQ(report.exitCode, cli::ExitCode::Done) << toUtf8(allowFrom);
        EXPECT_EQ(server.journal().state, PendingState::AwaitingConfirmation) << toUtf8(allowFrom);
        EXPECT_EQ(report.confirmBy, server.journal().confirmBy);
    }
}

// Once the values are back the service is restarted onto the old port whatever the rules did,
// and the change stays on record (restart-pending) until it listens there; the watcher retries.
TEST(ConfirmAndRollback, APutBackStaysOnRecordUntilTheOldPortListens) {
    const struct {
        const char* name;
        std::function<void(FakePlatform&)> fail, mend;
        std::wstring firstLine;
    } cases[] = {
        {"RulesRefused",
         [](FakePlatform& f) { f.firewall.failChange(1, PlatformError(5, L"拒绝访问。")); },
         [](FakePlatform&) {},
         L"rollback 3390 -> 3389 (asked): values put back, firewall rules not, error 5: "
         L"拒绝访问。, listening on 3389"},
        {"RestartFails", [](FakePlatform& f) { f.services.refusedPort = 3389; },
         [](FakePlatform& f) { f.services.refusedPort = 0; },
         L"rollback 3390 -> 3389 (asked): values put back, not listening on the old port, error "
         L"1062: 服务 TermService 没有在端口 3389 上监听。"},
    };
    for (const auto& c : cases) {
        Server server;
        server.run(confirmedSet(L"3390"));
        c.fail(server.fake);
        const Report report = server.run(asked(Command::Rollback));
        EXPECT_EQ(report.exitCode, cli::ExitCode::Failed) << c.name;
        EXPECT_EQ(server.fake.registry.value(rdpTcpPort), dwordValue(3389)) << c.name;
        EXPECT_EQ(server.fake.services.log.back(), L"start TermService") << c.name;
        EXPECT_EQ(server.fake.resultLog.lines.back(), c.firstLine) << c.name;
        EXPECT_EQ(server.journal().state, PendingState::RestartPending) << c.name;
        EXPECT_TRUE(server.fake.watcher.running) << c.name;
        EXPECT_EQ(server.run(asked(Command::Confirm)).exitCode, cli::ExitCode::Failed) << c.name;

        c.mend(server.fake);
        ScriptedSignals signals(server.fake.clock, {});
        EXPECT_EQ(watchPendingChange(server.fake.platform, signals, false),
                  WatchEnd::NothingPending);
        EXPECT_EQ(server.fake.resultLog.lines.back(),
                  L"rollback 3390 -> 3389 (retry): listening on 3389")
            << c.name;
        server.expectAsBefore();
    }
}

// The open-port entries are named from the port as typed, and only the tool's own are taken
// away: an administrator's entry of the number's name stays, whether put back or closed.
TEST(ConfirmedSet, TakesAwayOnlyTheOpenPortEntriesItWrote) {
    const std::wstring admins = L"3390:TCP:*:Enabled:管理员";
    const struct {
        const wchar_t* port;
        Command end;
        std::wstring adminsEntry;
    } cases[] = {{L"03390", Command::Rollback, standardList + L"\\3390:TCP "},
                 {L"3391", Command::Confirm, standardList + L"\\3389:TCP "}};
    for (const auto& c : cases) {
        Server server;
        server.fake.registry.setValue(c.adminsEntry, stringValue(admins));
        Invocation set = confirmedSet(c.port);
        set.closeOld = true;
        server.run(set);
        EXPECT_EQ(server.fake.registry.value(standardList + L"\\" + c.port + L":TCP "),
                  stringValue(std::wstring(c.port) + L":TCP:*:Enabled:" + c.port));
        EXPECT_EQ(server.run(asked(c.end)).exitCode, cli::ExitCode::Done);
        EXPECT_EQ(server.fake.registry.value(c.adminsEntry), stringValue(admins));
        if (c.end == Command::Rollback) {
            EXPECT_EQ(server.fake.registry.value(standardList + L"\\03390:TCP "), std::nullopt);
        }
    }
}

// A change still being made, or being put back, is not one to keep: confirm says so and keeps it.
TEST(Confirm, RefusesAChangeNotYetMadeOrBeingPutBack) {
    const std::pair<PendingState, std::wstring> cases[] = {
        {PendingState::Applying,
         L"端口从 3389 改为 3390 的修改仍在进行中（正在写入或重启，尚未验证），不能确认。请等待该"
         L"命令结束后再运行 velkora-cli confirm；如该命令已中断，确认服务会自动改回原端口，也可"
         L"运行 velkora-cli rollback 立即改回。"},
        {PendingState::RestartPending,
         L"端口从 3389 改为 3390 的修改正在改回：端口值已恢复，远程桌面服务尚未在原端口上监听，"
         L"不能再确认。确认服务每分钟重试一次；运行 velkora-cli rollback 可立即重试，velkora-cli "
         L"status 可查看进展。"}};
    for (const auto& [state, text] : cases) {
        Server server;
        server.run(confirmedSet(L"3390"));
        PendingChange pending = server.journal();
        pending.state = state;
        server.fake.journal.write(journalText(pending));
        const Report report = server.run(asked(Command::Confirm));
        EXPECT_EQ(report.exitCode, cli::ExitCode::Failed);
        EXPECT_EQ(report.error->description(), text);
        EXPECT_EQ(server.journal(), pending);
        EXPECT_TRUE(server.fake.watcher.running);
    }
}

// How the watcher came to run: the command started it, the system started again, or the
// service manager restarted it after a failure (or someone started it by hand).
enum class WatcherStart { WithCommand, AfterBoot, Again };
constexpr WatcherStart withCommand = WatcherStart::WithCommand;

struct WatchCase {
    const char* name;
    RestartMode restart;
    bool byCommandOnly;
    PendingState state; // as the command left it
    WatcherStart start;
    std::deque<WatchWake> wakes;
    WatchEnd end;
    std::wstring logLine; // the last line of the result log; empty: none
    long secondsWaited;   // on the watcher's clock
    std::vector<RemoteSessionLogon> logons = {{L"RDP-Tcp#3", L"203.0.113.7"}};
    long wallClockSetBack = 0; // seconds, once the deadline was set
};

const std::wstring putBackAtDeadline = L"rollback 3390 -> 3389 (deadline): listening on 3389";
const std::wstring putBackCommandEnded =
    L"rollback 3390 -> 3389 (command ended): listening on 3389";
const std::wstring confirmedByLogon = L"confirm: port 3390 kept (by remote logon)";
const WatchWake logon = WatchWake::RemoteLogon;

const WatchCase watchCases[] = {
    {"DeadlinePutsBack",
     RestartMode::Service,
     false,
     PendingState::AwaitingConfirmation,
     withCommand,
     {},
     WatchEnd::NothingPending,
     putBackAtDeadline,
     300},
    {"CommandEndedWhileApplyingPutsBackAtOnce",
     RestartMode::Service,
     false,
     PendingState::Applying,
     withCommand,
     {WatchWake::CommandEnded},
     WatchEnd::NothingPending,
     putBackCommandEnded,
     0},
    {"CommandEndedAfterItsChangeStoodKeepsWaiting",
     RestartMode::Service,
     false,
     PendingState::AwaitingConfirmation,
     withCommand,
     {WatchWake::CommandEnded},
     WatchEnd::NothingPending,
     putBackAtDeadline,
     300},
    {"ApplyingFoundAtBootPutsBackAtOnce",
     RestartMode::Service,
     false,
     PendingState::Applying,
     WatcherStart::AfterBoot,
     {},
     WatchEnd::NothingPending,
     putBackCommandEnded,
     0},
    {"RemoteLogonConfirms",
     RestartMode::Service,
     false,
     PendingState::AwaitingConfirmation,
     withCommand,
     {logon},
     WatchEnd::NothingPending,
     confirmedByLogon,
     0},
    {"RemoteLogonIgnoredWhenOnlyTheCommandConfirms",
     RestartMode::Service,
     true,
     PendingState::AwaitingConfirmation,
     withCommand,
     {logon},
     WatchEnd::NothingPending,
     putBackAtDeadline,
     300},
    {"RemoteLogonBeforeTheComputerRestartedIsOnTheOldPort",
     RestartMode::Computer,
     false,
     PendingState::AwaitingConfirmation,
     withCommand,
     {logon},
     WatchEnd::NothingPending,
     putBackAtDeadline,
     300},
    {"AfterTheComputerRestartedTheDeadlineCountsAgainAndALogonConfirms",
     RestartMode::Computer,
     false,
     PendingState::AwaitingConfirmation,
     WatcherStart::AfterBoot,
     {WatchWake::TimeToLook, logon},
     WatchEnd::NothingPending,
     confirmedByLogon,
     0},
    {"StartedAgainWithoutABootTheComputerHasNotRestartedYet",
     RestartMode::Computer,
     false,
     PendingState::AwaitingConfirmation,
     WatcherStart::Again,
     {WatchWake::TimeToLook, logon},
     WatchEnd::NothingPending,
     putBackAtDeadline,
     300},
    {"AWallClockSetBackDoesNotDelayTheDeadline",
     RestartMode::Service,
     false,
     PendingState::AwaitingConfirmation,
     withCommand,
     {},
     WatchEnd::NothingPending,
     putBackAtDeadline,
     300,
     {},
     3600},
    {"LogonsThatProveNothingDoNotConfirm",
     RestartMode::Service,
     false,
     PendingState::AwaitingConfirmation,
     withCommand,
     {logon},
     WatchEnd::NothingPending,
     putBackAtDeadline,
     300,
     {{L"Fallback#1", L"203.0.113.7"},
      {L"RDP-Tcp#2", L"127.0.0.2"},
      {L"rdp-tcp#4", L"0:0:0:0:0:0:0:1"},
      {L"RDP-Tcp#5", std::nullopt},
      {L"Console", L"203.0.113.7"}}},
    {"StopLeavesTheChangePending",
     RestartMode::Service,
     false,
     PendingState::AwaitingConfirmation,
     withCommand,
     {WatchWake::Stop},
     WatchEnd::Stopped,
     L"",
     0},
};

class Watcher : public testing::TestWithParam<WatchCase> {};

TEST_P(Watcher, EndsThePendingChangeAsItsSignalsAndClockSay) {
    const WatchCase& c = GetParam();
    Server server;
    Invocation set = confirmedSet(L"3390", 300, c.restart);
    set.confirmByCommandOnly = c.byCommandOnly;
    server.run(set);
    PendingChange pending = server.journal();
    pending.state = c.state;
    server.fake.journal.write(journalText(pending));
    server.fake.resultLog.lines.clear();
    const auto started = server.fake.clock.now();
    server.fake.clock.wallShift -= c.wallClockSetBack;
    if (c.start == WatcherStart::AfterBoot) {
        server.fake.info.boot = L"boot-2";
    }

    ScriptedSignals signals(server.fake.clock, c.wakes, c.logons);
    EXPECT_EQ(watchPendingChange(server.fake.platform, signals, c.start == withCommand), c.end);
    const auto waited =
        std::chrono::duration_cast<std::chrono::seconds>(server.fake.clock.now() - started);
    EXPECT_EQ(waited.count(), c.secondsWaited);
    EXPECT_EQ(server.fake.resultLog.lines.empty() ? L"" : server.fake.resultLog.lines.back(),
              c.logLine);
    EXPECT_EQ(server.fake.journal.text.has_value(), c.end == WatchEnd::Stopped);
    if (c.logLine == putBackAtDeadline || c.logLine == putBackCommandEnded) {
        server.expectAsBefore();
        EXPECT_EQ(server.fake.audit.reported.back().eventId,
                  c.logLine == putBackAtDeadline ? 1007u : 1004u);
    }
}

// Said once, in the result log and as an error event, then looked at again every minute rather
// than every few seconds, for as long as it takes.
TEST(Watcher, SaysOnceThatTheJournalCannotBeReadAndLooksAgainSlowly) {
    Server server;
    server.fake.journal.text = "{";
    ScriptedSignals signals(server.fake.clock,
                            {WatchWake::TimeToLook, WatchWake::TimeToLook, WatchWake::Stop});
    EXPECT_EQ(watchPendingChange(server.fake.platform, signals, true), WatchEnd::Stopped);
    EXPECT_EQ(server.fake.resultLog.lines,
              std::vector<std::wstring>{
                  L"watch: journal unreadable (nothing is put back until it can be read), error "
                  L"13: 无法读取待确认修改的记录 pending-change.json：内容已损坏。"});
    const AuditEntry said{1009,
                          AuditLevel::Error,
                          {L"SERVER\\admin", L"S-1-5-21-1004336348-1177238915-682003330-500", L"-",
                           L"0", L"none",
                           L"13: 无法读取待确认修改的记录 pending-change.json：内容已损坏。", L"1",
                           L"velkora-cli.exe"}};
    EXPECT_EQ(server.fake.audit.reported, std::vector<AuditEntry>{said});
    EXPECT_EQ(signals.limits, std::vector<milliseconds>(3, std::chrono::seconds(60)));
}

INSTANTIATE_TEST_SUITE_P(Cases, Watcher, testing::ValuesIn(watchCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace velkora::test
