// The button 修改 with a port another program holds: the warning box before any write.
// Under Wine the owner of a socket is never named (Wine 8 reports process 0), so the box
// says 其他程序; the naming of images and services is tested against a fake.
#include <winsock2.h>

#include <utility>

#include "tests/e2e/e2e_fixture.h"

#include "platform/non_copyable.h"

namespace velkora::test {
namespace {

// A TCP listener of this test process on a port below the dynamic range 49152-65535 (so the
// warning has no remark about it), picked by the system: as another program holding a port.
class HeldTcpPort : NonCopyable {
public:
    HeldTcpPort() {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
        for (int attempt = 0; attempt < 50 && port_ == 0; ++attempt) {
            socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            int length = sizeof(address);
            if (bind(socket_, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
                getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
                ntohs(address.sin_port) < 49152 && listen(socket_, 4) == 0) {
                port_ = ntohs(address.sin_port);
            } else {
                closesocket(std::exchange(socket_, INVALID_SOCKET));
            }
        }
    }
    ~HeldTcpPort() {
        closesocket(socket_);
        WSACleanup();
    }

    std::wstring text() const { return std::to_wstring(port_); }
    u_short port() const { return port_; }

private:
    SOCKET socket_ = INVALID_SOCKET;
    u_short port_ = 0;
};

class HeldPortTest : public VelkoraTest {
protected:
    void SetUp() override {
        VelkoraTest::SetUp();
        ASSERT_NE(held_.port(), 0) << "could not hold a port";
        seedListener({held_.text()});
    }
    void TearDown() override { seedListener({held_.text()}); }

    HeldTcpPort held_;
};

TEST_F(HeldPortTest, WarnsWithNoAsDefaultNoWritesNothingYesWritesAsUsual) {
    const ToolRegistryState before = toolRegistryState();
    const MainWindow window = start();
    ASSERT_NE(window.modifyButton, nullptr);
    type(window, held_.text());
    for (int answer : {IDNO, IDYES}) {
        clickButton(window.modifyButton);
        const SeenMessageBox box = expectMessageBox();
        ASSERT_NE(box.box, nullptr);
        EXPECT_EQ(box.title, applicationTitle);
        EXPECT_TRUE(box.prompt == L"端口 " + held_.text() +
                                      L" 已被 其他程序占用，远程桌面将无法在此端口监听。\r\n"
                                      L"仍要修改吗？")
            << "the warning differs";
        EXPECT_EQ(withoutMnemonic(buttonText(box.box, IDNO)), L"否");
        // MB_DEFBUTTON2: 否 is the default push button and has the focus. (Wine's DM_GETDEFID
        // answers IDOK for every message box, so the button itself is asked.)
        const HWND no = GetDlgItem(box.box, IDNO);
        EXPECT_EQ(GetWindowLongW(no, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        GUITHREADINFO thread{};
        thread.cbSize = sizeof(thread);
        GetGUIThreadInfo(GetWindowThreadProcessId(box.box, nullptr), &thread);
        EXPECT_EQ(thread.hwndFocus, no);
        if (answer == IDNO) {
            screenshot(box.box, L"lockout-warning");
        }
        pressButton(box.box, answer);
        EXPECT_TRUE(waitUntil([&] { return !IsWindow(box.box); }, 5000));
        if (answer == IDNO) {
            EXPECT_FALSE(waitForMessageBox(process_->id(), 1000).has_value()) << "a box after 否";
            EXPECT_TRUE(toolRegistryState() == before) << "否 changed the registry";
            EXPECT_EQ(textOf(window.portEdit), held_.text()) << "the field lost its text";
        }
    }
    const SeenMessageBox confirmation = expectMessageBox();
    EXPECT_TRUE(confirmation.prompt == confirmationPrompt) << "是 did not go on as usual";
    expectListenerAt(held_.port());
    expectOpenPortEntries(held_.text());
    pressButton(confirmation.box, IDNO);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(confirmation.box); }, 5000));
    EXPECT_TRUE(process_->running());
}

} // namespace
} // namespace velkora::test
