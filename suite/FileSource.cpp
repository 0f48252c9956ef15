#include "FileSource.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ios>
#include <sys/stat.h>
#include <unistd.h>

namespace zelk::suite {

FileSource::FileSource() : buffer_(std::make_unique_for_overwrite<char[]>(BufferSize)) {}

FileSource::~FileSource() { close(); }

bool FileSource::open(const std::string& path, std::string& error, bool regularFile) {
    close();
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (!regularFile && ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        // A directory opens, but holds no script: it must not pass as empty.
        ::close(fd);
        error = "is a directory";
        return false;
    }
    fd_ = fd;
    regularFile_ = regularFile;
    atEnd_ = false;
    setg(buffer_.get(), buffer_.get(), buffer_.get());
    return true;
}

void FileSource::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    setg(nullptr, nullptr, nullptr);
}

FileSource::int_type FileSource::underflow() {
    if (fd_ < 0 || atEnd_) {
        return traits_type::eof();
    }
    ssize_t got = 0;
    do {
        got = ::read(fd_, buffer_.get(), BufferSize);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        throw std::ios_base::failure(std::strerror(errno));
    }
    if (got == 0) {
        return traits_type::eof();
    }
    // A regular file's read comes back short only at its end (pipes and devices may give
    // any amount at a time).
    atEnd_ = regularFile_ && static_cast<std::size_t>(got) < BufferSize;
    setg(buffer_.get(), buffer_.get(), buffer_.get() + got);
    return traits_type::to_int_type(buffer_[0]);
}

}  // namespace zelk::suite
