#include "monitoring/ChannelSet.h"

#include "settings/AnsiText.h"
#include "settings/FuncP.h"
#include "settings/KeloError.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

ChannelSet parseChannelSet(const QByteArray& bytes)
{
    ChannelSet set;
    const QList<QByteArray> lines = splitFileLines(bytes);
    if (lines.isEmpty())
        return set;
    const QString title = fromAnsi(lines.first());
    set.Title = GetField(title, 1);
    set.Sampling = GetField(title, 2);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString line = fromAnsi(lines[i]);
        set.channels.append({GetField(line, 1), GetField(line, 2), GetField(line, 3), GetField(line, 4),
                             GetField(line, 5), GetField(line, 6), GetField(line, 7)});
    }
    return set;
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
    return parseChannelSet(file.readAll());
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
