#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>

#include "app/singleinstance.h"

namespace vantel {
namespace {

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

// Without a usable runtime folder the lock falls back to the working folder, so a second copy
// is still refused; only when neither can be made do both run.
TEST(SingleInstanceTest, LockFallsBackToTheWorkingFolder) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("no-runtime/vantel.lock");
    const QString fallback = dir.filePath("vantel.lock");
    struct Case {
        QString fallback;
        bool secondRuns;
    };
    const Case cases[] = {{fallback, false}, {dir.filePath("gone/vantel.lock"), true}};
    for (const Case &c : cases) {
        SingleInstance first(missing, c.fallback);
        ASSERT_TRUE(first.acquire());
        SingleInstance second(missing, c.fallback);
        EXPECT_EQ(second.acquire(), c.secondRuns) << c.fallback.toStdString();
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
        const char ok = held.acquire() ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        for (;;)
            pause();
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, '1');
    SingleInstance mine(path);
    EXPECT_FALSE(mine.acquire());
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(mine.acquire());
    close(ready[0]);
    close(ready[1]);
}

}  // namespace
}  // namespace vantel
