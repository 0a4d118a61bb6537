#include "monitoring/ChannelSetCheck.h"
#include "settings/KeloError.h"
#include "tests/support/Files.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(ChannelSetCheck, RefusesASetItCannotUseNamingFileLineAndField)
{
    struct Case {
        const char* bytes;
        const char* expected;  // text the message holds; nullptr: accepted
    };
    const Case cases[] = {
        {"T;1000\r\n01;A;0001;1;1200;-100;255\r\n", nullptr},
        {"T; 1000\r\n01;A;0001;-1;+12;-100;16777215\r\n", nullptr},
        {"T;1s\r\n01;A;0001;1;1200;-100;255\r\n", "1번째 줄의 Sampling 값 '1s'"},
        {"T;1000\r\n01;A;0001;1;1200;-100;255\r\n02;B;0001;x;1200;-100;255\r\n", "3번째 줄의 Dot 값 'x'"},
        {"T;1000\r\n01;A;0001;1;12.5;-100;255\r\n", "2번째 줄의 Max 값 '12.5'"},
        {"T;1000\r\n01;A;0001;1;1200;;255\r\n", "2번째 줄의 Min 값 ''"},
        {"T;1000\r\n01;A;0001;1;1200;-100;red\r\n", "2번째 줄의 Color 값 'red'"},
        {"T;1000\r\n01;A;0001;1;1200;-100;99999999999\r\n", "Color 값 '99999999999'"},
        {"T;1000\r\n", "채널 줄이 없습니다"},
        {"", "Sampling"},
        {"T;1000\r\n01;A;0001;1;1200;-100;255\r\n\r\n", "3번째 줄이 비어 있습니다"},
        {"T;1000\r\n01;Zone;0001\r\n", nullptr},   // short line: later fields repeat "0001"
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("hand.khd");
    for (const auto& c : cases) {
        writeBytes(path, c.bytes);
        SCOPED_TRACE(c.bytes);
        if (!c.expected) {
            EXPECT_NO_THROW((void)readMonitoringChannelSet(path));
            continue;
        }
        try {
            (void)readMonitoringChannelSet(path);
            ADD_FAILURE() << "accepted";
        } catch (const KeloError& e) {
            EXPECT_TRUE(e.text().contains(path)) << e.text().toStdString();
            EXPECT_TRUE(e.text().contains(QString::fromUtf8(c.expected))) << e.text().toStdString();
        }
    }
}
