#include "recording/posix_output_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace adc {

std::unique_ptr<PosixOutputFile> PosixOutputFile::open(const std::string& path, OpenMode mode,
                                                       int& error)
{
    if (path == kStandardOutput)
        return std::unique_ptr<PosixOutputFile>(new PosixOutputFile(STDOUT_FILENO, false));

    int flags = O_WRONLY | O_CLOEXEC | O_NOCTTY;
    struct stat info
    {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            error = errno;
            return nullptr;
        }
        // Exclusive, so that a file appearing meanwhile is not overwritten either, nor taken
        // for one of ours.
        flags |= O_CREAT | O_EXCL;
    } else if (S_ISREG(info.st_mode)) {
        if (mode == OpenMode::Create) {
            error = EEXIST;
            return nullptr;
        }
        flags |= mode == OpenMode::Append ? O_APPEND : O_TRUNC;
    } else {
        // A pipe without a reader would block here for ever, a terminal until its carrier
        // comes: open without waiting, then write as to any file.
        flags |= O_NONBLOCK;
    }

    int fd = -1;
    do
        fd = ::open(path.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno == EEXIST && mode == OpenMode::Append)
        return open(path, mode, error); // made by someone else meanwhile: added to
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    if (flags & O_NONBLOCK)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::unique_ptr<PosixOutputFile> file(new PosixOutputFile(fd, true));
    file->m_created = (flags & O_CREAT) != 0;
    return file;
}

PosixOutputFile::PosixOutputFile(int fd, bool owned) : m_fd(fd), m_owned(owned)
{
    struct stat info
    {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        m_regular = true;
        m_start = static_cast<std::uint64_t>(info.st_size);
        m_startedEmpty = info.st_size == 0;
    }
}

PosixOutputFile::~PosixOutputFile()
{
    if (m_owned)
        ::close(m_fd);
}

std::size_t PosixOutputFile::write(std::string_view bytes, int& error)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        if (n == 0) {
            error = EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void PosixOutputFile::truncateTo(std::uint64_t written)
{
    if (m_regular)
        (void)::ftruncate(m_fd, static_cast<off_t>(m_start + written));
}

} // namespace adc
