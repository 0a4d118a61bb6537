#include "tests/support/Files.h"

#include "settings/FuncP.h"

#include <QFile>

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

ProgramDir::ProgramDir() : m_previous(ProgramPath)
{
    SetProgramPath(m_dir.path());
}

ProgramDir::~ProgramDir()
{
    ProgramPath = m_previous;
}
