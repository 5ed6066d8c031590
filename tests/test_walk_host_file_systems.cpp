// Walks of trees that cross the host's file systems, as Wine shows them: objects of two
// volumes that share an index, and sizes that no disk holds, as a tmpfs's sparse files have.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "temporary_tree.hpp"
#include "walking.hpp"
#include "work-walk.hpp"

using Work::File_Information;
using Walking::Record_Of;
using Walking::Records;
using Walking::Search;

namespace {

// What a folder's records add to the sums: the root's total when it is the root.
std::uint64_t Counted_Below(const std::vector<File_Information>& records, const std::wstring& folder) {
    std::uint64_t total = 0;
    for (const File_Information& record : records)
        if (record.Folder_Name == folder) total += Counted_Size_Of(record).Value();
    return total;
}

// On a tmpfs mounted in the tree: a 5 MB file and a folder whose inode numbers are those of
// two files of the machine's root file system, linked in beside them (Wine follows a file's
// symbolic link), one of them twice. What each object adds once is what find(1) counts by
// device and inode.
constexpr const char* Colliding_Tree = R"PYTHON(
import os, subprocess, sys
mount, out = sys.argv[1], sys.argv[2]
root_device = os.stat('/').st_dev
files = []
for folder, _, names in os.walk('/etc'):
    for name in names:
        path = os.path.join(folder, name)
        status = os.lstat(path)
        if status.st_dev == root_device and os.path.isfile(path) and not os.path.islink(path)                 and 0 < status.st_size < 100000 and 16 <= status.st_ino < 5000 and os.access(path, os.R_OK):
            files.append((status.st_ino, path))
files.sort()
if len(files) < 2:
    sys.exit(3)
(file_inode, file_path), (folder_inode, folder_path) = files[0], files[1]
os.makedirs(mount, exist_ok=True)
subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=32m', 'tmpfs', mount], check=True)
fillers = os.path.join(mount, 'fillers')
os.mkdir(fillers)
made = 0
def make(inode, place, is_folder):
    global made
    while True:
        made += 1
        path = os.path.join(fillers, str(made))
        os.mkdir(path) if is_folder else open(path, 'w').close()
        if os.stat(path).st_ino == inode:
            return os.rename(path, place)
        if os.stat(path).st_ino > inode:
            sys.exit(4)
walk = os.path.join(mount, 'walked')
os.mkdir(walk)
for inode, place, is_folder in sorted([(file_inode, os.path.join(walk, 'big'), False),
                                        (folder_inode, os.path.join(walk, 'folder'), True)]):
    make(inode, place, is_folder)
subprocess.run(['rm', '-rf', fillers], check=True)
with open(os.path.join(walk, 'big'), 'wb') as big:
    big.write(b'b' * 5000000)
with open(os.path.join(walk, 'folder', 'inside'), 'wb') as inside:
    inside.write(b'i' * 7)
os.symlink(file_path, os.path.join(walk, 'host file'))
os.symlink(file_path, os.path.join(walk, 'host file again'))
os.symlink(folder_path, os.path.join(walk, 'host file like the folder'))
found = subprocess.run(['find', '-L', walk, '-type', 'f', '-printf', '%D %i %s\n'],
                       check=True, capture_output=True, text=True).stdout.split('\n')
total = sum(int(line.split()[2]) for line in set(found) if line)
open(out, 'w').write('%d %d' % (total, os.stat(file_path).st_size))
)PYTHON";

}  // namespace

// Wine follows a host's links across its file systems, whose inode numbers are the file
// indices it reports: two objects with one index are one only when their volumes are one.
TEST(Walk, ObjectsOnTwoVolumesWithOneIndexCountEach) {
    Temporary_Tree tree;
    const std::wstring host_mount = Host_Path_Of(tree.Path_Of(L"tmpfs"));
    const std::wstring expected_file = tree.Path_Of(L"expected.txt");
    if (host_mount.empty()) GTEST_SKIP() << "no host system here";
    const Host_Command_At_Exit unmount(L"/bin/umount " + host_mount);
    if (!Run_Host_Python(Colliding_Tree, host_mount + L" " + Host_Path_Of(expected_file)))
        GTEST_SKIP() << "no tmpfs with inode numbers of the root file system here";
    std::uint64_t expected = 0;
    std::uint64_t host_file_size = 0;
    std::ifstream(std::filesystem::path(expected_file)) >> expected >> host_file_size;
    ASSERT_GT(expected, 5'000'000u);

    for (int threads : {1, 8}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        ASSERT_TRUE(Search(tree.Path_Of(L"tmpfs\\walked"), threads));
        const std::vector<File_Information> records = Records();
        EXPECT_EQ(Counted_Below(records, L""), expected);
        ASSERT_NE(Record_Of(records, L"\\big"), nullptr);
        EXPECT_FALSE(Record_Of(records, L"\\big")->Is_Shared);
        ASSERT_NE(Record_Of(records, L"\\folder"), nullptr);
        EXPECT_FALSE(Record_Of(records, L"\\folder")->Is_Shared);
        EXPECT_EQ(Record_Of(records, L"\\folder")->Object_Size.Value(), 7u);
        // The host's file, linked twice, is one object: one of its names counts.
        const File_Information* first = Record_Of(records, L"\\host file");
        const File_Information* again = Record_Of(records, L"\\host file again");
        ASSERT_TRUE(first && again);
        EXPECT_EQ(first->Object_Size.Value(), host_file_size);
        EXPECT_NE(first->Is_Shared, again->Is_Shared);
    }
}

// Sparse files of 2^63 - 1 bytes each, as a tmpfs holds them: their folder's sum stays at the
// largest size there is, rather than wrap round to a small one.
TEST(Walk, SizesPastWhatSixtyFourBitsHoldStayAtTheLargest) {
    Temporary_Tree tree;
    const std::wstring host_mount = Host_Path_Of(tree.Path_Of(L"sparse"));
    if (host_mount.empty()) GTEST_SKIP() << "no host system here";
    const Host_Command_At_Exit unmount(L"/bin/umount " + host_mount);
    if (!Run_Host_Python("import os, subprocess, sys\n"
                         "os.makedirs(sys.argv[1])\n"
                         "subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=1m', 'tmpfs', sys.argv[1]], check=True)\n"
                         "os.mkdir(sys.argv[1] + '/folder')\n"
                         "for name in 'abc':\n"
                         "    open(sys.argv[1] + '/folder/' + name, 'w').close()\n"
                         "    os.truncate(sys.argv[1] + '/folder/' + name, 2**63 - 1)\n",
                         host_mount))
        GTEST_SKIP() << "no tmpfs here";
    ASSERT_TRUE(Search(tree.Path_Of(L"sparse"), 1));
    const std::vector<File_Information> records = Records();
    ASSERT_NE(Record_Of(records, L"\\folder\\a"), nullptr);
    EXPECT_EQ(Record_Of(records, L"\\folder\\a")->Object_Size.Value(), 0x7FFFFFFFFFFFFFFFu);
    ASSERT_NE(Record_Of(records, L"\\folder"), nullptr);
    EXPECT_EQ(Record_Of(records, L"\\folder")->Object_Size.Value(), ~std::uint64_t{0});
}
