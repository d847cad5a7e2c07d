#include "platform/BlockReader.h"

#include "platform/Files.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace velmar;

// The blocks taken one after another give the file from where it stood, in order; the work saw each block
// on the reading thread before it was taken; and the block taken before stays as it was until the next take.
TEST(BlockReader, HandsOutTheFileInOrderAndKeepsTheBlockBefore)
{
    std::string content;
    for (int i = 0; i < 1000; ++i)
        content += "line " + std::to_string(i) + "\n";
    test::TempDir dir;
    const std::string path = dir.write("new_line.log", content);
    // Blocks of 1 byte, of sizes that do not divide the file, and one larger than the file.
    for (const size_t blockSize : { size_t { 1 }, size_t { 7 }, size_t { 4096 }, size_t { 1 } << 20 }) {
        SCOPED_TRACE("block " + std::to_string(blockSize));
        FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_GE(fd.get(), 0);
        ASSERT_EQ(::lseek(fd.get(), 5, SEEK_SET), 5); // from where the file stands
        std::vector<std::string> worked(3);
        BlockReader reader(fd.get(), blockSize,
            [&](size_t slot, const char* bytes, size_t size) { worked[slot].assign(bytes, size); });
        std::string all;
        std::string before;
        const char* beforeBytes = nullptr;
        for (;;) {
            const size_t slot = reader.take();
            if (beforeBytes != nullptr) {
                EXPECT_EQ(std::string(beforeBytes, before.size()), before);
            }
            const size_t size = reader.size(slot);
            if (size == 0)
                break;
            const std::string block(reader.bytes(slot), size);
            EXPECT_EQ(worked[slot], block);
            all += block;
            reader.readAhead();
            before = block;
            beforeBytes = reader.bytes(slot);
        }
        EXPECT_EQ(all, content.substr(5));
    }
}
