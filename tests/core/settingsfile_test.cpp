#include "app/settingsfile.h"

#include <gtest/gtest.h>

#include "coretest.h"

namespace vantel {

void PrintTo(const Settings &s, std::ostream *os) {
    *os << "{speed=" << s.speed.toStdString() << " port=" << s.port.toStdString()
        << " dial=" << s.dialString.toStdString() << " confirm=" << s.confirmString.toStdString()
        << " flags=" << s.debugMode << s.echoSet << s.pduMode << s.getOldMessages
        << s.getSIMMessages << s.skipPDUSCA << s.deleteOld << s.keepErr << "}";
}

namespace {

// Reads `file` into default settings, recording what reached the serial control.
struct Reading {
    Settings s;
    QStringList serial;  // "settings:9600,N,8,1", "port:1"
};

Reading Read(QByteArrayView file, bool refuse = false) {
    Reading r;
    SerialSink sink;
    sink.setSettings = [&r, refuse](const QString &settings) {
        r.serial << u"settings:"_qs + settings;
        return !refuse;
    };
    sink.setCommPort = [&r, refuse](int port) {
        r.serial << u"port:"_qs + QString::number(port);
        return !refuse;
    };
    ReadSettings(file, r.s, sink);
    return r;
}

Settings DebugOn() {
    Settings s;
    s.debugMode = true;
    return s;
}

struct LineCase {
    const char *file;
    std::function<void(Settings &)> change;  // applied to the defaults with DebugMode on
    QStringList serial;
};

TEST(ReadSettings, EachLineByItsSelector) {
    const LineCase cases[] = {
        {"", [](Settings &) {}, {}},
        {"Speed=9600", [](Settings &s) { s.speed = u"9600"_qs; }, {u"settings:9600,N,8,1"_qs}},
        {"Speed=", [](Settings &s) { s.speed = u""_qs; }, {u"settings:,N,8,1"_qs}},
        {"Speed = 9600", [](Settings &) {}, {}},
        {"speed=9600", [](Settings &) {}, {}},
        {"Speedy=5", [](Settings &) {}, {}},
        {"Port=12", [](Settings &s) { s.port = u"1"_qs; }, {u"port:1"_qs}},
        {"Port=0", [](Settings &s) { s.port = u"0"_qs; }, {u"port:0"_qs}},
        {"Port=", [](Settings &s) { s.port = u""_qs; }, {}},
        {"Port=x", [](Settings &s) { s.port = u"x"_qs; }, {}},
        {"Port= 1", [](Settings &s) { s.port = u" "_qs; }, {}},
        {"Port 1", [](Settings &) {}, {}},
        {"DialString=AT+CMGF=0", [](Settings &s) { s.dialString = u"AT+CMGF=0"_qs; }, {}},
        {"DialString= AT *T ", [](Settings &s) { s.dialString = u" AT *T "_qs; }, {}},
        {"DialString=", [](Settings &s) { s.dialString = u""_qs; }, {}},
        {"DialStr=AT", [](Settings &) {}, {}},
        {"ConfirmString=CONNECT", [](Settings &s) { s.confirmString = u"CONNECT"_qs; }, {}},
        {"DebugMode=0", [](Settings &s) { s.debugMode = false; }, {}},
        {"DebugMode=1x", [](Settings &) {}, {}},
        {"DebugMode=true", [](Settings &s) { s.debugMode = false; }, {}},
        {"DebugMode=", [](Settings &s) { s.debugMode = false; }, {}},
        {"EchoSet=1", [](Settings &s) { s.echoSet = true; }, {}},
        {"PDUMode=1", [](Settings &s) { s.pduMode = true; }, {}},
        {"PDUMode=0", [](Settings &) {}, {}},
        {"GetOldMessages=1", [](Settings &s) { s.getOldMessages = true; }, {}},
        {"GetSIMMessages=1", [](Settings &s) { s.getSIMMessages = true; }, {}},
        {"SkipPDUSCA=1", [](Settings &s) { s.skipPDUSCA = true; }, {}},
        {"DeleteOld=1", [](Settings &s) { s.deleteOld = true; }, {}},
        {"KeepErr=1", [](Settings &s) { s.keepErr = true; }, {}},
        {"KeepErr 1", [](Settings &) {}, {}},
        {"pdumode=1", [](Settings &) {}, {}},
        {"Speed=9600\r\nSpeed=4800\r\n",
         [](Settings &s) { s.speed = u"4800"_qs; },
         {u"settings:9600,N,8,1"_qs, u"settings:4800,N,8,1"_qs}},
        {"PDUMode=1\nPDUMode=0\n", [](Settings &) {}, {}},
        // the bytes are Windows-1252
        {"DialString=AT\x80\xE9", [](Settings &s) { s.dialString = u"AT\u20ac\u00e9"_qs; }, {}},
        {"Port=\xB9", [](Settings &s) { s.port = u"\u00b9"_qs; }, {}},
    };
    for (const auto &c : cases) {
        Settings expected = DebugOn();
        c.change(expected);
        const Reading got = Read(c.file);
        EXPECT_EQ(got.s, expected) << c.file;
        EXPECT_EQ(got.serial, c.serial) << c.file;
    }
}

TEST(ReadSettings, TurnsDebugModeOnBeforeReading) {
    Settings s;
    ReadSettings("EchoSet=1\r\n", s);
    EXPECT_TRUE(s.debugMode);
    EXPECT_TRUE(s.echoSet);
}

TEST(ReadSettings, TextKeepsWhatTheSerialControlRefused) {
    const Reading got = Read("Speed=12345678\r\nPort=9\r\n", true);
    EXPECT_EQ(got.s.speed, u"12345678"_qs);
    EXPECT_EQ(got.s.port, u"9"_qs);
    EXPECT_EQ(got.serial, (QStringList{u"settings:12345678,N,8,1"_qs, u"port:9"_qs}));
}

TEST(ReadSettings, AnyLineEndAndNoFinalOne) {
    Settings expected = DebugOn();
    expected.speed = u"9600"_qs;
    expected.port = u"2"_qs;
    expected.pduMode = true;
    for (const char *file :
         {"Speed=9600\r\nPort=2\r\nPDUMode=1\r\n", "Speed=9600\nPort=2\nPDUMode=1",
          "Speed=9600\rPort=2\rPDUMode=1\r", "\r\n\r\nSpeed=9600\r\n\nPort=2\n\rPDUMode=1"}) {
        EXPECT_EQ(Read(file).s, expected) << file;
    }
}

TEST(ReadSettings, DamagedLinesNeverLoseAGoodOne) {
    QByteArray file("\xFF\xFE\x00\x01garbage\x00\x00\r\n", 15);
    file += QByteArray(1 << 20, 'x') + "\r\n";
    file += "KeepErr=1\r\n";
    file += QByteArray(300000, '\0') + "\n";
    file += QByteArray("Speed=\x00\x01\r\n", 10);
    file += "PDUMode=1";
    const Reading got = Read(file);
    EXPECT_TRUE(got.s.keepErr);
    EXPECT_TRUE(got.s.pduMode);
    EXPECT_EQ(got.s.speed, QString(QChar(0)) + QChar(1));
    EXPECT_EQ(got.s.port, QString());
}

TEST(ReadSettings, SurvivesEveryByte) {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    for (const char *key : {"Speed=", "Port=", "DialString=", "DebugMode=", ""}) {
        const Reading got = Read(QByteArray(key) + all);
        EXPECT_TRUE(got.s.debugMode || QByteArray(key) == "DebugMode=") << key;
    }
}

TEST(WriteSettings, LinesInOrderFlagsOnlyWhenOn) {
    Settings s;
    s.speed = u"19200"_qs;
    s.port = u"1"_qs;
    s.debugMode = true;
    s.pduMode = true;
    s.keepErr = true;
    EXPECT_EQ(WriteSettings(s), QByteArray("Speed=19200\r\nPort=1\r\nDialString=AT*T\r\n"
                                           "ConfirmString=OK\r\nDebugMode=1\r\nPDUMode=1\r\n"
                                           "KeepErr=1\r\n"));

    Settings none;
    EXPECT_EQ(WriteSettings(none),
              QByteArray("Speed=\r\nPort=\r\nDialString=AT*T\r\nConfirmString=OK\r\n"));

    Settings all;
    all.debugMode = all.echoSet = all.pduMode = all.getOldMessages = all.getSIMMessages =
        all.skipPDUSCA = all.deleteOld = all.keepErr = true;
    all.dialString = u"AT+CMGF=0 \u20ac"_qs;
    EXPECT_EQ(WriteSettings(all),
              QByteArray("Speed=\r\nPort=\r\nDialString=AT+CMGF=0 \x80\r\nConfirmString=OK\r\n"
                         "DebugMode=1\r\nEchoSet=1\r\nPDUMode=1\r\nGetOldMessages=1\r\n"
                         "GetSIMMessages=1\r\nSkipPDUSCA=1\r\nDeleteOld=1\r\nKeepErr=1\r\n"));
}

TEST(WriteSettings, LineBreaksInAValueCannotAddLines) {
    Settings s;
    s.dialString = u"AT*T\r\nPDUMode=1"_qs;
    const QByteArray file = WriteSettings(s);
    EXPECT_EQ(file,
              QByteArray("Speed=\r\nPort=\r\nDialString=AT*TPDUMode=1\r\nConfirmString=OK\r\n"));
    EXPECT_FALSE(Read(file).s.pduMode);
}

TEST(WriteSettings, WhatIsWrittenReadsBack) {
    Settings s;
    s.speed = u"115200"_qs;
    s.port = u"4"_qs;
    s.dialString = u"AT+CMGF=0"_qs;
    s.confirmString = u"OK \u00e9"_qs;
    s.debugMode = true;
    s.skipPDUSCA = s.getSIMMessages = true;
    EXPECT_EQ(Read(WriteSettings(s)).s, s);

    // a file saved with DebugMode off reads back with it on
    s.debugMode = false;
    Settings expected = s;
    expected.debugMode = true;
    EXPECT_EQ(Read(WriteSettings(s)).s, expected);
}

}  // namespace
}  // namespace vantel
