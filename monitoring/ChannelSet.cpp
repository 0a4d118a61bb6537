#include "monitoring/ChannelSet.h"

#include "settings/AnsiText.h"
#include "settings/FuncP.h"
#include "settings/KeloError.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

QList<QByteArray> splitFileLines(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        qsizetype lf = bytes.indexOf('\n', pos);
        if (lf < 0) {
            lines << bytes.mid(pos);
            break;
        }
        qsizetype end = lf;
        if (end > pos && bytes[end - 1] == '\r')
            --end;
        lines << bytes.mid(pos, end - pos);
        pos = lf + 1;
    }
    return lines;
}

namespace {

ChannelSet setFromLines(const QList<QByteArray>& lines)
{
    ChannelSet set;
    if (lines.isEmpty())
        return set;
    const QString title = fromAnsi(lines.first());
    set.Title = GetField(title, 1);
    set.Sampling = GetField(title, 2);
    set.channels.reserve(lines.size() - 1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString line = fromAnsi(lines[i]);
        set.channels.append({GetField(line, 1), GetField(line, 2), GetField(line, 3), GetField(line, 4),
                             GetField(line, 5), GetField(line, 6), GetField(line, 7)});
    }
    return set;
}

// The lines of splitFileLines, read from a file a block at a time, each
// kept to its first `maxLine` bytes.
QList<QByteArray> readCutLines(QFile& file, qsizetype maxLine)
{
    QList<QByteArray> lines;
    QByteArray line;
    bool cut = false;
    const auto endLine = [&](bool atLf) {
        if (atLf && !cut && line.endsWith('\r'))
            line.chop(1);
        line.truncate(maxLine);
        lines << line;
        line.clear();
        cut = false;
    };
    char block[64 * 1024];
    qint64 n;
    while ((n = file.read(block, sizeof block)) > 0) {
        QByteArrayView rest(block, n);
        for (qsizetype lf; (lf = rest.indexOf('\n')) >= 0; rest = rest.sliced(lf + 1)) {
            line.append(rest.first(std::min(lf, maxLine + 1 - line.size())));
            cut = cut || line.size() > maxLine;
            endLine(true);
        }
        // One byte past the limit tells a cut line from one that ends in CR there.
        line.append(rest.first(std::min(rest.size(), maxLine + 1 - line.size())));
        cut = cut || line.size() > maxLine;
    }
    if (n < 0)
        throw KeloError(QStringLiteral("Cannot read file \"%1\". %2").arg(file.fileName(), file.errorString()));
    if (!line.isEmpty())
        endLine(false);
    return lines;
}

} // namespace

ChannelSet parseChannelSet(const QByteArray& bytes)
{
    return setFromLines(splitFileLines(bytes));
}

QByteArray channelSetBytes(const ChannelSet& set)
{
    QString text = set.Title + QLatin1Char(';') + set.Sampling + QStringLiteral("\r\n");
    for (const ChannelDef& c : set.channels) {
        text += QStringList{c.Addr, c.Caption, c.Reg, c.Dot, c.Max, c.Min, c.Color}.join(QLatin1Char(';'))
            + QStringLiteral("\r\n");
    }
    return toAnsi(text);
}

ChannelSet readChannelSetFile(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        throw KeloError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    return setFromLines(readCutLines(file, kMaxChannelSetLine));
}

void writeChannelSetFile(const QString& path, const ChannelSet& set)
{
    const QByteArray bytes = channelSetBytes(set);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw KeloError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
}

QString withExtension(const QString& name, const QString& extension)
{
    return name.endsWith(extension, Qt::CaseSensitive) ? name : name + extension;
}
