// Hostile channel set and record files opened in every window that reads
// them: each one ends in a message or in what can be shown, nothing escapes
// as a crash, and what is shown stays within sane sizes. The time each open
// takes is printed (bench/hostile times the same opens), never asserted.
#include "tests/hostile/HostileFiles.h"

#include "settings/FuncP.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cstdio>
#include <optional>

namespace {

struct Expectation {
    const char* caseName;
    Reader reader;
    std::optional<qint64> channels; // channel rows or columns shown, when the file is taken
    std::optional<qint64> samples;  // viewer sample rows
    bool message;                   // the window tells the operator something
};

// What each window must make of the files; combinations not listed must only
// end cleanly (no escaped error, no blank message).
const Expectation kExpected[] = {
    {"GarbageSet", Reader::Monitoring, 0, {}, true},
    {"GarbageRecord", Reader::Viewer, 0, 0, true},              // no such header file
    {"GarbageSamples", Reader::Viewer, 2, {}, false},
    {"HugeTitleLine", Reader::Editor, 1, {}, false},
    {"HugeChannelLine", Reader::Editor, 1, {}, false},
    {"HugeRecordFirstLine", Reader::Viewer, 0, 0, true},
    {"HugeSampleLine", Reader::Viewer, 2, 2, false},
    {"HundredThousandChannels", Reader::Monitoring, 0, {}, true},
    {"HundredThousandChannels", Reader::Editor, 100000, {}, false},
    {"ThousandChannels", Reader::Monitoring, 1000, {}, false},
    {"ThousandChannels", Reader::Viewer, 1000, 2, false},
    {"HundredThousandChannels", Reader::Viewer, 100000, 2, false},
    {"HundredThousandFieldsPerSample", Reader::Viewer, 2, 20, false},
    {"HundredThousandChannelsAndFields", Reader::Viewer, 100000, 20, false},
    {"InvalidCodePage949", Reader::Monitoring, 2, {}, false},
    {"InvalidCodePage949", Reader::Editor, 2, {}, false},
    {"InvalidCodePage949", Reader::Viewer, 2, 2, false},
    {"InvalidCodePage949InHeaderName", Reader::Viewer, 0, 0, true},
    {"NulBytes", Reader::Editor, 2, {}, false},
    {"NulBytes", Reader::Viewer, 2, 2, false},
    {"NulInHeaderName", Reader::Viewer, 0, 0, true},
    {"HeaderNameWithParentFolder", Reader::Viewer, 2, 2, false}, // its own folder's set.khd
    {"HeaderNameDotDot", Reader::Viewer, 0, 0, true},
    {"HeaderNameDot", Reader::Viewer, 0, 0, true},
    {"HeaderNameAbsolutePath", Reader::Viewer, 0, 0, true},
    {"HeaderNameWithSubfolder", Reader::Viewer, 2, 2, false},
    {"HeaderNameEmpty", Reader::Viewer, 0, 0, true},
    {"HeaderNameWithControlCharacters", Reader::Viewer, 0, 0, true},
    {"SetFileNameWithControlCharacters", Reader::Viewer, 0, 0, true},
    {"CaptionsWithSlashesDotsAndControlCharacters", Reader::Monitoring, 4, {}, false},
    {"CaptionsWithSlashesDotsAndControlCharacters", Reader::Editor, 4, {}, false},
    {"CaptionsWithSlashesDotsAndControlCharacters", Reader::Viewer, 4, 2, false},
    {"EmptyFiles", Reader::Monitoring, 0, {}, true},
    {"EmptyFiles", Reader::Viewer, 0, 0, true},
    {"OnlyLineEnds", Reader::Monitoring, 0, {}, true},
    // 99,999 blank channels and 100,000 empty sample lines: no rows, no 40 GB up front.
    {"OnlyLineEnds", Reader::Viewer, 99999, 0, false},
};

// The longest text any window puts on screen from a file: well above any
// name or value the windows write, far below a line of a hostile file.
constexpr qint64 kLongestShownText = 1024 * 1024;

struct Param {
    std::size_t caseIndex;
    Reader reader;
};

std::vector<Param> allParams()
{
    std::vector<Param> params;
    const auto& cases = hostileCases();
    for (std::size_t i = 0; i < cases.size(); ++i)
        for (Reader r : {Reader::Monitoring, Reader::Editor, Reader::Viewer})
            if (caseConcerns(cases[i], r))
                params.push_back({i, r});
    return params;
}

class HostileFile : public ::testing::TestWithParam<Param> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(MonitorDir()));
        writeBytes(program.mainIni(), "[ComPort1]\r\nPort=" + folder.filePath("no-such-device").toUtf8() + "\r\n");
    }
    ProgramDir program;
    QTemporaryDir folder;
};

} // namespace

TEST_P(HostileFile, EndsInAMessageOrWhatCanBeShown)
{
    const HostileCase& c = hostileCases()[GetParam().caseIndex];
    const Reader reader = GetParam().reader;
    const HostilePaths paths = writeHostileFiles(c, folder.path());
    const OpenOutcome out = openIn(reader, paths);
    std::printf("[ hostile ] %-44s %-10s open %9.1f ms  paint %7.1f ms  slice %7.1f ms  channels %lld  samples %lld"
                "  longest text %lld  messages %lld\n",
                c.name, readerName(reader), out.openMs, out.paintMs, out.longestSliceMs,
                static_cast<long long>(out.channels), static_cast<long long>(out.samples),
                static_cast<long long>(out.longestText), static_cast<long long>(out.messages.size()));
    for (const QString& m : out.messages)
        std::printf("[ hostile ]     message: %s\n", m.left(200).toUtf8().replace('\n', " / ").constData());

    for (const QString& m : out.messages) {
        EXPECT_FALSE(m.startsWith(QStringLiteral("escaped: "))) << m.toStdString();
        EXPECT_FALSE(m.trimmed().isEmpty());
        EXPECT_LE(m.size(), 4096) << "a message the operator can read";
    }
    EXPECT_LE(out.longestText, kLongestShownText);
    for (const Expectation& e : kExpected) {
        if (QLatin1String(e.caseName) != QLatin1String(c.name) || e.reader != reader)
            continue;
        if (e.channels) {
            EXPECT_EQ(out.channels, *e.channels);
        }
        if (e.samples) {
            EXPECT_EQ(out.samples, *e.samples);
        }
        EXPECT_EQ(!out.messages.isEmpty(), e.message) << out.messages.join('|').left(400).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Files, HostileFile, ::testing::ValuesIn(allParams()),
                         [](const ::testing::TestParamInfo<Param>& info) {
                             return std::string(hostileCases()[info.param.caseIndex].name) + "_"
                                 + readerName(info.param.reader);
                         });
