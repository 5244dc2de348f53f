#include <sys/resource.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <csignal>

#include "windowfixture.h"

namespace vantel {
namespace {

using test::WindowTest;

const QByteArray kDefaultIni =
    "Speed=2400\r\nPort=1\r\nDialString=AT*T\r\nConfirmString=OK\r\n"
    "DebugMode=1\r\n";

TEST_F(WindowTest, FirstStartShowsSetupWithDefaultsAndOkWritesTheFile) {
    start();
    SetupForm &form = window->setupForm();
    ASSERT_TRUE(form.isVisible());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(form.windowTitle(), u"Vantel - Setup");
    EXPECT_TRUE(form.Speed[0]->isChecked());
    EXPECT_TRUE(form.Port[0]->isChecked());
    EXPECT_EQ(form.Port[0]->text(), u"COM1");
    EXPECT_EQ(form.DialStringBox->text(), u"AT*T");
    EXPECT_EQ(form.ConfirmStringBox->text(), u"OK");
    for (QCheckBox *box : {form.DeleteOldBox, form.EchoSetBox, form.RetrieveOldBox, form.SkipPDUBox,
                           form.ReadSIMBox})
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();

    QTest::mouseClick(form.OKButton, Qt::LeftButton);
    ASSERT_TRUE(startupDone());
    // The first port option is port 1.
    EXPECT_EQ(fileBytes("vantel.ini"), kDefaultIni);
    EXPECT_EQ(window->link().serial().commPort(), 1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(window->windowTitle(), u"Vantel 32 bit V0.36");
}

TEST_F(WindowTest, FirstStartCancelledWritesNothingAndGoesOn) {
    start();
    ASSERT_TRUE(window->setupForm().isVisible());
    QTest::mouseClick(window->setupForm().CancelButton, Qt::LeftButton);
    ASSERT_TRUE(startupDone());
    EXPECT_EQ(fileBytes("vantel.ini"), "<missing>");
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->settings().debugMode);
}

enum class Finish { Ok, Cancel, Escape, CloseBox };

struct SetupCase {
    const char *name;
    QByteArray before;
    int speed;  // option to click, -1 for none
    int port;
    bool tickPduMode;
    Finish finish;
    QByteArray after;  // expected file; empty: unchanged
};

TEST_F(WindowTest, SetupDialogFillsAppliesAndSaves) {
    const QByteArray base =
        "Speed=19200\r\nPort=2\r\nDialString=AT+CMGF=0\r\nConfirmString=OK\r\n"
        "DebugMode=1\r\nEchoSet=1\r\nKeepErr=1\r\n";
    const SetupCase cases[] = {
        {"ok unchanged", base, -1, -1, false, Finish::Ok, base},
        {"9600 on COM3", base, 2, 2, false, Finish::Ok,
         "Speed=9600\r\nPort=3\r\nDialString=AT+CMGF=0\r\nConfirmString=OK\r\nDebugMode=1\r\n"
         "EchoSet=1\r\nKeepErr=1\r\n"},
        {"first port stores 1", base, -1, 0, false, Finish::Ok,
         "Speed=19200\r\nPort=1\r\nDialString=AT+CMGF=0\r\nConfirmString=OK\r\nDebugMode=1\r\n"
         "EchoSet=1\r\nKeepErr=1\r\n"},
        {"pdu mode", base, -1, -1, true, Finish::Ok,
         "Speed=19200\r\nPort=2\r\nDialString=AT+CMGF=0\r\nConfirmString=OK\r\nDebugMode=1\r\n"
         "EchoSet=1\r\nPDUMode=1\r\nKeepErr=1\r\n"},
        {"unknown values show the first options", "Speed=38400\r\nPort=7\r\nDebugMode=0\r\n", -1,
         -1, false, Finish::Ok, "Speed=2400\r\nPort=1\r\nDialString=AT*T\r\nConfirmString=OK\r\n"},
        {"cancel", base, 0, 3, true, Finish::Cancel, {}},
        {"escape", base, 0, 3, true, Finish::Escape, {}},
        {"close box", base, 0, 3, true, Finish::CloseBox, {}},
    };
    for (const SetupCase &c : cases) {
        SCOPED_TRACE(c.name);
        window.reset();
        writeFile("vantel.ini", c.before);
        start();
        ASSERT_TRUE(startupDone());
        const QString serialBefore = window->link().serial().settings();

        QTest::mouseClick(window->SetupButton, Qt::LeftButton);
        SetupForm &form = window->setupForm();
        ASSERT_TRUE(form.isVisible());
        EXPECT_FALSE(window->isVisible());
        if (c.speed >= 0) QTest::mouseClick(form.Speed[c.speed], Qt::LeftButton);
        if (c.port >= 0) QTest::mouseClick(form.Port[c.port], Qt::LeftButton);
        if (c.tickPduMode) QTest::mouseClick(form.EchoSetBox, Qt::LeftButton);
        switch (c.finish) {
            case Finish::Ok:
                QTest::mouseClick(form.OKButton, Qt::LeftButton);
                break;
            case Finish::Cancel:
                QTest::mouseClick(form.CancelButton, Qt::LeftButton);
                break;
            case Finish::Escape:
                QTest::keyClick(form.OKButton, Qt::Key_Escape);
                break;
            case Finish::CloseBox:
                form.close();
                break;
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }));
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(fileBytes("vantel.ini"), c.after.isEmpty() ? c.before : c.after);
        if (c.finish != Finish::Ok) {
            EXPECT_EQ(window->link().serial().settings(), serialBefore);
        }
    }
}

TEST_F(WindowTest, SetupOkAppliesTheSerialParametersAtOnce) {
    writeFile("vantel.ini", "Speed=19200\r\nPort=1\r\n");
    start();
    ASSERT_TRUE(startupDone());
    EXPECT_EQ(window->link().serial().settings(), u"19200,N,8,1");
    window->ShowSetupForm();
    SetupForm &form = window->setupForm();
    QTest::mouseClick(form.Speed[2], Qt::LeftButton);
    QTest::mouseClick(form.Port[2], Qt::LeftButton);
    QTest::mouseClick(form.OKButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }));
    EXPECT_EQ(window->link().serial().settings(), u"9600,N,8,1");
    EXPECT_EQ(window->link().serial().commPort(), 3);
}

TEST_F(WindowTest, SetupWhileBusyOnlyBeeps) {
    writeFile("vantel.ini", "");
    start();
    ASSERT_TRUE(startupDone());
    window->DisableButtons();
    const int beeps = window->beepCount();
    window->ShowSetupForm();
    EXPECT_EQ(window->beepCount(), beeps + 1);
    EXPECT_FALSE(window->setupForm().isVisible());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(WindowTest, PortOptionsNameTheirDevices) {
    writeFile("vantel.ini", "");
    start();
    ASSERT_TRUE(startupDone());
    SetupForm &form = window->setupForm();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(form.Port[i]->toolTip(), SerialControl::devicePath(i + 1));
    QTest::mouseClick(window->SetupButton, Qt::LeftButton);
    QTest::mouseClick(form.Port[1], Qt::LeftButton);
    EXPECT_EQ(form.PortDeviceLabel->text(), SerialControl::devicePath(2));
    QTest::mouseClick(form.CancelButton, Qt::LeftButton);
}

TEST_F(WindowTest, AboutBoxShowsTheDisclaimer) {
    writeFile("vantel.ini", "");
    start();
    ASSERT_TRUE(startupDone());
    QTest::mouseClick(window->SetupButton, Qt::LeftButton);
    QTest::mouseClick(window->setupForm().AboutButton, Qt::LeftButton);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].startsWith(
        "Vantel collects SMS messages from GSM phones and decodes all the fields using the "
        "GSM 07.05 protocol.\r\n\r\n"));
    EXPECT_TRUE(window->setupForm().isVisible());
    QTest::mouseClick(window->setupForm().CancelButton, Qt::LeftButton);
}

}  // namespace
}  // namespace vantel

namespace vantel {
namespace {

TEST_F(WindowTest, UnreadableSettingsFileKeepsTheDefaultsWithoutTheDialog) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("vantel.ini"));
    start();
    ASSERT_TRUE(startupDone());
    EXPECT_FALSE(window->setupForm().isVisible());
    EXPECT_TRUE(window->settings().debugMode);
    EXPECT_EQ(window->settings().dialString, u"AT*T");
}

TEST_F(WindowTest, FailedSettingsSaveKeepsTheOldFileAndSaysSo) {
    const QByteArray old = "Speed=4800\r\nPort=2\r\n";
    writeFile("vantel.ini", old);
    start();
    ASSERT_TRUE(startupDone());
    QTest::mouseClick(window->SetupButton, Qt::LeftButton);
    QTest::mouseClick(window->setupForm().Speed[3], Qt::LeftButton);

    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tiny = saved;
    tiny.rlim_cur = 16;  // the disk is full
    setrlimit(RLIMIT_FSIZE, &tiny);
    QTest::mouseClick(window->setupForm().OKButton, Qt::LeftButton);
    const bool back = QTest::qWaitFor([&] { return window->isVisible(); });
    setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_TRUE(back);

    EXPECT_EQ(fileBytes("vantel.ini"), old);
    EXPECT_TRUE(traceText().contains("Error saving INI file"));
    EXPECT_EQ(window->settings().speed, u"19200");  // in force in memory
}

}  // namespace
}  // namespace vantel
