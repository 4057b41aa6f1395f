#include "sources/importfile.h"

#include <QDeadlineTimer>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "image/cloneimage.h"
#include "image/imagefile.h"

namespace {
// How long a pipe or a device may take to give its whole text.
constexpr int kPipeWaitMs = 10'000;
// A channel list is some 100 kB; a directory of a whole country some tens of MiB.
constexpr qint64 kListLimit = 4 << 20;
constexpr qint64 kDirectoryLimit = qint64(128) << 20;
}  // namespace

namespace {

bool StartsAsJson(const QByteArray& bytes) {
    for (const char c : bytes)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return c == '{';
    return false;
}

// With `byContent` the limit is the directory's once the text shows one, else `limit`.
bool ReadBounded(const QString& path, qint64 limit, QString what, bool byContent, QByteArray* bytes,
                 QString* error) {
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    // Not blocking: opening a named pipe would otherwise wait for a writer that may never come.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* f) {
        ::close(*f);
        delete f;
    });
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISDIR(st.st_mode))
        return fail(QStringLiteral("it is a folder"));
    // A pipe or a device gives what it has within a bounded time; a file at once.
    const QDeadlineTimer deadline(kPipeWaitMs);
    QByteArray read;
    if (S_ISREG(st.st_mode) && st.st_size <= limit)
        read.reserve(qsizetype(st.st_size) + 1);
    char buffer[65536];
    while (read.size() <= limit) {
        const ssize_t n =
            ::read(fd, buffer, size_t(std::min<qint64>(sizeof buffer, limit + 1 - read.size())));
        if (n > 0) {
            read.append(buffer, n);
            if (byContent && limit < kDirectoryLimit && StartsAsJson(read)) {
                limit = kDirectoryLimit;
                what = QStringLiteral("a repeater directory");
            }
            continue;
        }
        if (n == 0)
            break;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return fail(QStringLiteral("it did not end within %1 s; a pipe or device is read for "
                                       "at most that long")
                            .arg(kPipeWaitMs / 1000));
        pollfd wait{fd, POLLIN, 0};
        ::poll(&wait, 1, int(left));
    }
    if (read.size() > limit)
        return fail(QStringLiteral("it is larger than %1 MiB, too large for %2")
                        .arg(limit >> 20)
                        .arg(what));
    if (S_ISFIFO(st.st_mode) && read.isEmpty())
        return fail(QStringLiteral("it is a pipe that nothing was written to"));
    *bytes = std::move(read);
    return true;
}

}  // namespace

bool ReadImportFile(const QString& path, qint64 limit, const QString& what, QByteArray* bytes,
                    QString* error) {
    return ReadBounded(path, limit, what, false, bytes, error);
}

bool ReadImportFile(const QString& path, QByteArray* bytes, QString* error) {
    return ReadBounded(path, kListLimit, QStringLiteral("a channel list"), true, bytes, error);
}

ImportKind ImportKindOf(const QByteArray& bytes) {
    // An image as opening one tells it: its size, or the other programmer's mark after it,
    // and a VX-8 identity.
    const qsizetype size = CloneLayout::kImageSize;
    const bool sized = bytes.size() == size ||
                       bytes.mid(size, ImageFile::kTrailerMark.size()) == ImageFile::kTrailerMark;
    if (sized && IsAcceptedIdentity(IdentityText(bytes, CloneLayout::kIdentityCompared)))
        return ImportKind::Image;
    // A directory export is one JSON object; a CSV never starts with a brace.
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (c == '{')
            return ImportKind::Directory;
        break;
    }
    return bytes.startsWith("\xEF\xBB\xBF{") ? ImportKind::Directory : ImportKind::Csv;
}
