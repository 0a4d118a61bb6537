#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

// One channel: which controller register is read and how it is shown.
// All fields are held as text, exactly as stored; users convert at use.
struct ChannelDef {
    QString Addr;     // two characters, e.g. "01"
    QString Caption;
    QString Reg;      // four characters, e.g. "0001"
    QString Dot;      // decimal places of the raw value
    QString Max;
    QString Min;
    QString Color;    // decimal R + 256·G + 65536·B

    friend bool operator==(const ChannelDef&, const ChannelDef&) = default;
};

// A channel set: title, sampling interval (ms, as text) and channels in order.
struct ChannelSet {
    QString Title;
    QString Sampling;
    QList<ChannelDef> channels;

    friend bool operator==(const ChannelSet&, const ChannelSet&) = default;
};

// The .khd file: code page 949 lines ending in CR LF; line 1 "Title;Sampling",
// then one "Addr;Caption;Reg;Dot;Max;Min;Color" line per channel. Reading
// takes lines ending at LF or CR LF and fields with GetField.
[[nodiscard]] ChannelSet parseChannelSet(const QByteArray& bytes);
[[nodiscard]] QByteArray channelSetBytes(const ChannelSet& set);

// A channel set file line is kept up to this many bytes and the rest of it
// skipped: the editor writes lines of a few dozen bytes, and a damaged or
// foreign file must not take the windows' memory and time with one line.
inline constexpr qsizetype kMaxChannelSetLine = 4096;

// Throw KeloError when the file cannot be read or written. Reading takes the
// file a block at a time and cuts lines at kMaxChannelSetLine.
[[nodiscard]] ChannelSet readChannelSetFile(const QString& path);
void writeChannelSetFile(const QString& path, const ChannelSet& set);

// Appends `extension` (".khd", ".kmr") unless the name's last four
// characters are exactly it (case-sensitive: "x.KHD" becomes "x.KHD.khd").
[[nodiscard]] QString withExtension(const QString& name, const QString& extension);

// Splits file bytes into lines: a line ends at LF or CR LF; a lone CR stays
// in the line. A final line end does not start another line.
[[nodiscard]] QList<QByteArray> splitFileLines(const QByteArray& bytes);
