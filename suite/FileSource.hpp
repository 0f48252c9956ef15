#pragma once

// A script file read through its descriptor, in blocks: what zelk_suite reads each script
// with. One object serves one file after another, so a run of many small scripts pays for its
// buffer and stream set-up once. A read error is thrown as std::ios_base::failure, which the
// script runner reports as a read error part way; used by one thread.

#include <cstddef>
#include <memory>
#include <streambuf>
#include <string>

namespace zelk::suite {

class FileSource : public std::streambuf {
public:
    FileSource();
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Opens `path` for reading, closing any file open before. False, with the reason in
    // `error`, when it cannot be opened, or is a directory. `regularFile`: known to be a
    // regular file, which is then not checked, and whose end is where a read first comes
    // back short (so a small script costs one read, not two).
    bool open(const std::string& path, std::string& error, bool regularFile = false);
    void close();

protected:
    int_type underflow() override;

private:
    static constexpr std::size_t BufferSize = std::size_t{64} * 1024;
    int fd_ = -1;
    bool regularFile_ = false;
    bool atEnd_ = false;
    std::unique_ptr<char[]> buffer_;
};

}  // namespace zelk::suite
