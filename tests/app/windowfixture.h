// The offscreen main window every window and dialog test drives: started in a temporary working
// folder, its message boxes answered by the test, its transmission simulated.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>

#include "app/listline.h"
#include "app/mainwindow.h"
#include "app/setupform.h"
#include "compose/insertform.h"
#include "compose/sendform.h"
#include "frames.h"
#include "table.h"
#include "views/technicalview.h"
#include "views/viewer.h"
#include "views/viewform.h"

namespace vantel::test {

// While it lives, writes past `bytes` fail with "File too large": a disk that fills up.
struct DiskFull {
    explicit DiskFull(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit small{bytes, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~DiskFull() { setrlimit(RLIMIT_FSIZE, &saved); }
    rlimit saved{};
};

// Clicks and lets queued signal deliveries resume the waiting driver.
inline void Click(QWidget *button) {
    QTest::mouseClick(button, Qt::LeftButton);
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

class WindowTest : public ::testing::Test {
protected:
    struct Asked {
        QString text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
    };
    WindowTest() { QDir::setCurrent(dir.path()); }
    ~WindowTest() override {
        for (QWidget *w : dialogs())  // no driver may wait on windows that are about to go
            if (w->isVisible()) w->close(), QCoreApplication::processEvents();
        window.reset();
        QDir::setCurrent(oldDir);
    }
    void writeFile(const QString &name, const QByteArray &bytes) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    QByteArray fileBytes(const QString &name) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // Creates the window and runs its start-up until it ends or stops at the setup dialog.
    void start() {
        window = std::make_unique<Vantel>();
        window->ask =
            [this](QWidget *, QMessageBox::Icon icon, QString text,
                   QMessageBox::StandardButtons buttons,
                   QMessageBox::StandardButton def) -> QCoro::Task<QMessageBox::StandardButton> {
            asked.push_back({text, icon, buttons, def});
            co_return answer;
        };
        window->setupForm().ask = window->viewForm().ask = window->sendForm().ask = window->ask;
        // Like the real one, the transmission disables the buttons during its exchange.
        window->transmitEntry = [this](QString entry) -> QCoro::Task<bool> {
            window->DisableButtons();
            transmitted << entry;
            window->EnableButtons();
            co_return transmitResult;
        };
        startup = std::make_unique<QCoro::Task<>>(window->Form_Load());
        (void)QTest::qWaitFor(
            [&] { return startup->isReady() || window->setupForm().isVisible(); });
    }
    bool startupDone() {
        return QTest::qWaitFor([this] { return startup->isReady(); });
    }
    std::vector<QWidget *> dialogs() const {
        if (!window) return {};
        return {&window->technicalView(), &window->viewForm(), &window->sendForm(),
                &window->insertForm(), &window->setupForm()};
    }
    // Runs a dialog driver until it waits on its dialog.
    QCoro::Task<> run(QCoro::Task<> task) {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        return task;
    }
    QCoro::Task<> viewer() {
        return run(ShowMessageViewer(
            *window, {&window->viewForm(), &window->technicalView(), &window->sendForm()}));
    }

    QTemporaryDir dir;
    QString oldDir = QDir::currentPath();
    std::unique_ptr<Vantel> window;
    std::unique_ptr<QCoro::Task<>> startup;
    std::vector<Asked> asked;
    QMessageBox::StandardButton answer = QMessageBox::Yes;
    QStringList transmitted;
    bool transmitResult = true;
};

// The window after a start-up with a settings file.
class StartedWindowTest : public WindowTest {
protected:
    void SetUp() override {
        writeFile("vantel.ini", "Speed=19200\r\nPort=1\r\n");
        start();
        ASSERT_TRUE(startupDone());
    }
};

}  // namespace vantel::test
