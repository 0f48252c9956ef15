#include "AtomicFile.hpp"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <utility>

namespace zelk::suite {

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {}

AtomicFile::~AtomicFile() { abandon(); }

bool AtomicFile::open(std::string& error) {
    // Hidden, beside the file, so that the rename stays within one file system; created with
    // the mode any new file gets (0666 less the umask), unlike mkstemp's 0600.
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path target(path_);
    const std::string stem = "." + target.filename().string() + "." + std::to_string(::getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name =
            (target.parent_path() / (stem + "." + std::to_string(counter++) + ".tmp")).string();
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temporary_ = name;
            writeErrno_ = 0;
            return true;
        }
        if (errno != EEXIST) {
            error = std::strerror(errno);
            return false;
        }
    }
    error = "no free temporary name";
    return false;
}

bool AtomicFile::write(std::string_view data) {
    if (fd_ < 0 || writeErrno_ != 0) {
        return false;
    }
    while (!data.empty()) {
        const ssize_t wrote = ::write(fd_, data.data(), data.size());
        if (wrote < 0) {
            if (errno == EINTR) {
                continue;
            }
            writeErrno_ = errno;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return true;
}

bool AtomicFile::commit(std::string& error) {
    if (fd_ < 0) {
        error = "not open";
        return false;
    }
    const int closed = ::close(fd_);
    fd_ = -1;
    if (writeErrno_ != 0 || closed != 0) {
        error = std::strerror(writeErrno_ != 0 ? writeErrno_ : errno);
        abandon();
        return false;
    }
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        error = std::strerror(errno);
        abandon();
        return false;
    }
    temporary_.clear();
    return true;
}

void AtomicFile::abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool writeFileAtomically(const std::string& path, std::string_view text, std::string& error) {
    AtomicFile file(path);
    if (!file.open(error)) {
        return false;
    }
    if (!file.write(text)) {
        return file.commit(error);  // reports the write's error
    }
    return file.commit(error);
}

}  // namespace zelk::suite
