#include <array>
#include <filesystem>
#include <fstream>
#include <istream>
#include <iterator>
#include <string>

#include "FileSource.hpp"

#include <gtest/gtest.h>

namespace zelk::suite {
namespace {

namespace fs = std::filesystem;

// Files of every size around the buffer's, read whole, as a regular file known to be one
// (which ends at the first short read) and as any path (which reads until a read gives
// nothing); one source serves them all in turn.
TEST(FileSourceTest, ReadsEveryFileWholeAroundItsBufferSize) {
    const fs::path dir = fs::temp_directory_path() / "zelk-file-source";
    fs::create_directories(dir);
    FileSource source;
    std::istream in(&source);
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65535},
                                   std::size_t{65536}, std::size_t{65537}, std::size_t{200000}}) {
        std::string text;
        for (std::size_t i = 0; i < size; ++i) {
            text += static_cast<char>('a' + i % 26);
        }
        const fs::path path = dir / ("f" + std::to_string(size));
        std::ofstream(path, std::ios::binary) << text;
        for (const bool regular : {true, false}) {
            std::string error;
            ASSERT_TRUE(source.open(path.string(), error, regular)) << error;
            in.clear();
            std::string read;
            std::array<char, 4096> chunk{};
            while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
                read.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
            }
            EXPECT_EQ(read.size(), size) << size << (regular ? " regular" : "");
            EXPECT_TRUE(read == text) << size;
        }
    }
    fs::remove_all(dir);
}

TEST(FileSourceTest, MissingFilesAndDirectoriesDoNotOpen) {
    FileSource source;
    std::string error;
    EXPECT_FALSE(source.open("/nonexistent/zelk.zelk", error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(source.open(fs::temp_directory_path().string(), error));
    EXPECT_EQ(error, "is a directory");
}

}  // namespace
}  // namespace zelk::suite
