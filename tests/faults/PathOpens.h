#pragma once
// Counts how often a path is opened, by putting a FIFO there and watching it:
// a program that tries to reopen a vanished serial device at that path opens
// the FIFO, finds it is no terminal and gives up, once per attempt.
#include <QFile>
#include <QString>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

class PathOpens {
public:
    explicit PathOpens(const QString& path) : m_path(QFile::encodeName(path))
    {
        if (::mkfifo(m_path.constData(), 0600) != 0)
            return;
        m_watcher = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        // Closes are watched too: they keep the kernel from merging one open with the next.
        if (m_watcher >= 0 && ::inotify_add_watch(m_watcher, m_path.constData(), IN_OPEN | IN_CLOSE) < 0) {
            ::close(m_watcher);
            m_watcher = -1;
        }
    }
    ~PathOpens()
    {
        if (m_watcher >= 0)
            ::close(m_watcher);
        ::unlink(m_path.constData());
    }
    PathOpens(const PathOpens&) = delete;
    PathOpens& operator=(const PathOpens&) = delete;

    [[nodiscard]] bool watching() const { return m_watcher >= 0; }

    // Opens since the last call.
    int take()
    {
        int opens = 0;
        alignas(inotify_event) char buf[4096];
        for (ssize_t n; m_watcher >= 0 && (n = ::read(m_watcher, buf, sizeof buf)) > 0;) {
            for (char* p = buf; p < buf + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
                opens += (reinterpret_cast<inotify_event*>(p)->mask & IN_OPEN) != 0;
        }
        return opens;
    }

private:
    QByteArray m_path;
    int m_watcher = -1;
};
