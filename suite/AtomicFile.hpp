#pragma once

// Files written whole or not at all: the data goes to a temporary file in the same folder,
// which is then renamed over the file. An interrupted run never leaves a half-written one.

#include <string>
#include <string_view>

namespace zelk::suite {

// A file being written through a temporary one beside `path`. Nothing is left behind but a
// complete `path`: abandoned (destroyed without commit), the temporary file is removed.
class AtomicFile {
public:
    explicit AtomicFile(std::string path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file; false, with the reason in `error`, if it cannot be.
    bool open(std::string& error);
    // Appends; false once a write has failed.
    bool write(std::string_view data);
    // Writes out what is kept and renames the temporary file into place.
    bool commit(std::string& error);
    // Removes the temporary file: `path` stays as it was.
    void abandon();

    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string temporary_;
    int fd_ = -1;
    int writeErrno_ = 0;
};

// `text` as the whole of the file at `path`.
bool writeFileAtomically(const std::string& path, std::string_view text, std::string& error);

}  // namespace zelk::suite
