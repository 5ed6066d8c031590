#!/usr/bin/env python3
"""Makes a deterministic folder tree for the benchmarks, or reuses the one already there.

The tree holds `entries` objects (folders included): a balanced folder hierarchy of the
given depth and fan-out, the files spread evenly over its folders. Names are 8 to 24
characters; files are sparse, of varied small sizes, so the tree is quick to make; a share
of them belongs to another user so that a walk meets two owners.
"""

import argparse
import os
import random
import shutil
import string
import sys

NAME_CHARACTERS = string.ascii_letters + string.digits + "_-"


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("root", help="folder to hold the tree (made or replaced)")
    parser.add_argument("--entries", type=int, required=True, help="files plus folders")
    parser.add_argument("--depth", type=int, default=3, help="levels of folders below the root")
    parser.add_argument("--fan-out", type=int, default=10, help="subfolders per folder")
    parser.add_argument("--other-owner-share", type=float, default=0.1,
                        help="share of files given to the user 'nobody'")
    parser.add_argument("--seed", type=int, default=1)
    return parser.parse_args()


def stamp_of(arguments):
    return (f"entries={arguments.entries} depth={arguments.depth} fan-out={arguments.fan_out} "
            f"other-owner-share={arguments.other_owner_share} seed={arguments.seed} version=1\n")


def random_name(generator, taken):
    while True:
        name = "".join(generator.choice(NAME_CHARACTERS) for _ in range(generator.randint(8, 24)))
        # Windows names are case-insensitive: no two may differ in case only.
        if name.lower() not in taken:
            taken.add(name.lower())
            return name


def folder_paths(generator, root, depth, fan_out):
    """Every folder of the hierarchy, the root first, parents before children."""
    folders = [root]
    level = [root]
    for _ in range(depth):
        next_level = []
        for parent in level:
            taken = set()
            next_level.extend(os.path.join(parent, random_name(generator, taken))
                              for _ in range(fan_out))
        folders.extend(next_level)
        level = next_level
    return folders


def file_size(generator):
    # Mostly small, a few large: sizes spread over six orders of magnitude.
    return int(10 ** generator.uniform(0, 6))


def generate(arguments):
    generator = random.Random(arguments.seed)
    folders = folder_paths(generator, arguments.root, arguments.depth, arguments.fan_out)
    # The root itself is not an entry of the walk.
    subfolder_count = len(folders) - 1
    file_count = max(0, arguments.entries - subfolder_count)
    if arguments.entries < subfolder_count:
        sys.exit(f"{arguments.entries} entries cannot hold {subfolder_count} folders")
    for folder in folders:
        os.makedirs(folder, exist_ok=True)
    try:
        other_uid = int(__import__("pwd").getpwnam("nobody").pw_uid)
    except KeyError:
        other_uid = None
    can_chown = other_uid is not None and os.geteuid() == 0
    total_size = 0
    for folder_index, folder in enumerate(folders):
        count = file_count // len(folders) + (1 if folder_index < file_count % len(folders) else 0)
        taken = {name.lower() for name in os.listdir(folder)}
        for _ in range(count):
            path = os.path.join(folder, random_name(generator, taken))
            size = file_size(generator)
            total_size += size
            descriptor = os.open(path, os.O_CREAT | os.O_WRONLY | os.O_TRUNC, 0o644)
            try:
                os.ftruncate(descriptor, size)
                if can_chown and generator.random() < arguments.other_owner_share:
                    os.fchown(descriptor, other_uid, -1)
            finally:
                os.close(descriptor)
    return subfolder_count, file_count, total_size


def main():
    arguments = parse_arguments()
    # Beside the tree, not in it: the stamp is no entry of the walk.
    stamp_path = arguments.root.rstrip("/") + ".stamp"
    stamp = stamp_of(arguments)
    try:
        with open(stamp_path) as existing:
            if existing.read() == stamp:
                print(f"reusing {arguments.root}")
                return
    except FileNotFoundError:
        pass
    if os.path.exists(stamp_path):
        os.remove(stamp_path)
    if os.path.exists(arguments.root):
        shutil.rmtree(arguments.root)
    folders, files, size = generate(arguments)
    # The stamp is written last: a generation cut short is made again next time.
    with open(stamp_path, "w") as stamp_file:
        stamp_file.write(stamp)
    print(f"made {arguments.root}: {folders} folders, {files} files, {size} bytes")


if __name__ == "__main__":
    main()
