// The alert sound, the single-instance lock and the serial devices the Setup dialog offers.
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QComboBox>
#include <QCoroTask>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include "app/alertsound.h"
#include "app/settingsfile.h"
#include "app/setupform.h"
#include "app/singleinstance.h"
#include "link/serialcontrol.h"

namespace vantel {
namespace {

QByteArray Le(qint64 v, int size) {
    QByteArray b(4, 0);
    qToLittleEndian<quint32>(quint32(v), b.data());
    return b.left(size);
}

QByteArray Wave(int format, int channels, int rate, int bits, const QByteArray &samples,
                const QByteArray &extraChunk = {}) {
    const QByteArray fmt = Le(format, 2) + Le(channels, 2) + Le(rate, 4) +
                           Le(qint64(rate) * channels * bits / 8, 4) + Le(channels * bits / 8, 2) +
                           Le(bits, 2);
    const QByteArray body = "WAVEfmt " + Le(fmt.size(), 4) + fmt + extraChunk + "data" +
                            Le(samples.size(), 4) + samples;
    return "RIFF" + Le(body.size(), 4) + body;
}

TEST(WaveTest, ReadsPcmClipsAndRefusesTheRest) {
    const QByteArray second16(8000 * 2, '\x01');
    const QByteArray list = "LIST" + Le(3, 4) + "abc" + QByteArray(1, 0);  // odd size: padded
    const struct {
        const char *name;
        QByteArray file;
        int channels;  // 0: refused
        qint64 ms;
    } cases[] = {
        {"16-bit mono", Wave(1, 1, 8000, 16, second16), 1, 1000},
        {"8-bit stereo", Wave(1, 2, 11025, 8, QByteArray(11026, 'x')), 2, 500},
        {"chunk before data", Wave(1, 1, 8000, 16, second16, list), 1, 1000},
        {"odd trailing octet dropped", Wave(1, 1, 8000, 16, QByteArray(801, 'x')), 1, 50},
        {"data longer than the file", Wave(1, 1, 8000, 16, second16).left(44 + 1600), 1, 100},
        {"not pcm", Wave(3, 1, 8000, 32, second16), 0, 0},
        {"24-bit", Wave(1, 1, 8000, 24, second16), 0, 0},
        {"no format chunk", "RIFF" + Le(4, 4) + "WAVE", 0, 0},
        {"not riff", "garbage that is not a wave file", 0, 0},
        {"empty", {}, 0, 0},
        {"huge chunk size", "RIFF" + Le(100, 4) + "WAVEfmt " + Le(0xFFFFFFF0, 4), 0, 0},
    };
    for (const auto &c : cases) {
        const auto clip = ParseWave(c.file);
        EXPECT_TRUE(clip ? clip->channels == c.channels && clip->duration().count() == c.ms
                         : c.channels == 0)
            << c.name;
    }
}

// A missing or broken file is silent and immediate; a clip ends within its length plus 2 s,
// played or not (there may be no sound device here).
TEST(WaveTest, PlayingEndsWithinTheClipLengthPlusTwoSeconds) {
    QTemporaryDir dir;
    const struct {
        const char *name;
        QByteArray bytes;  // empty: no file
        bool played;
        qint64 boundMs;
    } cases[] = {
        {"missing.wav", {}, false, 1000},
        {"broken.wav", "RIFF....WAVE", false, 1000},
        {"clip.wav", Wave(1, 1, 8000, 16, QByteArray(8000, 0)), true, 2500 + 500},  // 0.5 s
    };
    for (const auto &c : cases) {
        QFile file(dir.filePath(c.name));
        ASSERT_TRUE(c.bytes.isEmpty() || (file.open(QIODevice::WriteOnly) && file.write(c.bytes)));
        file.close();
        QElapsedTimer clock;
        clock.start();
        const bool played = QCoro::waitFor(PlayWaveFile(file.fileName()));
        EXPECT_TRUE(c.played || !played) << c.name;
        EXPECT_LT(clock.elapsed(), c.boundMs) << c.name;
    }
}

TEST(SingleInstanceTest, SecondCopyIsRefusedUntilTheFirstEnds) {
    QTemporaryDir dir;
    const QString path = dir.filePath("vantel.lock");
    auto first = std::make_unique<SingleInstance>(path);
    ASSERT_TRUE(first->acquire());
    EXPECT_TRUE(first->acquire());
    SingleInstance second(path);
    EXPECT_FALSE(second.acquire());
    first.reset();
    EXPECT_TRUE(second.acquire());
}

// Each copy locks its runtime folder and its working folder: a copy is refused when either is
// taken, so two copies with runtime folders of their own still cannot share a working folder;
// only when no lock can be made do both run.
TEST(SingleInstanceTest, RuntimeFolderOrWorkingFolderTakenRefusesTheSecondCopy) {
    QTemporaryDir dir;
    const QString run1 = dir.filePath("vantel.lock"), run2 = dir.filePath("run2.lock"),
                  missing = dir.filePath("no-runtime/vantel.lock"),
                  folder = dir.filePath("folder.lock"), other = dir.filePath("other.lock"),
                  gone = dir.filePath("gone/vantel.lock");
    const struct {
        QString firstRuntime, firstFolder, secondRuntime, secondFolder;
        bool secondRuns;
    } cases[] = {
        {run1, folder, run2, folder, false},  // another runtime folder, the same working folder
        {run1, folder, run1, other, false},   // the same user, another working folder
        {run1, folder, run2, other, true},
        {missing, folder, missing, folder, false},
        {missing, gone, missing, gone, true},
        {run1, run1, run1, folder, false},  // the runtime folder is the working folder
        {run1, dir.path() + "/./vantel.lock", run2, other, true},
    };
    for (const auto &c : cases) {
        SingleInstance first(c.firstRuntime, c.firstFolder),
            second(c.secondRuntime, c.secondFolder);
        ASSERT_TRUE(first.acquire());
        EXPECT_EQ(second.acquire(), c.secondRuns)
            << c.secondRuntime.toStdString() << " " << c.secondFolder.toStdString();
    }
}

TEST(SingleInstanceTest, KilledCopyLeavesNoStaleLock) {
    QTemporaryDir dir;
    const QString path = dir.filePath("vantel.lock");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SingleInstance held(path);
        (void)!write(ready[1], held.acquire() ? "1" : "0", 1);
        for (;;)
            pause();
    }
    char ok = 0;
    ASSERT_TRUE(read(ready[0], &ok, 1) == 1 && ok == '1');
    SingleInstance mine(path);
    EXPECT_FALSE(mine.acquire());
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(mine.acquire());
    close(ready[0]), close(ready[1]);
}

// A pseudo-terminal stands for a USB modem: its stable name is a link in a folder standing for
// /dev/serial/by-id. The list shows it once, by that name; a link to a device that is gone is
// left out. A chosen device that the machine no longer has is shown as missing and kept; the
// serial control opens the device chosen instead of the COM port.
TEST(SerialDevicesTest, SetupOffersTheMachinesDevicesAndKeepsAMissingOne) {
    QTemporaryDir byId;
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    const QString pts = QString::fromLocal8Bit(name);
    const QString stable = byId.filePath("usb-Vantel_Test_Modem_0123-if02-port0");
    ASSERT_TRUE(QFile::link(pts, stable));
    ASSERT_TRUE(QFile::link(byId.filePath("gone"), byId.filePath("usb-Unplugged-if00")));
    const QList<SerialDevice> devices = ListSerialDevices(byId.path());
    const auto ours = std::find_if(devices.begin(), devices.end(),
                                   [&](const SerialDevice &d) { return d.path == pts; });
    ASSERT_NE(ours, devices.end());
    EXPECT_EQ(ours->stableName, stable);
    EXPECT_EQ(DeviceText(*ours), "usb-Vantel_Test_Modem_0123-if02-port0 (" + pts + ")");
    for (const SerialDevice &d : devices)
        EXPECT_FALSE(d.stableName.contains(u"Unplugged")) << d.path.toStdString();

    SetupForm form;
    form.listDevices = [&] { return ListSerialDevices(byId.path()); };
    const struct {
        QString device, shown;
        bool missing;
    } cases[] = {
        {"", "The COM option above", false},
        {stable, DeviceText(*ours), false},
        {"/dev/ttyUSB9", "/dev/ttyUSB9 (missing)", true},
    };
    for (const auto &c : cases) {
        Settings s;
        s.device = c.device;
        FillSetupForm(form, s);
        EXPECT_EQ(form.DeviceBox->currentText(), c.shown);
        Settings applied;
        ApplySetupForm(form, applied);
        EXPECT_EQ(applied.device, c.device);
    }
    SerialControl serial;
    serial.setCommPort(4);
    serial.setDevice(stable);
    EXPECT_EQ(serial.currentDevice(), stable);
    EXPECT_TRUE(serial.open()) << serial.errorString().toStdString();
    serial.close();
    close(master), close(slave);
}

}  // namespace
}  // namespace vantel
