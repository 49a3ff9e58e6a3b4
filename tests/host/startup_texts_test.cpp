#include <gtest/gtest.h>

#include <string>

#include "logic/startup_texts.h"
#include "tests/host/fakes.h"
#include "tests/host/registry_paths.h"
#include "tests/common/test_helpers.h"

namespace velkora::test {
namespace {

const std::wstring twentySpaces(20, L' ');

TEST(StartupTexts, ConstantsAreExact) {
    EXPECT_EQ(currentPortPath, tdsPort);
    EXPECT_EQ(noticeText, L"端口最大值为65535\uFF0C请修改未使用的端口\u3002"
                          L"本软件会自动添加新端口到防火墙例外\u3002"
                          L"修改完成软件会提示重启才能生效\uFF01");
    EXPECT_EQ(noticeText.find(L'\n'), std::wstring::npos);
}

struct DateCase {
    Date date;
    std::wstring line;
};

class DateAndCreditLine : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateAndCreditLine, HasNoLeadingZerosAndTwentySpacesBeforeTheCredit) {
    const Date d = GetParam().date;
    EXPECT_EQ(dateAndCreditLine(d.year, d.month, d.day), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, DateAndCreditLine,
    ::testing::Values(DateCase{{2026, 1, 5}, L" 2026年1月5日                    BY\uFF1AHarnoq"},
                      DateCase{{2026, 12, 31}, L" 2026年12月31日" + twentySpaces + L"BY：Harnoq"},
                      DateCase{{2030, 10, 1}, L" 2030年10月1日" + twentySpaces + L"BY：Harnoq"},
                      DateCase{{2027, 2, 10}, L" 2027年2月10日" + twentySpaces + L"BY：Harnoq"}),
    [](const ::testing::TestParamInfo<DateCase>& info) {
        const Date d = info.param.date;
        return std::to_string(d.year) + "_" + std::to_string(d.month) + "_" + std::to_string(d.day);
    });

class CurrentPortShown
    : public ::testing::TestWithParam<std::tuple<StoredRegistryValue, std::wstring>> {};

TEST_P(CurrentPortShown, AsTheStoredValueInTheCurrentPortLabel) {
    FakePlatform fake;
    fake.registry.setValue(tdsPort, std::get<0>(GetParam()));
    // The other listener value is never read.
    fake.registry.setValue(rdpTcpPort, dwordValue(1));
    FakeMainWindow window;

    fillStartupTexts(window, fake.platform);

    EXPECT_EQ(window.currentPort, std::get<1>(GetParam()));
    EXPECT_EQ(fake.registry.calls(), std::vector<std::wstring>{L"read " + tdsPort});
}

INSTANTIATE_TEST_SUITE_P(
    Values, CurrentPortShown,
    ::testing::Values(std::make_tuple(dwordValue(3389), L"3389"),
                      std::make_tuple(dwordValue(80), L"80"), std::make_tuple(dwordValue(0), L"0"),
                      std::make_tuple(dwordValue(4294967295u), L"4294967295"),
                      std::make_tuple(stringValue(L"3390"), L"3390")),
    [](const ::testing::TestParamInfo<std::tuple<StoredRegistryValue, std::wstring>>& info) {
        const char* kind = std::get<0>(info.param).type == regDword ? "Dword" : "String";
        return kind + std::to_string(info.index);
    });

TEST(FillStartupTexts, SetsTheThreeLabelsInOrder) {
    FakePlatform fake;
    fake.registry.setValue(tdsPort, dwordValue(3389));
    FakeMainWindow window;

    fillStartupTexts(window, fake.platform);

    EXPECT_EQ(window.shownOrder,
              (std::vector<std::wstring>{L"current port", L"credit line", L"notice"}));
    EXPECT_EQ(window.currentPort, L"3389");
    EXPECT_EQ(window.creditLine, L" 2026年1月5日" + twentySpaces + L"BY：Harnoq");
    EXPECT_EQ(window.notice, noticeText);
}

struct ReadingsCase {
    const char* label;
    std::vector<Date> readings;
    std::wstring line;
};

class ClockReadings : public ::testing::TestWithParam<ReadingsCase> {};

// The year comes from the first reading, the month from the second, the day from the third.
TEST_P(ClockReadings, DecideOneFieldEach) {
    FakePlatform fake;
    fake.registry.setValue(tdsPort, dwordValue(3389));
    fake.clock = FakeClock(GetParam().readings);
    FakeMainWindow window;

    fillStartupTexts(window, fake.platform);

    EXPECT_EQ(fake.clock.readings(), 3);
    EXPECT_EQ(window.creditLine, GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    FillStartupTexts, ClockReadings,
    ::testing::Values(ReadingsCase{"AcrossNewYear",
                                   {{2025, 12, 31}, {2026, 1, 1}, {2026, 1, 1}},
                                   L" 2025年1月1日" + twentySpaces + L"BY：Harnoq"},
                      ReadingsCase{"ThreeDifferentDays",
                                   {{2031, 1, 1}, {2032, 7, 2}, {2033, 3, 9}},
                                   L" 2031年7月9日" + twentySpaces + L"BY：Harnoq"}),
    CaseLabel());

struct ReadFailureCase {
    const char* label;
    bool keyExists;
    bool otherType;
    long number;
};

class FailedRead : public ::testing::TestWithParam<ReadFailureCase> {};

TEST_P(FailedRead, SetsNoLabelAndRaises) {
    FakePlatform fake;
    if (GetParam().keyExists) {
        fake.registry.createKey(tdsPort.substr(0, tdsPort.rfind(L'\\')));
    }
    if (GetParam().otherType) {
        fake.registry.setValue(tdsPort, StoredRegistryValue{regBinary, {1, 2}});
    }
    FakeMainWindow window;

    const PlatformError error = thrownBy([&] { fillStartupTexts(window, fake.platform); });
    EXPECT_EQ(error.number(), GetParam().number);
    EXPECT_TRUE(window.shownOrder.empty());
    EXPECT_EQ(fake.clock.readings(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, FailedRead,
                         ::testing::Values(ReadFailureCase{"MissingKey", false, false, 2},
                                           ReadFailureCase{"MissingValue", true, false, 2},
                                           ReadFailureCase{"UnreadableType", true, true, 13}),
                         CaseLabel());

} // namespace
} // namespace velkora::test
