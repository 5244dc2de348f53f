#include "testhost.h"

namespace vantel::test {

TestHost::TestHost(QDir dir)
    : store([this](const QString &text) { trace << text; }, std::move(dir)) {}

void TestHost::WriteTrace(const QString &text, bool toLog) {
    trace << text;
    if (toLog) log << text;
}

void TestHost::DisableButtons() {
    busy_ = true;
    ++disables;
}

void TestHost::EnableButtons() {
    busy_ = false;
    ++enables;
}

bool TestHost::AppendListFile(const QString &frame) {
    QString error;
    if (store.AppendListFile(frame, &error)) {
        appended << frame;
        return true;
    }
    WriteTrace(SaveErrorText(MessageListFile, error), true);
    return false;
}

bool TestHost::AddMessage(const QString &frame) {
    offered << frame;
    return store.AddMessage(frame);
}

QCoro::Task<> TestHost::PlayAlert() {
    ++alerts;
    co_return;
}

}  // namespace vantel::test
