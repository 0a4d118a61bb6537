#pragma once
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Small file helpers for tests that check the bytes of files.
[[nodiscard]] QByteArray readBytes(const QString& path);
void writeBytes(const QString& path, const QByteArray& bytes);

// A temporary program directory: ProgramPath points at it while it lives.
class ProgramDir {
public:
    ProgramDir();
    ~ProgramDir();
    [[nodiscard]] QString path() const { return m_dir.path(); }
    [[nodiscard]] QString file(const QString& name) const { return m_dir.filePath(name); }
    [[nodiscard]] QString mainIni() const { return file(QStringLiteral("Main.ini")); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};
