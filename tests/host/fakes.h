#pragma once

// Fakes of the platform services, for tests of the logic on the host. Each records what it
// was asked and can be told to fail.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "logic/main_window_view.h"
#include "tests/host/fake_services.h"
#include "platform/platform.h"
#include "platform/platform_error.h"

namespace velkora::test {

constexpr std::uint32_t regSz = 1;
constexpr std::uint32_t regExpandSz = 2;
constexpr std::uint32_t regBinary = 3;
constexpr std::uint32_t regDword = 4;

StoredRegistryValue dwordValue(std::uint32_t number);
StoredRegistryValue stringValue(const std::wstring& text, std::uint32_t type = regSz);

// Orders texts the way the registry compares key and value names: ignoring ASCII case.
struct RegistryNameLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
};

// A registry of keys and values, as the real registry service sees it. Keys keep the spelling
// of their first creation; lookups ignore case. The roots HKEY_LOCAL_MACHINE (HKLM) and
// HKEY_CURRENT_USER (HKCU) always exist.
class FakeRegistry : public Registry {
public:
    using Values = std::map<std::wstring, StoredRegistryValue, RegistryNameLess>;
    using Keys = std::map<std::wstring, Values, RegistryNameLess>;

    FakeRegistry();

    // Arranging a registry for a test; these never fail and are not counted.
    void createKey(const std::wstring& keyPath);
    void setValue(const std::wstring& path, const StoredRegistryValue& value);
    std::optional<StoredRegistryValue> value(const std::wstring& path) const;
    bool keyExists(const std::wstring& keyPath) const;
    // Every key and value, for byte-exact comparisons of before and after.
    const Keys& contents() const { return keys_; }

    // The registry service's operations, with its error numbers.
    RegistryValue read(const std::wstring& path) override;
    std::optional<RegistryValue> readIfPresent(const std::wstring& path) override;
    void write(const std::wstring& path, const RegistryValue& data) override;
    RegistryValueState capture(const std::wstring& path) override;
    void restore(const std::wstring& path, const RegistryValueState& before) override;

    // Failure injection: the Nth write (1-based, counted over the registry's life) is
    // refused as an ACL on its key refuses it: that write, and every later write or
    // restore of the same path, raises the error and changes nothing (like the real
    // service, a refused write removes the keys it created on the way).
    void failWrite(int nth, PlatformError error);
    // Every restore from now on raises the error, after trying nothing.
    void failRestores(PlatformError error);
    void failCaptures(PlatformError error);

    struct Write {
        std::wstring path;
        RegistryValue data;
    };
    const std::vector<Write>& writes() const { return writes_; }
    // "capture <path>", "write <path>", "restore <path>", "read <path>" in call order.
    const std::vector<std::wstring>& calls() const { return calls_; }

    // When set, write and restore count the calls made while it says false.
    std::function<bool()> isLocked;
    int unlockedChanges = 0;

private:
    struct SplitPath {
        std::vector<std::wstring> keyChain; // root, root\a, root\a\b, ...
        std::wstring valueName;
    };
    SplitPath split(const std::wstring& path) const;
    void createChain(const std::vector<std::wstring>& keyChain);
    bool hasSubkeys(const std::wstring& keyPath) const;
    void throwIfRefused(const std::wstring& path) const;

    Keys keys_;
    std::vector<Write> writes_;
    std::vector<std::wstring> calls_;
    int writeCount_ = 0;
    std::optional<int> failingWrite_;
    std::optional<PlatformError> writeError_;
    std::optional<std::wstring> refusedPath_;
    std::optional<PlatformError> restoreError_;
    std::optional<PlatformError> captureError_;
};

// The fake registry's subkeys; a fixed computer name.
class FakeSystemInfo : public SystemInfo {
public:
    explicit FakeSystemInfo(FakeRegistry& registry) : registry_(registry) {}
    std::vector<std::wstring> subkeyNames(const std::wstring& keyPath) override;
    std::wstring computerName() override { return L"srv01.example.com"; }
    std::optional<std::wstring> remoteSessionClientAddress() override {
        return sessionClientAddress;
    }
    bool inRemoteDesktopSession() override { return remoteSession || sessionClientAddress; }
    std::optional<std::wstring> sessionClientAddress; // none: a local session
    std::wstring bootId() override { return boot; }
    std::wstring boot = L"boot-1"; // another text: the system has started again
    bool remoteSession = false;    // a Remote Desktop session whose client named no address

private:
    FakeRegistry& registry_;
};

class FakeMessageBoxService : public MessageBoxService {
public:
    struct Box {
        std::wstring prompt;
        int style = 0;
        std::optional<std::wstring> title;
    };
    int messageBox(const std::wstring& prompt, int style,
                   const std::optional<std::wstring>& title) override;

    // Replies given in turn; once they run out, every box is answered with defaultReply.
    void scriptReplies(std::initializer_list<int> replies) { replies_.assign(replies); }
    int defaultReply = MessageBoxReply::Ok;
    const std::vector<Box>& boxes() const { return boxes_; }

private:
    std::deque<int> replies_;
    std::vector<Box> boxes_;
};

class FakeLauncher : public Launcher {
public:
    struct Launch {
        std::wstring commandLine;
        int windowStyle = 0;
    };
    unsigned long launch(const std::wstring& commandLine, int windowStyle) override;
    void launchAndWait(const std::wstring& commandLine, int windowStyle,
                       std::chrono::milliseconds) override {
        launch(commandLine, windowStyle);
        if (exitError) {
            throw *exitError;
        }
    }
    std::optional<PlatformError> exitError; // what launchAndWait's program ends with
    void failWith(PlatformError error) { error_ = std::move(error); }
    const std::vector<Launch>& launches() const { return launches_; }

private:
    std::optional<PlatformError> error_;
    std::vector<Launch> launches_;
};

class FakeFirewall : public Firewall {
public:
    bool available() override { return isAvailable; }
    std::optional<FirewallRule> find(const std::wstring& name) override;
    void put(const FirewallRule& rule) override;
    // Like the real rule collection, removing a rule that is not there does nothing.
    void remove(const std::wstring& name) override;
    std::vector<FirewallRule> allRules() override;
    void setEnabled(const std::wstring& name, bool enabled) override;
    // Names are unique here: the rule of the name, when it is as given.
    bool removeMatching(const FirewallRule& rule) override;
    bool setEnabledMatching(const FirewallRule& rule, bool enabled) override;
    void add(const FirewallRule& rule) override { put(rule); }

    bool isAvailable = true;
    std::map<std::wstring, FirewallRule> rules;
    // The Nth remove or setEnabled from now (1-based) raises the error, changing nothing.
    void failChange(int nth, PlatformError error) {
        changeCount_ = 0;
        failingChange_ = nth;
        changeError_ = std::move(error);
    }

    // The Nth put (1-based) raises the error; with changeBeforeFailing it first stores a
    // half-made rule (disabled), as a put that fails between two properties would.
    void failPut(int nth, PlatformError error, bool changeBeforeFailing = false);
    void failPutBacks(PlatformError error); // every put and remove after the failed put
    // "find <name>", "put <name>", "remove <name>" in call order.
    const std::vector<std::wstring>& calls() const { return calls_; }
    int puts() const { return putCount_; }

private:
    std::vector<std::wstring> calls_;
    int putCount_ = 0;
    std::optional<int> failingPut_;
    std::optional<PlatformError> putError_;
    bool changeBeforeFailing_ = false;
    std::optional<PlatformError> putBackError_;
    bool failedOnce_ = false;
    void countChange();
    int changeCount_ = 0;
    std::optional<int> failingChange_;
    std::optional<PlatformError> changeError_;
};

// Answers as it is told, per port; a port it was told nothing about is free and unheld.
class FakePortProbe : public PortProbe {
public:
    int trialBind(long port) override {
        bound.push_back(port);
        const auto found = bindErrors.find(port);
        return found == bindErrors.end() ? 0 : found->second;
    }
    std::vector<PortHolder> holders(long port) override {
        listed.push_back(port);
        const auto found = holdersByPort.find(port);
        std::vector<PortHolder> all =
            found == holdersByPort.end() ? std::vector<PortHolder>{} : found->second;
        if (liveListeners != nullptr) {
            for (unsigned long pid : liveListeners->tcpListenerOwners(port)) {
                all.push_back({PortProtocol::Tcp, false, pid, L"", {}});
            }
        }
        return all;
    }

    std::vector<TcpPeer> establishedPeers(long port) override {
        const auto found = peersByPort.find(port);
        return found == peersByPort.end() ? std::vector<TcpPeer>{} : found->second;
    }

    std::map<long, int> bindErrors;
    std::map<long, std::vector<PortHolder>> holdersByPort;
    std::map<long, std::vector<TcpPeer>> peersByPort; // established connections by local port
    ListenerTable* liveListeners = nullptr; // TCP listeners that come and go, added to those
    std::vector<long> bound, listed;        // the ports asked about, in order
};

// Counts acquisitions and releases; can be told that another change holds the lock.
class FakeChangeLock : public ChangeLock {
public:
    bool acquire() override;
    bool abandoned = false; // acquire finds it left by a holder that ended
    void release() noexcept override { ++released; }
    bool takenOver() const override { return abandoned && acquired > 0; }
    void failWith(PlatformError error) { error_ = std::move(error); }
    bool held() const { return acquired > released; }
    int acquired = 0;
    int released = 0;

private:
    std::optional<PlatformError> error_;
};

class FakeDocumentOpener : public DocumentOpener {
public:
    void openDocument(const std::wstring& operation, const std::wstring& file,
                      const std::wstring& parameters, const std::wstring& directory,
                      int showCommand) override;
    unsigned long lastExternalError() const override { return 0; }
    int opened = 0;
};

class FakeProgramFolder : public ProgramFolder {
public:
    std::wstring programFolder() override { return L"C:\\Program Files\\Velkora"; }
};

class FakeProgramEnd : public ProgramEnd {
public:
    void endProgram(int exitCode) override { exitCodes.push_back(exitCode); }
    std::vector<int> exitCodes;
};

class FakeErrorReport : public ErrorReport {
public:
    void report(const PlatformError& error) override { reported.push_back(error); }
    std::vector<PlatformError> reported;
};

class FakeMainWindow : public MainWindowView {
public:
    explicit FakeMainWindow(std::wstring text = L"") : text(std::move(text)) {}
    std::wstring portText() const override { return text; }
    void showCurrentPort(const std::wstring& port) override;
    void showCreditLine(const std::wstring& line) override;
    void showNotice(const std::wstring& notice) override;

    std::wstring text;
    std::optional<std::wstring> currentPort, creditLine, notice;
    std::vector<std::wstring> shownOrder; // "current port", "credit line", "notice" as shown
};

// Records the events it is given; can be told to fail reading the account or writing.
class FakeAuditLog : public AuditLog {
public:
    AuditAccount account() override {
        if (accountError) {
            throw *accountError;
        }
        return user;
    }
    void report(const AuditEntry& entry) override {
        if (reportError) {
            throw *reportError;
        }
        reported.push_back(entry);
    }

    AuditAccount user{L"SERVER\\admin", L"S-1-5-21-1004336348-1177238915-682003330-500"};
    std::optional<PlatformError> accountError, reportError;
    std::vector<AuditEntry> reported;
};

// Every fake, bundled as the platform the logic works through.
struct FakePlatform {
    FakeRegistry registry;
    FakeMessageBoxService messages;
    FakeLauncher launcher;
    FakeDocumentOpener documents;
    FakeProgramFolder folder;
    FakeProgramEnd end;
    FakeErrorReport errors;
    FakeFirewall firewall;
    FakePortProbe ports;
    FakeChangeLock changeLock;
    FakeClock clock;
    FakeServices services{clock};
    FakeResultLog resultLog;
    FakeAuditLog audit;
    FakeJournal journal;
    FakeWatcher watcher;

    FakeSystemInfo info{registry};

    Platform platform{{registry, launcher, firewall, ports, changeLock, services, clock, resultLog,
                       info, audit, journal, watcher},
                      messages,
                      documents,
                      folder,
                      end,
                      errors};

    FakePlatform() {
        // The listener's ports come from the port probe and the table the test fills in.
        services.listenerSeen = false;
        registry.isLocked = [this] {
            return changeLock.held();
        };
    }
};

} // namespace velkora::test
