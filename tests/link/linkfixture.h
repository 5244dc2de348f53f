// A Link on a pseudo-terminal reached through a "com7" link in a scratch working directory.
#pragma once

#include <gtest/gtest.h>

#include <QCoroTask>
#include <QDir>
#include <QTemporaryDir>
#include <memory>

#include "app/settingsfile.h"
#include "link/link.h"
#include "pty.h"
#include "testhost.h"

namespace vantel::test {

class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        ASSERT_TRUE(pty.ok());
        ASSERT_TRUE(QFile::link(pty.slavePath(), dir.filePath(QStringLiteral("com7"))));
        host = std::make_unique<TestHost>(QDir(dir.path()));
        link = std::make_unique<Link>(*host, settings);
        ASSERT_TRUE(link->serial().setCommPort(7));
    }
    void TearDown() override {
        link.reset();
        QDir::setCurrent(previous);
    }

    // Runs a task to its end (a test may nest the event loop; the program never does).
    template <typename T>
    auto run(QCoro::Task<T> task) {
        return QCoro::waitFor(std::move(task));
    }

    QTemporaryDir dir;
    QString previous;
    Pty pty;
    Settings settings;
    std::unique_ptr<TestHost> host;
    std::unique_ptr<Link> link;
};

}  // namespace vantel::test
