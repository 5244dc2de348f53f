#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "link/serialcontrol.h"

namespace vantel::test {
namespace {

TEST(SerialControl, SettingsTextIsParsedOrRefusedWhole) {
    SerialControl serial;
    EXPECT_EQ(serial.settings(), u"19200,N,8,1"_qs);
    const struct {
        const char *text;
        bool ok;
    } cases[] = {
        {"9600,N,8,1", true},  {"115200,e,7,2", true}, {"2400,O,8,1.5", true},
        {"", false},           {"9600", false},        {"9600,N,8", false},
        {"fast,N,8,1", false}, {"0,N,8,1", false},     {"9600,X,8,1", false},
        {"9600,N,9,1", false}, {"9600,N,8,3", false},  {"9600,N,8,1,1", false},
    };
    QString last = serial.settings();
    for (const auto &c : cases) {
        EXPECT_EQ(serial.setSettings(QString::fromLatin1(c.text)), c.ok) << c.text;
        if (c.ok) last = QString::fromLatin1(c.text);
        EXPECT_EQ(serial.settings(), last) << c.text;
    }
}

TEST(SerialControl, PortNumbersOutsideOneTo99AreRefused) {
    SerialControl serial;
    EXPECT_TRUE(serial.setCommPort(3));
    EXPECT_FALSE(serial.setCommPort(0));
    EXPECT_FALSE(serial.setCommPort(100));
    EXPECT_FALSE(serial.setCommPort(-1));
    EXPECT_EQ(serial.commPort(), 3);
}

TEST(SerialControl, PortIsALinkInTheWorkingDirectoryOrATtyS) {
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QFile target(dir.filePath(u"device"_qs));
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(target.fileName(), dir.filePath(u"com1"_qs)));
    const QString canonical = QFileInfo(target.fileName()).canonicalFilePath();
    EXPECT_EQ(SerialControl::devicePath(1), canonical);
    EXPECT_EQ(SerialControl::devicePath(2), u"/dev/ttyS1"_qs);
    EXPECT_EQ(SerialControl::devicePath(10), u"/dev/ttyS9"_qs);
    QDir::setCurrent(previous);
}

TEST(SerialControl, ClosedPortRefusesOutput) {
    SerialControl serial;
    EXPECT_FALSE(serial.isOpen());
    EXPECT_FALSE(serial.output(QByteArrayLiteral("AT\r")));
    EXPECT_TRUE(serial.close());
}

}  // namespace
}  // namespace vantel::test
