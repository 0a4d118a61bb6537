#pragma once
// Hostile channel set (.khd) and record (.kmr) files, made at run time, and
// the three windows that read them, each driven headless through its own
// open button with scripted dialogs. Shared by the hostile-file test and the
// bench program that times the same opens.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

struct HostileCase {
    const char* name;
    // Bytes of the channel set file; empty function: a plain two-channel set.
    std::function<QByteArray()> set;
    // Bytes of the record file; empty function: line 1 names the set, then two samples.
    std::function<QByteArray()> record;
    // The set file's name in the record's folder.
    QString setName = QStringLiteral("set.khd");
};

[[nodiscard]] const std::vector<HostileCase>& hostileCases();

enum class Reader { Monitoring, Editor, Viewer };
[[nodiscard]] const char* readerName(Reader reader);

// What one window made of one file.
struct OpenOutcome {
    QStringList messages;   // message boxes, error boxes and escaped errors, in order
    qint64 channels = 0;    // channel rows (monitoring, editor) or channel columns (viewer)
    qint64 samples = 0;     // viewer: sample rows
    qint64 longestText = 0; // longest text a channel row, title or header list shows
    double openMs = 0;      // the open handler (the window is blocked this long)
    double paintMs = 0;     // painting the window afterwards
    double longestSliceMs = 0; // viewer: longest step of its sliced read
};

// The files of `c` written into `folder` (set and record side by side).
struct HostilePaths {
    QString set;
    QString record;
};
[[nodiscard]] HostilePaths writeHostileFiles(const HostileCase& c, const QString& folder);

// Opens the set (monitoring window, editor) or the record with its set
// (viewer) as an operator would, and reports what the window shows.
// Needs a QApplication and a program directory (ProgramPath) with Main.ini.
[[nodiscard]] OpenOutcome openIn(Reader reader, const HostilePaths& paths);

// Whether the case's files can be read by that window at all (the monitoring
// window and the editor read only the set).
[[nodiscard]] bool caseConcerns(const HostileCase& c, Reader reader);
