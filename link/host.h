// What an exchange with the phone needs from the program around it. The main window
// implements it; tests implement it without a screen.
#pragma once

#include <QCoroTask>
#include <QString>
#include <optional>

namespace vantel {

class LinkHost {
public:
    virtual ~LinkHost() = default;

    // A line for the trace window and, with toLog, for "vantel.log".
    virtual void WriteTrace(const QString &text, bool toLog) = 0;
    // Sets / clears the busy flag and disables / enables the six buttons.
    virtual void DisableButtons() = 0;
    virtual void EnableButtons() = 0;
    virtual bool busy() const = 0;
    // The message store: append one frame line to "vantelq.dat"; add a frame to the list.
    // AppendListFile is true only when the whole line reached the file; on failure it has
    // traced and logged why. A message may be deleted from the phone only after it is true.
    virtual bool AppendListFile(const QString &frame) = 0;
    virtual bool AddMessage(const QString &frame) = 0;
    // Plays "mcitest.wav" to its end (bounded); silent without a file or a sound device.
    virtual QCoro::Task<> PlayAlert() = 0;
    // The program is asked to end: a retrieval stops after the message in hand, with the
    // closing requests of its link mode.
    virtual bool endRequested() const { return false; }
    // How the last exchange ended, for the window: "" when it did what it was for, else the
    // line that says what went wrong (already traced and logged).
    virtual void ShowOutcome(const QString &problem) { (void)problem; }
    // The SIM asks for its PIN: asks the user (why says what for) while the window stays live.
    // The PIN as typed, or nullopt when the user declined; without a user, always nullopt.
    virtual QCoro::Task<std::optional<QString>> AskPin(QString why) {
        Q_UNUSED(why);
        co_return std::nullopt;
    }
};

}  // namespace vantel
