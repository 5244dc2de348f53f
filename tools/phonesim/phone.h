// The simulated phone's behaviour: GSM 07.07/07.05 AT commands in PDU mode and GSM 07.05 Block
// mode, over an octet stream. Timing, chunking and the line itself belong to the caller.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "options.h"

namespace vantel::phonesim {

struct Output {
    QByteArray octets;
    bool answer = true;  // false for an echo: sent at once, without delay or garbage
    int extraDelayMs = 0;
    int lateMs = 0;  // held back this long, without holding back what follows it
};

class Phone {
public:
    explicit Phone(const SimOptions &options);

    // Feeds octets received from the line; returns what the phone sends, in order.
    QList<Output> Receive(QByteArrayView octets);
    // The line has been quiet for a while: completes a frame whose last checksum octet was 0x10
    // and that may or may not be followed by a stuffing octet.
    QList<Output> Idle();
    bool WaitingForIdle() const { return block_.state == FrameState::LowStuff; }

    // Lines for the --sent and --deleted files since the last call.
    QStringList TakeSentLines();
    QStringList TakeDeletedLines();
    // True once the command that is one too many (--vanish-after) has arrived.
    bool Vanished() const { return vanished_; }
    int CommandCount() const { return commands_; }

private:
    struct Message {
        int index = 0;
        int stat = 0;
        QString pdu;
    };
    enum class Mode { Command, PduEntry, Block };
    enum class FrameState { Hunt, HuntDle, Content, ContentDle, High, HighStuff, Low, LowStuff };
    struct BlockParser {
        FrameState state = FrameState::Hunt;
        QByteArray raw;      // the frame as received
        QByteArray content;  // unstuffed
        QByteArray text;     // octets outside frames: an AT command line leaves Block mode
    };
    enum class Sim { Ready, Pin, Puk };
    struct PendingPdu {
        bool write = false;     // AT+CMGW rather than AT+CMGS
        bool textMode = false;  // the octets are the message text, `to` its destination
        QByteArray to;
        int length = 0;
        int stat = 2;
        QByteArray text;
        bool overflow = false;
    };

    void Feed(char c, QList<Output> &out);
    void CommandOctet(char c, QList<Output> &out);
    void PduOctet(char c, QList<Output> &out);
    void BlockOctet(char c, QList<Output> &out);
    void FrameDone(QList<Output> &out);
    bool CountCommand();

    void CommandLine(const QByteArray &line, QList<Output> &out);
    void ExecuteLine(const QByteArray &command, QList<Output> &out);
    // Puts the unsolicited result codes in front of the answers from out[first] on.
    void AddUrcs(QList<Output> &out, qsizetype first) const;
    void Deleted(Store s, const Message &m);
    // One command of a line ("+CMGL=4", "E0", ...); appends information lines to `info`.
    // Returns the final result code text, or an empty text when the command continues
    // (prompt, Block mode) and the rest of the line is dropped.
    QByteArray Execute(const QByteArray &command, QList<QByteArray> &info, QList<Output> &out,
                       bool *stop);
    // The answer to a command that needs the SIM while it is locked; empty when it is not.
    QByteArray SimLocked() const;
    QByteArray CmeError(int n, const char *text) const;
    QByteArray ExecutePin(const QList<QByteArray> &args, bool query, bool test,
                          QList<QByteArray> &info);
    QByteArray ExecuteSms(const QByteArray &name, const QByteArray &args, bool query, bool test,
                          QList<QByteArray> &info, QList<Output> &out, bool *stop);
    void SubmitPdu(QList<Output> &out);
    void ExecutePdu(QList<Output> &out);

    // Stores the status report of a message the phone accepted (its TPDU, hex), when the
    // message asks for one and --status-report is given.
    void StoreStatusReport(const QString &tpdu);
    void BlockFrame(const QByteArray &content, QList<Output> &out);
    QByteArray Frame(const QByteArray &content) const;
    QByteArray MessageFrameContent(const Message &m) const;

    QList<Message> &StoreOf(Store s) { return s == Store::ME ? me_ : sm_; }
    Message *Find(Store s, int index);
    int FreeIndex(Store s);
    static int TpduLength(const QString &pdu);

    SimOptions options_;
    Mode mode_ = Mode::Command;
    bool echo_ = false;
    int cmee_ = 0;
    bool textMode_ = false;  // AT+CMGF=1 in force
    Sim sim_ = Sim::Ready;
    int pinTries_ = 3;
    QByteArray line_;
    bool lineOverflow_ = false;
    PendingPdu pdu_;
    BlockParser block_;
    int blockCursor_ = 0;  // index of the last message handed out by GET NEXT MESSAGE
    int getFailuresLeft_ = -1;
    int damagesLeft_ = -1;
    int unableLeft_ = 0;
    QList<Message> me_;
    QList<Message> sm_;
    Store readStore_ = Store::ME;   // <mem1>: read, list, delete
    Store writeStore_ = Store::ME;  // <mem2>: write, send
    Store recvStore_ = Store::ME;   // <mem3>
    QString smsc_;
    int messageReference_ = 0;
    QStringList sent_;
    QStringList deleted_;
    int commands_ = 0;
    bool vanished_ = false;
};

QList<MessageEntry> SampleMessages();

}  // namespace vantel::phonesim
