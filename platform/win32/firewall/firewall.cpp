#include "platform/win32/firewall/firewall.h"

#include <windows.h>
#include <netfw.h>

#include "platform/win32/runtime/com_apartment.h"
#include "platform/win32/runtime/com_ids.h"
#include "platform/win32/runtime/unique_handles.h"
#include "platform/win32/runtime/win32_error.h"
#include "platform/win32/services/service_manager.h"

namespace velkora::win32 {
namespace {

UniqueBstr makeBstr(const std::wstring& text) {
    UniqueBstr bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    if (!bstr) {
        throw hresultError(ErrorNumber::OutOfMemoryResult, L"SysAllocStringLen");
    }
    return bstr;
}

// No text unbinds a rule from its program or service, as the firewall gives it for an unbound one.
UniqueBstr bstrOrNull(const std::wstring& text) {
    return text.empty() ? UniqueBstr() : makeBstr(text);
}

// A BSTR result: null stands for the empty text.
std::wstring takeBstr(BSTR text) {
    UniqueBstr owner(text);
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

ComPtr<INetFwRules> openRules() {
    ComPtr<INetFwPolicy2> policy;
    checkHr(CoCreateInstance(clsidNetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER, iidINetFwPolicy2,
                             policy.putVoid()),
            L"CoCreateInstance", L"NetFwPolicy2");
    ComPtr<INetFwRules> rules;
    checkHr(policy->get_Rules(rules.put()), L"INetFwPolicy2::get_Rules");
    if (!rules) {
        throw hresultError(ErrorNumber::PointerResult, L"INetFwPolicy2::get_Rules");
    }
    return rules;
}

// The rule of that name, or nothing when the collection has none.
ComPtr<INetFwRule> itemNamed(INetFwRules& rules, const std::wstring& name) {
    ComPtr<INetFwRule> rule;
    const HRESULT hr = rules.Item(makeBstr(name).get(), rule.put());
    if (hr == ErrorNumber::FileNotFoundResult) {
        return {};
    }
    checkHr(hr, L"INetFwRules::Item", name);
    return rule;
}

std::wstring readText(INetFwRule& rule, HRESULT (STDMETHODCALLTYPE INetFwRule::*getter)(BSTR*),
                      const wchar_t* function) {
    BSTR text = nullptr;
    const HRESULT hr = (rule.*getter)(&text);
    std::wstring result = takeBstr(text);
    checkHr(hr, function);
    return result;
}

// A property of the rule that is not a text; `initial` stands if the getter writes nothing.
template <typename Value>
Value readProperty(INetFwRule& rule, HRESULT (STDMETHODCALLTYPE INetFwRule::*getter)(Value*),
                   Value initial, const wchar_t* function) {
    Value value = initial;
    checkHr((rule.*getter)(&value), function);
    return value;
}

FirewallRule readRule(INetFwRule& rule) {
    FirewallRule fields;
    fields.name = readText(rule, &INetFwRule::get_Name, L"INetFwRule::get_Name");
    fields.description =
        readText(rule, &INetFwRule::get_Description, L"INetFwRule::get_Description");
    fields.grouping = readText(rule, &INetFwRule::get_Grouping, L"INetFwRule::get_Grouping");
    fields.applicationName =
        readText(rule, &INetFwRule::get_ApplicationName, L"INetFwRule::get_ApplicationName");
    fields.serviceName =
        readText(rule, &INetFwRule::get_ServiceName, L"INetFwRule::get_ServiceName");
    fields.protocol =
        readProperty(rule, &INetFwRule::get_Protocol, LONG{0}, L"INetFwRule::get_Protocol");
    fields.localPorts = readText(rule, &INetFwRule::get_LocalPorts, L"INetFwRule::get_LocalPorts");
    fields.direction = readProperty(rule, &INetFwRule::get_Direction, NET_FW_RULE_DIR_IN,
                                    L"INetFwRule::get_Direction");
    fields.action =
        readProperty(rule, &INetFwRule::get_Action, NET_FW_ACTION_BLOCK, L"INetFwRule::get_Action");
    fields.profiles =
        readProperty(rule, &INetFwRule::get_Profiles, long{0}, L"INetFwRule::get_Profiles");
    fields.remoteAddresses =
        readText(rule, &INetFwRule::get_RemoteAddresses, L"INetFwRule::get_RemoteAddresses");
    fields.enabled = readProperty(rule, &INetFwRule::get_Enabled, VARIANT_BOOL{VARIANT_FALSE},
                                  L"INetFwRule::get_Enabled") != VARIANT_FALSE;
    return fields;
}

bool protocolHasPorts(long protocol) {
    return protocol == NET_FW_IP_PROTOCOL_TCP || protocol == NET_FW_IP_PROTOCOL_UDP;
}

} // namespace

void writeRuleFields(INetFwRule& rule, const FirewallRule& fields) {
    HRESULT firstFailure = S_OK;
    const wchar_t* failedCall = L"";
    const auto attempt = [&](const wchar_t* call, HRESULT hr) {
        if (FAILED(hr) && SUCCEEDED(firstFailure)) {
            firstFailure = hr;
            failedCall = call;
        }
    };
    attempt(L"INetFwRule::put_Description",
            rule.put_Description(makeBstr(fields.description).get()));
    attempt(L"INetFwRule::put_Grouping", rule.put_Grouping(makeBstr(fields.grouping).get()));
    attempt(L"INetFwRule::put_ApplicationName",
            rule.put_ApplicationName(bstrOrNull(fields.applicationName).get()));
    attempt(L"INetFwRule::put_ServiceName",
            rule.put_ServiceName(bstrOrNull(fields.serviceName).get()));
    LONG protocol = 0;
    if (FAILED(rule.get_Protocol(&protocol)) || protocol != fields.protocol) {
        attempt(L"INetFwRule::put_LocalPorts", rule.put_LocalPorts(nullptr));
    }
    attempt(L"INetFwRule::put_Protocol", rule.put_Protocol(fields.protocol));
    if (protocolHasPorts(fields.protocol)) {
        attempt(L"INetFwRule::put_LocalPorts",
                rule.put_LocalPorts(makeBstr(fields.localPorts).get()));
    }
    attempt(L"INetFwRule::put_Direction",
            rule.put_Direction(static_cast<NET_FW_RULE_DIRECTION>(fields.direction)));
    attempt(L"INetFwRule::put_Action", rule.put_Action(static_cast<NET_FW_ACTION>(fields.action)));
    attempt(L"INetFwRule::put_Profiles", rule.put_Profiles(fields.profiles));
    attempt(L"INetFwRule::put_RemoteAddresses",
            rule.put_RemoteAddresses(makeBstr(fields.remoteAddresses).get()));
    attempt(L"INetFwRule::put_Enabled",
            rule.put_Enabled(fields.enabled ? VARIANT_TRUE : VARIANT_FALSE));
    checkHr(firstFailure, failedCall, fields.name);
}

bool firewallServiceActive() {
    SERVICE_STATUS_PROCESS status{};
    try {
        status = queryStatus(openService(L"MpsSvc", SERVICE_QUERY_STATUS).get());
    } catch (const PlatformError& failure) {
        if (failure.number() == ERROR_SERVICE_DOES_NOT_EXIST) {
            return false;
        }
        throw;
    }
    // A service on its way up will filter in a moment, so only a stopped one counts as off.
    return status.dwCurrentState != SERVICE_STOPPED;
}

bool NetFwFirewall::available() {
    {
        ComApartment com;
        ComPtr<INetFwPolicy2> policy;
        const HRESULT hr = CoCreateInstance(clsidNetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER,
                                            iidINetFwPolicy2, policy.putVoid());
        if (hr == REGDB_E_CLASSNOTREG) {
            return false; // a system older than the modern firewall
        }
        checkHr(hr, L"CoCreateInstance", L"NetFwPolicy2");
    }
    return firewallServiceActive();
}

std::optional<FirewallRule> NetFwFirewall::find(const std::wstring& name) {
    ComApartment com;
    ComPtr<INetFwRules> rules = openRules();
    ComPtr<INetFwRule> rule = itemNamed(*rules.get(), name);
    if (!rule) {
        return std::nullopt;
    }
    return readRule(*rule.get());
}

namespace {

// Calls visit with each rule of the collection, in its order, until visit returns true.
template <typename Visit> void visitRules(INetFwRules& rules, Visit visit) {
    ComPtr<IUnknown> enumerable;
    checkHr(rules.get__NewEnum(enumerable.put()), L"INetFwRules::get__NewEnum");
    if (!enumerable) {
        throw hresultError(ErrorNumber::PointerResult, L"INetFwRules::get__NewEnum");
    }
    ComPtr<IEnumVARIANT> items;
    checkHr(enumerable->QueryInterface(iidIEnumVARIANT, items.putVoid()),
            L"IUnknown::QueryInterface", L"IEnumVARIANT");
    for (;;) {
        VARIANT item;
        VariantInit(&item);
        ULONG fetched = 0;
        const HRESULT hr = items->Next(1, &item, &fetched);
        if (hr == S_FALSE || fetched == 0) {
            VariantClear(&item);
            checkHr(hr, L"IEnumVARIANT::Next");
            return;
        }
        ComPtr<INetFwRule> rule;
        const HRESULT asRule = item.vt == VT_DISPATCH && item.pdispVal
                                   ? item.pdispVal->QueryInterface(iidINetFwRule, rule.putVoid())
                                   : E_NOINTERFACE;
        VariantClear(&item);
        checkHr(asRule, L"IDispatch::QueryInterface", L"INetFwRule");
        if (visit(*rule.get())) {
            return;
        }
    }
}

void addRule(INetFwRules& rules, const FirewallRule& fields) {
    ComPtr<INetFwRule> rule;
    checkHr(CoCreateInstance(clsidNetFwRule, nullptr, CLSCTX_INPROC_SERVER, iidINetFwRule,
                             rule.putVoid()),
            L"CoCreateInstance", L"NetFwRule");
    checkHr(rule->put_Name(makeBstr(fields.name).get()), L"INetFwRule::put_Name", fields.name);
    writeRuleFields(*rule.get(), fields);
    checkHr(rules.Add(rule.get()), L"INetFwRules::Add", fields.name);
}

// The first rule whose every field is as given.
ComPtr<INetFwRule> firstMatching(INetFwRules& rules, const FirewallRule& wanted) {
    ComPtr<INetFwRule> found;
    visitRules(rules, [&](INetFwRule& rule) {
        if (!(readRule(rule) == wanted)) {
            return false;
        }
        rule.AddRef();
        *found.put() = &rule;
        return true;
    });
    return found;
}

} // namespace

void NetFwFirewall::put(const FirewallRule& fields) {
    ComApartment com;
    ComPtr<INetFwRules> rules = openRules();
    if (ComPtr<INetFwRule> existing = itemNamed(*rules.get(), fields.name)) {
        writeRuleFields(*existing.get(), fields);
        return;
    }
    addRule(*rules.get(), fields);
}

void NetFwFirewall::remove(const std::wstring& name) {
    ComApartment com;
    ComPtr<INetFwRules> rules = openRules();
    const HRESULT hr = rules->Remove(makeBstr(name).get());
    if (hr != ErrorNumber::FileNotFoundResult) {
        checkHr(hr, L"INetFwRules::Remove", name); // a rule already gone is what was asked for
    }
}

std::vector<FirewallRule> NetFwFirewall::allRules() {
    ComApartment com;
    ComPtr<INetFwRules> rules = openRules();
    std::vector<FirewallRule> all;
    visitRules(*rules.get(), [&](INetFwRule& rule) {
        all.push_back(readRule(rule));
        return false;
    });
    return all;
}

bool NetFwFirewall::removeMatching(const FirewallRule& wanted) {
    ComApartment com;
    ComPtr<INetFwRules> rules = openRules();
    ComPtr<INetFwRule> match = firstMatching(*rules.get(), wanted);
    if (!match) {
        return false;
    }
    // The collection removes by name, the first of it: a rule behind others of its name is
    // given a name of its own first, and its name back if the removal is refused.
    ComPtr<INetFwRule> first = itemNamed(*rules.get(), wanted.name);
    std::wstring name = wanted.name;
    if (!first || !(readRule(*first.get()) == wanted)) {
        name = wanted.name + L" (Velkora " + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(GetTickCount64()) + L")";
        checkHr(match->put_Name(makeBstr(name).get()), L"INetFwRule::put_Name", name);
    }
    const HRESULT hr = rules->Remove(makeBstr(name).get());
    if (FAILED(hr) && name != wanted.name) {
        match->put_Name(makeBstr(wanted.name).get());
    }
    checkHr(hr, L"INetFwRules::Remove", name);
    return true;
}

bool NetFwFirewall::setEnabledMatching(const FirewallRule& wanted, bool enabled) {
    ComApartment com;
    ComPtr<INetFwRules> rules = openRules();
    ComPtr<INetFwRule> match = firstMatching(*rules.get(), wanted);
    if (!match) {
        return false;
    }
    checkHr(match->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE), L"INetFwRule::put_Enabled",
            wanted.name);
    return true;
}

void NetFwFirewall::add(const FirewallRule& fields) {
    ComApartment com;
    addRule(*openRules().get(), fields);
}

void NetFwFirewall::setEnabled(const std::wstring& name, bool enabled) {
    ComApartment com;
    ComPtr<INetFwRules> rules = openRules();
    ComPtr<INetFwRule> rule = itemNamed(*rules.get(), name);
    if (!rule) {
        throw hresultError(ErrorNumber::FileNotFoundResult, L"INetFwRules::Item", name);
    }
    checkHr(rule->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE), L"INetFwRule::put_Enabled",
            name);
}

} // namespace velkora::win32
