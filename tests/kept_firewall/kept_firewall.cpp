// A Windows Firewall for the tests: an in-process COM server for CLSID_NetFwPolicy2 and
// CLSID_NetFwRule that keeps its rules in the registry of the test prefix, so that every
// process of the prefix sees the same rules, and holds to the documented behaviour of
// INetFwPolicy2, INetFwRules and INetFwRule where the tool relies on it. Never shipped.
#include <windows.h>
#include <initguid.h>
#include <netfw.h>
#include <oleauto.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/win32/runtime/com_ids.h"
#include "tests/kept_firewall/kept_firewall_store.h"

namespace {

using namespace velkora::test::kept_firewall;

LONG liveObjects = 0;

// Every call of the firewall's interfaces passes here first; see denyAfterCallsValue.
HRESULT passGate() {
    const RegistryKey store(storeKey);
    DWORD left = 0;
    DWORD size = sizeof left;
    if (!store.open() || RegQueryValueExW(store.get(), denyAfterCallsValue, nullptr, nullptr,
                                          reinterpret_cast<BYTE*>(&left), &size) != ERROR_SUCCESS) {
        return S_OK;
    }
    if (left == 0) {
        RegDeleteValueW(store.get(), denyAfterCallsValue);
        return E_ACCESSDENIED;
    }
    --left;
    RegSetValueExW(store.get(), denyAfterCallsValue, 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&left), sizeof left);
    return S_OK;
}

// The first stored rule of that name; rule names are not unique.
std::wstring firstRuleNamed(const std::wstring& name) {
    for (const std::wstring& id : ruleIds()) {
        RuleFields fields;
        if (loadRule(id, fields) == ERROR_SUCCESS && fields.texts[L"Name"] == name) {
            return id;
        }
    }
    return {};
}

// The macro HRESULT_FROM_WIN32 evaluates its argument twice: never give it a call.
HRESULT hresultOf(LSTATUS status) {
    return HRESULT_FROM_WIN32(status);
}

bool protocolHasPorts(DWORD protocol) {
    return protocol == NET_FW_IP_PROTOCOL_TCP || protocol == NET_FW_IP_PROTOCOL_UDP;
}

bool isPortNumber(const std::wstring& text) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
        return false;
    }
    const unsigned long port = std::wcstoul(text.c_str(), nullptr, 10);
    return port >= 1 && port <= 65535;
}

bool sameLetters(const std::wstring& a, const wchar_t* b) {
    return CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

// A port text as the firewall takes it: "*" alone, or a list of ports (1-65535), ascending
// ranges ("5000-5010") and the firewall's keywords, separated by commas without spaces.
bool validPorts(const std::wstring& text) {
    if (text == L"*") {
        return true;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(L',', start);
        const std::wstring item = text.substr(start, comma - start);
        const std::size_t dash = item.find(L'-');
        bool valid = sameLetters(item, L"RPC") || sameLetters(item, L"RPC-EPMap") ||
                     sameLetters(item, L"IPHTTPS") || sameLetters(item, L"Teredo");
        if (!valid && dash == std::wstring::npos) {
            valid = isPortNumber(item);
        } else if (!valid) {
            const std::wstring first = item.substr(0, dash);
            const std::wstring last = item.substr(dash + 1);
            valid =
                isPortNumber(first) && isPortNumber(last) && std::stoul(first) <= std::stoul(last);
        }
        if (!valid) {
            return false;
        }
        if (comma == std::wstring::npos) {
            return true;
        }
        start = comma + 1;
    }
}

// An address list: "*" is only valid as the whole list.
bool validAddresses(const std::wstring& text) {
    return !text.empty() && (text == L"*" || text.find(L'*') == std::wstring::npos);
}

bool validProfiles(DWORD profiles) {
    return profiles == static_cast<DWORD>(NET_FW_PROFILE2_ALL) ||
           (profiles != 0 && (profiles & ~DWORD{7}) == 0);
}

template <typename Interface> class ComObject : public Interface {
public:
    ComObject() { InterlockedIncrement(&liveObjects); }
    virtual ~ComObject() { InterlockedDecrement(&liveObjects); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            delete this;
        }
        return left;
    }

protected:
    HRESULT answer(REFIID iid, const IID& own, void** out) {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, own) ||
            (std::is_base_of_v<IDispatch, Interface> && IsEqualIID(iid, IID_IDispatch))) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }

private:
    LONG references_ = 1;
};

// IDispatch is not offered: the tool calls the interfaces directly.
template <typename Interface> class DualObject : public ComObject<Interface> {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
};

BSTR textResult(const std::wstring& text) {
    // The firewall gives no text, not an empty one, for a property that is not set.
    return text.empty() ? nullptr : SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// One rule: a new one holds its properties itself; one in the collection (id set) reads and
// writes the store, as a rule of the real firewall does.
class Rule final : public DualObject<INetFwRule> {
public:
    Rule() = default;
    explicit Rule(std::wstring id) : id_(std::move(id)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return answer(iid, IID_INetFwRule, out);
    }

    // Puts this rule into the store as a new rule and makes it one of the collection's.
    HRESULT addToStore() {
        RuleFields& fields = current();
        std::wstring id;
        LSTATUS status = newRuleId(id);
        if (status == ERROR_SUCCESS) {
            status = saveRule(id, fields);
        }
        if (status != ERROR_SUCCESS) {
            return hresultOf(status);
        }
        id_ = id;
        return S_OK;
    }

#define VELKORA_TEXT_PROPERTY(Property, check)                                                     \
    HRESULT STDMETHODCALLTYPE get_##Property(BSTR* out) override {                                 \
        return getText(L## #Property, out);                                                        \
    }                                                                                              \
    HRESULT STDMETHODCALLTYPE put_##Property(BSTR value) override {                                \
        return putText(L## #Property, value, check);                                               \
    }
#define VELKORA_NUMBER_PROPERTY(Property, Type, check)                                             \
    HRESULT STDMETHODCALLTYPE get_##Property(Type* out) override {                                 \
        DWORD number = 0;                                                                          \
        const HRESULT hr = getNumber(L## #Property, number);                                       \
        *out = static_cast<Type>(number);                                                          \
        return hr;                                                                                 \
    }                                                                                              \
    HRESULT STDMETHODCALLTYPE put_##Property(Type value) override {                                \
        return putNumber(L## #Property, static_cast<DWORD>(value), check);                         \
    }

    VELKORA_TEXT_PROPERTY(Name, anyText)
    VELKORA_TEXT_PROPERTY(Description, anyText)
    VELKORA_TEXT_PROPERTY(ApplicationName, anyText)
    VELKORA_TEXT_PROPERTY(ServiceName, anyText)
    VELKORA_TEXT_PROPERTY(RemotePorts, anyText)
    VELKORA_TEXT_PROPERTY(LocalAddresses, validAddresses)
    VELKORA_TEXT_PROPERTY(RemoteAddresses, validAddresses)
    VELKORA_TEXT_PROPERTY(IcmpTypesAndCodes, anyText)
    VELKORA_TEXT_PROPERTY(InterfaceTypes, anyText)
    VELKORA_TEXT_PROPERTY(Grouping, anyText)
    VELKORA_NUMBER_PROPERTY(Direction, NET_FW_RULE_DIRECTION, [](DWORD d) {
        return d == NET_FW_RULE_DIR_IN || d == NET_FW_RULE_DIR_OUT;
    })
    VELKORA_NUMBER_PROPERTY(Action, NET_FW_ACTION, [](DWORD a) {
        return a == NET_FW_ACTION_BLOCK || a == NET_FW_ACTION_ALLOW;
    })
    VELKORA_NUMBER_PROPERTY(Profiles, LONG, validProfiles)
    VELKORA_NUMBER_PROPERTY(EdgeTraversal, VARIANT_BOOL, anyNumber)
#undef VELKORA_TEXT_PROPERTY
#undef VELKORA_NUMBER_PROPERTY

    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* out) override {
        DWORD enabled = 0;
        const HRESULT hr = getNumber(L"Enabled", enabled);
        *out = enabled ? VARIANT_TRUE : VARIANT_FALSE;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL value) override {
        return putNumber(L"Enabled", value != VARIANT_FALSE, anyNumber);
    }

    HRESULT STDMETHODCALLTYPE get_Protocol(LONG* out) override {
        DWORD protocol = 0;
        const HRESULT hr = getNumber(L"Protocol", protocol);
        *out = static_cast<LONG>(protocol);
        return hr;
    }
    // Ports belong to TCP and UDP: a protocol without them is refused while ports are set.
    HRESULT STDMETHODCALLTYPE put_Protocol(LONG value) override {
        const RuleFields& fields = current();
        const bool portsSet =
            !fields.texts.at(L"LocalPorts").empty() || !fields.texts.at(L"RemotePorts").empty();
        return putNumber(L"Protocol", static_cast<DWORD>(value), [&](DWORD protocol) {
            return protocol <= anyProtocol && (protocolHasPorts(protocol) || !portsSet);
        });
    }

    HRESULT STDMETHODCALLTYPE get_LocalPorts(BSTR* out) override {
        return getText(L"LocalPorts", out);
    }
    // The protocol must be TCP or UDP before ports are set.
    HRESULT STDMETHODCALLTYPE put_LocalPorts(BSTR value) override {
        const DWORD protocol = current().numbers.at(L"Protocol");
        return putText(L"LocalPorts", value, [&](const std::wstring& ports) {
            return ports.empty() || (protocolHasPorts(protocol) && validPorts(ports));
        });
    }

    HRESULT STDMETHODCALLTYPE get_Interfaces(VARIANT*) override {
        return gatedNotImplemented();
    }
    HRESULT STDMETHODCALLTYPE put_Interfaces(VARIANT) override {
        return gatedNotImplemented();
    }

private:
    static bool anyText(const std::wstring&) {
        return true;
    }
    static bool anyNumber(DWORD) {
        return true;
    }

    RuleFields& current() {
        if (!id_.empty()) {
            loadRule(id_, fields_);
        }
        return fields_;
    }

    HRESULT save() {
        return id_.empty() ? S_OK : hresultOf(saveRule(id_, fields_));
    }

    static HRESULT gatedNotImplemented() {
        const HRESULT hr = passGate();
        return FAILED(hr) ? hr : E_NOTIMPL;
    }

    HRESULT getText(const wchar_t* property, BSTR* out) {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        const HRESULT hr = passGate();
        if (FAILED(hr)) {
            return hr;
        }
        *out = textResult(current().texts.at(property));
        return S_OK;
    }

    template <typename Check> HRESULT putText(const wchar_t* property, BSTR value, Check check) {
        const HRESULT hr = passGate();
        if (FAILED(hr)) {
            return hr;
        }
        const std::wstring text = value ? std::wstring(value, SysStringLen(value)) : L"";
        RuleFields& fields = current();
        if (!check(text)) {
            return E_INVALIDARG;
        }
        fields.texts[property] = text;
        return save();
    }

    HRESULT getNumber(const wchar_t* property, DWORD& out) {
        const HRESULT hr = passGate();
        if (SUCCEEDED(hr)) {
            out = current().numbers.at(property);
        }
        return hr;
    }

    template <typename Check> HRESULT putNumber(const wchar_t* property, DWORD value, Check check) {
        const HRESULT hr = passGate();
        if (FAILED(hr)) {
            return hr;
        }
        RuleFields& fields = current();
        if (!check(value)) {
            return E_INVALIDARG;
        }
        fields.numbers[property] = value;
        return save();
    }

    RuleFields fields_;
    std::wstring id_;
};

class RuleEnumerator final : public ComObject<IEnumVARIANT> {
public:
    explicit RuleEnumerator(std::vector<std::wstring> ids, std::size_t next = 0)
        : ids_(std::move(ids)), next_(next) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return answer(iid, IID_IEnumVARIANT, out);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override {
        ULONG given = 0;
        for (; given < count && next_ < ids_.size(); ++given, ++next_) {
            VariantInit(&items[given]);
            items[given].vt = VT_DISPATCH;
            items[given].pdispVal = new Rule(ids_[next_]);
        }
        if (fetched != nullptr) {
            *fetched = given;
        }
        return given == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        next_ = std::min(ids_.size(), next_ + count);
        return next_ < ids_.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
        *out = new RuleEnumerator(ids_, next_);
        return S_OK;
    }

private:
    std::vector<std::wstring> ids_;
    std::size_t next_;
};

class Rules final : public DualObject<INetFwRules> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return answer(iid, IID_INetFwRules, out);
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
        const HRESULT hr = passGate();
        *count = SUCCEEDED(hr) ? static_cast<LONG>(ruleIds().size()) : 0;
        return hr;
    }
    // A second rule of an existing name is added as a rule of its own.
    HRESULT STDMETHODCALLTYPE Add(INetFwRule* rule) override {
        const HRESULT hr = passGate();
        if (FAILED(hr)) {
            return hr;
        }
        Rule* ours = dynamic_cast<Rule*>(rule);
        return ours ? ours->addToStore() : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE Remove(BSTR name) override {
        const HRESULT hr = passGate();
        if (FAILED(hr)) {
            return hr;
        }
        const std::wstring id = firstRuleNamed(name ? name : L"");
        if (id.empty()) {
            return S_OK;
        }
        return hresultOf(RegDeleteKeyW(HKEY_LOCAL_MACHINE, ruleKeyPath(id).c_str()));
    }
    HRESULT STDMETHODCALLTYPE Item(BSTR name, INetFwRule** rule) override {
        *rule = nullptr;
        const HRESULT hr = passGate();
        if (FAILED(hr)) {
            return hr;
        }
        const std::wstring id = firstRuleNamed(name ? name : L"");
        if (id.empty()) {
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        }
        *rule = new Rule(id);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** out) override {
        *out = nullptr;
        const HRESULT hr = passGate();
        if (SUCCEEDED(hr)) {
            *out = new RuleEnumerator(ruleIds());
        }
        return hr;
    }
};

// Only the rules are kept; the profile-wide settings are not part of these tests.
class Policy final : public DualObject<INetFwPolicy2> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return answer(iid, IID_INetFwPolicy2, out);
    }
    HRESULT STDMETHODCALLTYPE get_Rules(INetFwRules** rules) override {
        *rules = nullptr;
        const HRESULT hr = passGate();
        if (SUCCEEDED(hr)) {
            *rules = new Rules;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE get_CurrentProfileTypes(LONG* profile) override {
        *profile = NET_FW_PROFILE2_PRIVATE;
        return passGate();
    }
    HRESULT STDMETHODCALLTYPE get_FirewallEnabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE put_FirewallEnabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_ExcludedInterfaces(NET_FW_PROFILE_TYPE2, VARIANT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE put_ExcludedInterfaces(NET_FW_PROFILE_TYPE2, VARIANT) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_BlockAllInboundTraffic(NET_FW_PROFILE_TYPE2,
                                                         VARIANT_BOOL*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE put_BlockAllInboundTraffic(NET_FW_PROFILE_TYPE2,
                                                         VARIANT_BOOL) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_NotificationsDisabled(NET_FW_PROFILE_TYPE2,
                                                        VARIANT_BOOL*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE put_NotificationsDisabled(NET_FW_PROFILE_TYPE2,
                                                        VARIANT_BOOL) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE
    get_UnicastResponsesToMulticastBroadcastDisabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE
    put_UnicastResponsesToMulticastBroadcastDisabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_ServiceRestriction(INetFwServiceRestriction**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EnableRuleGroup(LONG, BSTR, VARIANT_BOOL) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE IsRuleGroupEnabled(LONG, BSTR, VARIANT_BOOL*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RestoreLocalFirewallDefaults() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_DefaultInboundAction(NET_FW_PROFILE_TYPE2,
                                                       NET_FW_ACTION*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE put_DefaultInboundAction(NET_FW_PROFILE_TYPE2,
                                                       NET_FW_ACTION) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_DefaultOutboundAction(NET_FW_PROFILE_TYPE2,
                                                        NET_FW_ACTION*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE put_DefaultOutboundAction(NET_FW_PROFILE_TYPE2,
                                                        NET_FW_ACTION) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_IsRuleGroupCurrentlyEnabled(BSTR, VARIANT_BOOL*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_LocalPolicyModifyState(NET_FW_MODIFY_STATE*) override {
        return E_NOTIMPL;
    }
};

class Factory final : public ComObject<IClassFactory> {
public:
    explicit Factory(bool makesPolicies) : makesPolicies_(makesPolicies) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return answer(iid, IID_IClassFactory, out);
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        *out = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        IUnknown* object =
            makesPolicies_ ? static_cast<IUnknown*>(new Policy) : static_cast<IUnknown*>(new Rule);
        const HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? InterlockedIncrement(&liveObjects) : InterlockedDecrement(&liveObjects);
        return S_OK;
    }

private:
    bool makesPolicies_;
};

} // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    *out = nullptr;
    const bool policy = IsEqualCLSID(clsid, velkora::win32::clsidNetFwPolicy2);
    if (!policy && !IsEqualCLSID(clsid, velkora::win32::clsidNetFwRule)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    Factory* factory = new Factory(policy);
    const HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return liveObjects == 0 ? S_OK : S_FALSE;
}
