// Channel set files (.khd): arbitrary bytes through the reader, the monitoring
// window's checks and the writer.
//
// Checked: the lines are the file split at LF and CR LF, nothing lost or
// added; line 1 gives title and sampling, every further line one channel;
// writing a set and reading it back gives the same set whenever its text
// survives code page 949 (fields cannot hold ";" or line ends once read);
// the monitoring checks either pass or throw our error type, nothing else;
// the file reader (on /dev/shm) reads what the in-memory parser reads, as no
// input line is longer than the 4096 bytes a file line is kept to.
#include "fuzz/FuzzInput.h"
#include "monitoring/ChannelSet.h"
#include "monitoring/ChannelSetCheck.h"
#include "settings/AnsiText.h"
#include "settings/KeloError.h"

#include <cstdint>

namespace {

bool representable(const QString& s)
{
    return !s.contains(QChar::ReplacementCharacter) && !s.contains(QChar(0x1A)) && fromAnsi(toAnsi(s)) == s;
}

bool representable(const ChannelSet& set)
{
    if (!representable(set.Title) || !representable(set.Sampling))
        return false;
    for (const ChannelDef& c : set.channels)
        for (const QString* f : {&c.Addr, &c.Caption, &c.Reg, &c.Dot, &c.Max, &c.Min, &c.Color})
            if (!representable(*f))
                return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    const QList<QByteArray> lines = splitFileLines(bytes);
    QByteArray joined = lines.join('\n');
    if (bytes.endsWith('\n'))
        joined += '\n';
    QByteArray lfOnly = bytes;
    lfOnly.replace("\r\n", "\n");
    FUZZ_CHECK(joined == lfOnly, "lines are the file split at its line ends");
    for (const QByteArray& l : lines)
        FUZZ_CHECK(!l.contains('\n'), "no line holds an LF");

    const ChannelSet set = parseChannelSet(bytes);
    FUZZ_CHECK(set.channels.size() == std::max<qsizetype>(lines.size() - 1, 0), "one channel per line after line 1");
    for (const QString* f : {&set.Title, &set.Sampling})
        FUZZ_CHECK(!f->contains(u';') && !f->contains(u'\n'), "title fields hold no separator");
    for (const ChannelDef& c : set.channels)
        for (const QString* f : {&c.Addr, &c.Caption, &c.Reg, &c.Dot, &c.Max, &c.Min, &c.Color})
            FUZZ_CHECK(!f->contains(u';') && !f->contains(u'\n'), "channel fields hold no separator");

    if (representable(set)) {
        const QByteArray written = channelSetBytes(set);
        FUZZ_CHECK(written.endsWith("\r\n"), "written lines end with CR LF");
        FUZZ_CHECK(parseChannelSet(written) == set, "a written set reads back the same");
    }

    const QString path = fuzzScratchFile("set.khd");
    fuzzWriteFile(path, bytes.constData(), size_t(bytes.size()));
    if (bytes.size() <= 4096)
        FUZZ_CHECK(readChannelSetFile(path) == set, "the file reader reads what the parser reads");

    try {
        checkMonitoringChannelSet(set, QStringLiteral("fuzz.khd"));
    } catch (const KeloError& e) {
        FUZZ_CHECK(!e.text().isEmpty(), "a refusal says why");
    }
    return 0;
}
