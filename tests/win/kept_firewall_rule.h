#pragma once

#include <windows.h>
#include <netfw.h>

#include <set>
#include <string>

namespace velkora::test {

// One firewall rule that keeps its properties and holds to the documented order: local ports
// only for TCP and UDP, and no change to a protocol without ports while ports are set (both
// E_INVALIDARG). A property named in `refused` fails with E_ACCESSDENIED. Lives on the stack
// of its test: reference counting is not used.
class KeptFirewallRule final : public INetFwRule {
public:
    std::wstring name, description, grouping, localPorts, remoteAddresses = L"*";
    std::wstring applicationName, serviceName;
    LONG protocol = NET_FW_IP_PROTOCOL_TCP;
    LONG profiles = NET_FW_PROFILE2_ALL;
    NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_IN;
    NET_FW_ACTION action = NET_FW_ACTION_ALLOW;
    VARIANT_BOOL enabled = VARIANT_TRUE;
    std::set<std::wstring> refused;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

#define VELKORA_TEXT(Property, field)                                                              \
    HRESULT STDMETHODCALLTYPE get_##Property(BSTR* out) override {                                 \
        *out = SysAllocString(field.c_str());                                                      \
        return S_OK;                                                                               \
    }                                                                                              \
    HRESULT STDMETHODCALLTYPE put_##Property(BSTR value) override {                                \
        if (refused.count(L## #Property)) {                                                        \
            return E_ACCESSDENIED;                                                                 \
        }                                                                                          \
        field = value ? value : L"";                                                               \
        return S_OK;                                                                               \
    }
#define VELKORA_VALUE(Property, Type, field)                                                       \
    HRESULT STDMETHODCALLTYPE get_##Property(Type* out) override {                                 \
        *out = field;                                                                              \
        return S_OK;                                                                               \
    }                                                                                              \
    HRESULT STDMETHODCALLTYPE put_##Property(Type value) override {                                \
        if (refused.count(L## #Property)) {                                                        \
            return E_ACCESSDENIED;                                                                 \
        }                                                                                          \
        field = value;                                                                             \
        return S_OK;                                                                               \
    }
#define VELKORA_UNUSED(Property, Type)                                                             \
    HRESULT STDMETHODCALLTYPE get_##Property(Type*) override {                                     \
        return E_NOTIMPL;                                                                          \
    }                                                                                              \
    HRESULT STDMETHODCALLTYPE put_##Property(Type) override {                                      \
        return E_NOTIMPL;                                                                          \
    }

    VELKORA_TEXT(Name, name)
    VELKORA_TEXT(Description, description)
    VELKORA_TEXT(Grouping, grouping)
    VELKORA_TEXT(RemoteAddresses, remoteAddresses)
    VELKORA_TEXT(ApplicationName, applicationName)
    VELKORA_TEXT(ServiceName, serviceName)
    VELKORA_VALUE(Direction, NET_FW_RULE_DIRECTION, direction)
    VELKORA_VALUE(Action, NET_FW_ACTION, action)
    VELKORA_VALUE(Profiles, LONG, profiles)
    VELKORA_VALUE(Enabled, VARIANT_BOOL, enabled)
    VELKORA_UNUSED(RemotePorts, BSTR)
    VELKORA_UNUSED(LocalAddresses, BSTR)
    VELKORA_UNUSED(IcmpTypesAndCodes, BSTR)
    VELKORA_UNUSED(Interfaces, VARIANT)
    VELKORA_UNUSED(InterfaceTypes, BSTR)
    VELKORA_UNUSED(EdgeTraversal, VARIANT_BOOL)
#undef VELKORA_TEXT
#undef VELKORA_VALUE
#undef VELKORA_UNUSED

    HRESULT STDMETHODCALLTYPE get_Protocol(LONG* out) override {
        *out = protocol;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Protocol(LONG value) override {
        if (refused.count(L"Protocol")) {
            return E_ACCESSDENIED;
        }
        if (!hasPorts(value) && !localPorts.empty()) {
            return E_INVALIDARG;
        }
        protocol = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_LocalPorts(BSTR* out) override {
        *out = SysAllocString(localPorts.c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_LocalPorts(BSTR value) override {
        if (refused.count(L"LocalPorts")) {
            return E_ACCESSDENIED;
        }
        const std::wstring ports = value ? value : L"";
        if (!ports.empty() && !hasPorts(protocol)) {
            return E_INVALIDARG;
        }
        localPorts = ports;
        return S_OK;
    }

private:
    static bool hasPorts(LONG p) {
        return p == NET_FW_IP_PROTOCOL_TCP || p == NET_FW_IP_PROTOCOL_UDP;
    }
};

} // namespace velkora::test
