#!/usr/bin/python3
"""Makes a deterministic NTFS volume image for the benchmarks with ntfs-3g, or reuses the one
already there: `entries` objects (folders included) in a balanced folder hierarchy of depth 3
and fan-out 10, files of small varied sizes, one in a hundred with a named stream. Through
ntfs-3g's mount this takes minutes for a million entries; the image is kept.

  make_ntfs_volume.py IMAGE ENTRIES
"""

import os
import random
import subprocess
import sys

VERSION = "1"


def folders_of(depth, fan_out):
    folders = [""]
    level = [""]
    for _ in range(depth):
        level = [os.path.join(parent, "folder%02d" % index) for parent in level for index in range(fan_out)]
        folders += level
    return folders


def populate(root, entries):
    generator = random.Random(1)
    folders = folders_of(3, 10)
    for folder in folders[1:]:
        os.mkdir(os.path.join(root, folder))
    files = max(0, entries - (len(folders) - 1))
    for index in range(files):
        path = os.path.join(root, folders[index % len(folders)], "file%07d.dat" % index)
        with open(path, "wb") as file:
            file.write(b"q" * generator.randint(0, 600))
        if index % 100 == 0:
            with open(path + ":extra", "wb") as stream:
                stream.write(b"s" * generator.randint(1, 5000))


def main(image, entries):
    stamp = image + ".stamp"
    wanted = "entries=%d version=%s\n" % (entries, VERSION)
    if os.path.exists(image) and os.path.exists(stamp) and open(stamp).read() == wanted:
        return
    for old in (image, stamp):
        if os.path.exists(old):
            os.remove(old)
    made = image + ".new"
    with open(made, "wb") as file:
        file.truncate(max(256, entries // 200) * 1024 * 1024 * 2)
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    subprocess.run(["mkntfs", "-F", "-Q", "-q", "-L", "BENCH", made], **quiet)
    mount_point = made + ".mount"
    os.makedirs(mount_point, exist_ok=True)
    subprocess.run(["ntfs-3g", "-o", "streams_interface=windows", made, mount_point], **quiet)
    try:
        populate(mount_point, entries)
    finally:
        subprocess.run(["umount", mount_point], **quiet)
    os.rmdir(mount_point)
    os.rename(made, image)
    open(stamp, "w").write(wanted)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]))
