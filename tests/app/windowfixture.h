// A main window started in a temporary working directory, with its message boxes answered by
// the test and its send timer's transmission simulated.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/mainwindow.h"
#include "app/setupform.h"

namespace vantel::test {

class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
        oldDir = QDir::currentPath();
        QDir::setCurrent(dir.path());
    }
    ~WindowTest() override {
        window.reset();
        QDir::setCurrent(oldDir);
    }

    void writeFile(const QString &name, const QByteArray &bytes) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray fileBytes(const QString &name) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // Creates the window and runs its start-up; returns once the start-up has finished or
    // stopped at the setup dialog.
    void start() {
        window = std::make_unique<Vantel>();
        window->ask = [this](
                          QWidget *, QMessageBox::Icon, QString text, QMessageBox::StandardButtons,
                          QMessageBox::StandardButton) -> QCoro::Task<QMessageBox::StandardButton> {
            asked << text;
            co_return answer;
        };
        window->setupForm().ask = window->ask;
        window->transmitEntry = [this](QString entry) -> QCoro::Task<bool> {
            transmitted << entry;
            co_return transmitResult;
        };
        startup = std::make_unique<QCoro::Task<>>(window->Form_Load());
        (void)QTest::qWaitFor(
            [this] { return startup->isReady() || window->setupForm().isVisible(); });
    }
    bool startupDone() {
        return QTest::qWaitFor([this] { return startup->isReady(); });
    }
    QString traceText() const { return window->trace().text(); }

    QTemporaryDir dir;
    QString oldDir;
    std::unique_ptr<Vantel> window;
    std::unique_ptr<QCoro::Task<>> startup;
    QStringList asked;
    QMessageBox::StandardButton answer = QMessageBox::Yes;
    QStringList transmitted;
    bool transmitResult = true;
};

}  // namespace vantel::test
