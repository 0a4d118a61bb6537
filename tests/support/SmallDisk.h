#pragma once
// A 64 KiB tmpfs of the test's own, to fill up, make read-only and free
// again (mounting needs root; tests skip where it is refused).
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <sys/mount.h>

// A tmpfs mounted over a temporary folder for as long as it lives.
class SmallDisk {
public:
    SmallDisk()
    {
        if (::mount("tmpfs", m_dir.path().toLocal8Bit().constData(), "tmpfs", 0, "size=64k") == 0)
            m_mounted = true;
        else
            m_why = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_dir.path().toLocal8Bit().constData(), MNT_DETACH);
    }
    [[nodiscard]] bool mounted() const { return m_mounted; }
    [[nodiscard]] const QString& why() const { return m_why; }
    [[nodiscard]] QString file(const QString& name) const { return m_dir.filePath(name); }
    bool setReadOnly(bool readOnly)
    {
        const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
        return ::mount("tmpfs", m_dir.path().toLocal8Bit().constData(), "tmpfs", flags, "size=64k") == 0;
    }
    // Takes every free block, so the next block any file needs is refused.
    bool fill()
    {
        QFile filler(file(QStringLiteral("filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(512, 'x');
        while (filler.write(block) == block.size()) {
        }
        return true;
    }
    bool makeRoom() { return QFile::remove(file(QStringLiteral("filler"))); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_why;
};

