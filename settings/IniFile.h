#pragma once
#include <QString>

// Our reader and writer of Windows initialization files (Main.ini).
// Section and key names compare without regard to letter case; spaces around
// a value are not part of it; the first of duplicate sections or keys counts.
// A write changes only the bytes of the one key line it touches: an existing
// key is replaced in place, a new key goes to the end of its section, a new
// section to the end of the file; new lines end with CR LF. Every call goes to
// the file; nothing is cached. Text is code page 949.
class IniFile {
public:
    explicit IniFile(QString fileName) : m_fileName(std::move(fileName)) {}

    // The value, or the empty text when the file, section or key is missing
    // or the file cannot be read.
    [[nodiscard]] QString read(const QString& section, const QString& key) const;
    // The file is there but cannot be read (no permission, a read error).
    // Nothing is then written to it.
    [[nodiscard]] bool unreadable() const;
    // A value is stored up to its first CR or LF, as a setting is one line.
    // Throws KeloError "Unable to write to <full file name>" when the file
    // cannot be written or cannot be read first; the file is then left as it was.
    void write(const QString& section, const QString& key, const QString& value) const;

    [[nodiscard]] const QString& fileName() const { return m_fileName; }

    // The same rules on the bytes of a file already in memory: the value a
    // read finds, and the bytes a write leaves.
    [[nodiscard]] static QString valueIn(const QByteArray& data, const QString& section, const QString& key);
    [[nodiscard]] static QByteArray withValue(QByteArray data, const QString& section, const QString& key,
                                              const QString& value);

private:
    QString m_fileName;
};
