#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "logic/audit_events.h"
#include "platform/win32/runtime/unique_handles.h"
#include "tests/win/test_support.h"

namespace velkora::test {
namespace {

// The first line of each event's text, with the record below put in.
struct Headline {
    AuditEvent event;
    const wchar_t* english;
    const wchar_t* chinese;
};
const Headline headlines[] = {
    {AuditEvent::Applied, L"The Remote Desktop port was changed from 3389 to 3390.",
     L"远程桌面端口已从 3389 改为 3390。"},
    {AuditEvent::Confirmed,
     L"The Remote Desktop port change from 3389 to 3390 is confirmed: the Remote Desktop "
     L"service listens on port 3390.",
     L"远程桌面端口从 3389 改为 3390 已确认：远程桌面服务已在端口 3390 上监听。"},
    {AuditEvent::RolledBackByCommand,
     L"The Remote Desktop port change from 3389 to 3390 was put back on request: the port is "
     L"3389 again.",
     L"远程桌面端口从 3389 改为 3390 的修改已按要求撤销，已恢复原端口 3389。"},
    {AuditEvent::RolledBackAtDeadline,
     L"The Remote Desktop port change from 3389 to 3390 was put back: the Remote Desktop "
     L"service did not listen on port 3390 in time. The port is 3389 again.",
     L"远程桌面服务未在限定时间内于端口 3390 上监听，端口从 3389 改为 3390 "
     L"的修改已撤销，已恢复原端口 3389。"},
    {AuditEvent::RolledBackAfterFailure,
     L"The Remote Desktop port change from 3389 to 3390 failed and was put back: the port is "
     L"3389 again.",
     L"远程桌面端口从 3389 改为 3390 失败，修改已撤销，已恢复原端口 3389。"},
    {AuditEvent::PutBackFailed,
     L"The Remote Desktop port change from 3389 to 3390 failed, and putting it back failed "
     L"too: something is left changed. Check the port values of Remote Desktop and the "
     L"firewall rules.",
     L"远程桌面端口从 3389 改为 3390 "
     L"失败，且修改未能全部恢复，请检查远程桌面的端口值和防火墙规则。"},
    {AuditEvent::RefusedByLockoutGuard,
     L"The Remote Desktop port was not changed from 3389 to 3390: port 3390 is in use or "
     L"reserved by the system. Nothing was written.",
     L"远程桌面端口未从 3389 改为 3390：端口 3390 已被占用或位于系统保留的范围内，"
     L"未写入任何内容。"},
    {AuditEvent::UnconfirmedAtDeadline,
     L"The Remote Desktop port change from 3389 to 3390 was not confirmed before its deadline "
     L"and was put back: the port is 3389 again.",
     L"远程桌面端口从 3389 改为 3390 的修改在截止时间前未获确认，已撤销，已恢复原端口 3389。"},
    {AuditEvent::OldPortReopened,
     L"Closing the old Remote Desktop port 3389 was cut off and has been put back: its firewall "
     L"rules and open-port entries are as they were. The port stays 3390.",
     L"关闭远程桌面旧端口 3389 的操作被中断，已恢复：旧端口的防火墙规则和开放端口项已恢复原状。"
     L"端口仍为 3390。"},
    {AuditEvent::JournalUnreadable,
     L"The record of a pending Remote Desktop port change (pending-change.json in the Velkora "
     L"folder of ProgramData) cannot be read: nothing is put back until it can. The watcher "
     L"keeps trying.",
     L"无法读取待确认的远程桌面端口修改的记录（ProgramData 的 Velkora 文件夹中的 "
     L"pending-change.json），在能读取之前不会改回任何修改。确认服务将继续重试。"},
};

const AuditAccount account{L"SERVER\\admin", L"S-1-5-21-1004336348-1177238915-682003330-500"};

// What every event says below its first line, with the record put in.
const std::wstring englishDetails = L"Account: SERVER\\admin\r\n"
                                    L"Account SID: S-1-5-21-1004336348-1177238915-682003330-500\r\n"
                                    L"Old port: 3389\r\n"
                                    L"New port: 3390\r\n"
                                    L"Restart: service\r\n"
                                    L"Outcome: done\r\n"
                                    L"Exit code: 0\r\n"
                                    L"Program: velkora-cli.exe\r\n";
const std::wstring chineseDetails = L"账户：SERVER\\admin\r\n"
                                    L"账户 SID：S-1-5-21-1004336348-1177238915-682003330-500\r\n"
                                    L"原端口：3389\r\n"
                                    L"新端口：3390\r\n"
                                    L"重启：service\r\n"
                                    L"结果：done\r\n"
                                    L"退出代码：0\r\n"
                                    L"程序：velkora-cli.exe\r\n";

// The text Event Viewer shows: the event's message in the language asked for, from the
// program loaded as a data file, with the strings put in.
std::wstring eventText(HMODULE program, AuditEvent event, WORD language,
                       const std::vector<std::wstring>& strings) {
    std::vector<DWORD_PTR> arguments;
    for (const std::wstring& s : strings) {
        arguments.push_back(reinterpret_cast<DWORD_PTR>(s.c_str()));
    }
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY |
            FORMAT_MESSAGE_ALLOCATE_BUFFER,
        program, static_cast<DWORD>(event), language, reinterpret_cast<wchar_t*>(&buffer), 0,
        reinterpret_cast<va_list*>(arguments.data()));
    const win32::UniqueLocalMemory owner(buffer);
    if (length == 0) {
        return L"<error " + std::to_wstring(GetLastError()) + L">";
    }
    return std::wstring(buffer, length);
}

// Both programs carry the table: each event id has its text in English and in Simplified
// Chinese, and the eight strings land where the text says.
TEST(EventMessageTable, EachEventHasItsTextInBothProgramsAndLanguages) {
    const AuditRecord record{AuditEvent::Applied,      3389,    3390,
                             AuditRestart::Service,    L"done", 0,
                             AuditProgram::CommandLine};
    const std::vector<std::wstring> strings = auditInsertionStrings(account, record);
    for (const wchar_t* program : {L"velkora.exe", L"velkora-cli.exe"}) {
        const std::wstring path = testFolder() + L"\\" VELKORA_UI_FOLDER L"/" + program;
        const win32::UniqueLibrary module(
            LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module) << toUtf8(path);
        for (const Headline& h : headlines) {
            EXPECT_EQ(eventText(module.get(), h.event, 0x409, strings),
                      h.english + std::wstring(L"\r\n\r\n") + englishDetails)
                << toUtf8(program);
            EXPECT_EQ(eventText(module.get(), h.event, 0x804, strings),
                      h.chinese + std::wstring(L"\r\n\r\n") + chineseDetails)
                << toUtf8(program);
        }
    }
}

} // namespace
} // namespace velkora::test
