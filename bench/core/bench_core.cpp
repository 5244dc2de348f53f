// Decoding speed on a realistic mix: PDUs as phones listed them, stored as MESSAGE frames the
// way the PDU-mode retrieval wraps them, plus SMS-SUBMITs built by the send form's encoder.
// The list of a user's archive is rebuilt by MakeListLine once per stored frame, so that one
// is the figure to watch (100,000 messages in 0.2 s: under 2 microseconds each).

#include <QFile>
#include <QStringList>

#include <benchmark/benchmark.h>

#include "app/listline.h"
#include "blockmode/frame.h"
#include "compose/encoder.h"
#include "pdu/primitives.h"
#include "pdu/summary.h"
#include "pdu/technical.h"

namespace vantel {
namespace {

QString StoredFrame(const QString &listedPdu) {
    return BytesToHex(
        BuildFrame(HexPairsToChars(QStringLiteral("21067E0201") + listedPdu + u'\r')));
}

struct Mix {
    QStringList frames;    // stored frames, as the message list file holds them
    QStringList contents;  // their validated contents
    QStringList params;    // contents without the type octet: DecodeTechnical's input
};

const Mix &TheMix() {
    static const Mix mix = [] {
        Mix m;
        QFile file(QStringLiteral(VANTEL_TEST_DATA "/bench-mix.txt"));
        if (file.open(QIODevice::ReadOnly)) {
            while (!file.atEnd()) {
                const QString pdu = QString::fromLatin1(file.readLine()).trimmed();
                if (!pdu.isEmpty()) m.frames << StoredFrame(pdu);
            }
        }
        const QString texts[] = {
            QStringLiteral("Running late, start without me"),
            QStringLiteral("OK"),
            QStringLiteral("The quick brown fox jumps over the lazy dog while the phone "
                           "keeps ringing in the other room, and nobody answers it."),
            QString(160, u'x'),
        };
        for (const QString &text : texts) {
            SendFields f;
            f.to = QStringLiteral("+44 7700 900123");
            f.sc = QStringLiteral("+44 7700 900000");
            f.message = text;
            f.pid = QStringLiteral("00");
            f.dcs = QStringLiteral("00");
            const EncodedEntry e = BuildQueueEntry(f, LinkMode::Pdu);
            if (e.ok) m.frames << StoredFrame(e.entries.first().section(u',', 3));
        }
        for (const QString &frame : m.frames) {
            QString content = frame;
            if (!ValidateFrame(content)) continue;
            m.contents << content;
            m.params << content.mid(2);
        }
        return m;
    }();
    return mix;
}

void BM_MakeListLine(benchmark::State &state) {
    const QStringList &frames = TheMix().frames;
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(MakeListLine(frames[i]));
        if (++i == frames.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MakeListLine);

void BM_DecodeMessage(benchmark::State &state) {
    const QStringList &contents = TheMix().contents;
    qsizetype i = 0;
    MessageFields fields;
    for (auto _ : state) {
        benchmark::DoNotOptimize(DecodeMessage(contents[i], fields));
        if (++i == contents.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeMessage);

void BM_DecodeTechnical(benchmark::State &state) {
    const QStringList &params = TheMix().params;
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(DecodeTechnical(params[i], false));
        if (++i == params.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeTechnical);

void BM_ValidateFrame(benchmark::State &state) {
    const QStringList &frames = TheMix().frames;
    qsizetype i = 0;
    for (auto _ : state) {
        QString frame = frames[i];
        benchmark::DoNotOptimize(ValidateFrame(frame));
        if (++i == frames.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ValidateFrame);

void BM_PackSeptets(benchmark::State &state) {
    const QString text = QString(state.range(0), u'k');
    for (auto _ : state)
        benchmark::DoNotOptimize(PackSeptets(text));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PackSeptets)->Arg(10)->Arg(160);

}  // namespace
}  // namespace vantel
