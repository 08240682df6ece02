#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "core/fileio.h"
#include "core/systemfiles.h"
#include "tests/support/files.h"

namespace nuvak {
namespace {

using test::Bytes;
using test::BytesOf;

// The temporary's exclusive creation: a name already there is refused and left as it was
// (msvcrt's "wbx" would silently truncate it).
TEST(SystemFiles, CreateNewRefusesAnExistingName) {
    test::TempDir dir;
    const std::string name = dir.file("taken");
    test::WriteBytes(name, BytesOf("kept"));
    errno = 0;
    EXPECT_EQ(systemfiles::CreateNew(dir.path() / "taken"), nullptr);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(test::ReadBytes(name), BytesOf("kept"));

    // A fresh name is created for binary writing: a line end stays one byte.
    std::FILE* fresh = systemfiles::CreateNew(dir.path() / "fresh");
    ASSERT_NE(fresh, nullptr);
    EXPECT_GE(std::fputs("a\nb", fresh), 0);
    EXPECT_EQ(std::fclose(fresh), 0);
    EXPECT_EQ(test::ReadBytes(dir.file("fresh")), BytesOf("a\nb"));
}

// Written over nothing, over a longer file and over a shorter one: the bytes are exactly
// the new ones and no temporary is left beside them.
TEST(WriteFileAtomically, ReplacesWholeAndLeavesNoTemporary) {
    struct Case {
        const char* before;  // nullptr: no file yet
        const char* written;
    };
    for (const Case& c :
         std::vector<Case>{{nullptr, "first"}, {"a much longer old text", "short"}, {"x", "longer text"}}) {
        SCOPED_TRACE(c.written);
        test::TempDir dir;
        const std::string name = dir.file("out.bin");
        if (c.before) test::WriteBytes(name, BytesOf(c.before));
        const Bytes bytes = BytesOf(c.written);
        WriteFileAtomically(name, bytes);
        EXPECT_EQ(test::ReadBytes(name), bytes);
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bin"});
    }
}

}  // namespace
}  // namespace nuvak
