#pragma once
// Shared pieces of the fuzz targets: a failed invariant aborts with its text
// (libFuzzer then keeps the input as a crash), and a scratch file on /dev/shm
// so file-based readers cost a page-cache copy, not a disk write.
#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// Set by a target to describe the input it is checking when an invariant fails.
inline std::function<void()>& fuzzContext()
{
    static std::function<void()> describe;
    return describe;
}

inline void fuzzPrintHex(const char* name, const QByteArray& bytes)
{
    std::fprintf(stderr, "  %s (%lld bytes): %s\n", name, static_cast<long long>(bytes.size()),
                 bytes.left(512).toHex(' ').constData());
}

#define FUZZ_CHECK(cond, what)                                                              \
    do {                                                                                    \
        if (!(cond)) {                                                                      \
            std::fprintf(stderr, "invariant failed: %s (%s) at %s:%d\n", what, #cond,       \
                         __FILE__, __LINE__);                                               \
            if (fuzzContext())                                                              \
                fuzzContext()();                                                            \
            std::abort();                                                                   \
        }                                                                                   \
    } while (0)

// One scratch folder per process, so parallel jobs (-jobs=N) do not share files.
inline const QString& fuzzScratchDir()
{
    static const QString dir = [] {
        const char* base = std::getenv("KELO_FUZZ_SCRATCH");
        std::string path = std::string(base && *base ? base : "/dev/shm") + "/kelo-fuzz-"
            + std::to_string(::getpid());
        ::mkdir(path.c_str(), 0700);
        return QString::fromStdString(path);
    }();
    return dir;
}

inline QString fuzzScratchFile(const char* name)
{
    return fuzzScratchDir() + QLatin1Char('/') + QLatin1String(name);
}

// Replaces the file's bytes (plain POSIX: this runs millions of times).
inline void fuzzWriteFile(const QString& path, const char* data, size_t size)
{
    const QByteArray name = path.toLocal8Bit();
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    FUZZ_CHECK(fd >= 0, "scratch file opens");
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        FUZZ_CHECK(n > 0, "scratch file takes the bytes");
        data += n;
        size -= size_t(n);
    }
    ::close(fd);
}

inline QByteArray fuzzReadFile(const QString& path)
{
    QByteArray bytes;
    const QByteArray name = path.toLocal8Bit();
    const int fd = ::open(name.constData(), O_RDONLY);
    FUZZ_CHECK(fd >= 0, "scratch file reopens");
    char block[65536];
    for (ssize_t n; (n = ::read(fd, block, sizeof block)) > 0;)
        bytes.append(block, n);
    ::close(fd);
    return bytes;
}
