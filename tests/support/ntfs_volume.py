#!/usr/bin/python3
"""Real NTFS volumes for the tests of the master file table reader, made with ntfs-3g and
read back with libfsntfs, which no one here wrote.

  make FOLDER                 the test volume as FOLDER/volume.img (kept while this script
                              is unchanged); FOLDER/status says "ready" or why it cannot be
  expect IMAGE ROOT RECORDS REPORT
                              compares RECORDS (as the test writes them) with what libfsntfs
                              reads below ROOT ("/a/b") of IMAGE, or of its own files for the
                              ROOT "volume-files"; the differences go to REPORT
  used IMAGE OUT              the bytes of IMAGE's clusters in use, by its $Bitmap, into OUT
  mount IMAGE FOLDER / unmount FOLDER
  damage IMAGE KIND COPY      a copy of IMAGE with one kind of damage (see DAMAGES)
  craft KIND IMAGE            a small fresh volume made hostile in one way (ntfs_crafts.py)
"""

import hashlib
import os
import shutil
import struct
import subprocess
import sys

import pyfsntfs

RECORD_MASK = 0xFFFFFFFFFFFF
MAPPED_SID = "S-1-5-21-1000-2000-3000-1001"
ACL_SIDS = ["S-1-5-21-7-8-9-500", "S-1-5-18"]


def run(*command):
    # Started from under Wine, the search path may be the Windows side's.
    environment = dict(os.environ, PATH="/usr/sbin:/usr/bin:/sbin:/bin")
    subprocess.run(command, env=environment, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def sid_bytes(text):
    parts = text.split("-")
    authority = int(parts[2])
    subs = [int(part) for part in parts[3:]]
    return (struct.pack("<BB", 1, len(subs)) + authority.to_bytes(6, "big") +
            b"".join(struct.pack("<I", sub) for sub in subs))


def descriptor_with_owner(sid_text):
    """A self-relative descriptor: owner and group, an empty DACL allowing everyone."""
    owner = sid_bytes(sid_text)
    group = sid_bytes("S-1-5-32-545")
    everyone = sid_bytes("S-1-1-0")
    ace = struct.pack("<BBHI", 0, 0, 8 + len(everyone), 0x1F01FF) + everyone
    acl = struct.pack("<BBHHH", 2, 0, 8 + len(ace), 1, 0) + ace
    header = 20
    return (struct.pack("<BBHIIII", 1, 0, 0x8004, header, header + len(owner), 0,
                        header + len(owner) + len(group)) + owner + group + acl)


def reparse_data(tag, target, print_name, is_link):
    substitute = target.encode("utf-16-le")
    shown = print_name.encode("utf-16-le")
    names = substitute + b"\0\0" + shown + b"\0\0"
    fields = struct.pack("<HHHH", 0, len(substitute), len(substitute) + 2, len(shown))
    if is_link:
        fields += struct.pack("<I", 0)  # absolute
    body = fields + names
    return struct.pack("<IHH", tag, len(body), 0) + body


def fill(path, size, byte=b"x"):
    with open(path, "wb") as file:
        file.write(byte * size)


def populate(root):
    """Everything the reader must get right, in a few thousand objects."""
    join = os.path.join
    # A fragmented file: appended to in turns with the making of other files.
    os.makedirs(join(root, "spacers"))
    for index in range(30):
        with open(join(root, "fragmented"), "ab") as file:
            file.write(b"f" * 16384)
        fill(join(root, "spacers", "s%02d" % index), 16384)
    os.makedirs(join(root, "plain", "nested", "deeper"))
    for size in (0, 1, 300, 700, 1500, 4096, 70000):
        fill(join(root, "plain", "size%d" % size), size)
    fill(join(root, "plain", "nested", "deeper", "leaf"), 12345)
    # Names the collation must order: case, accents, letters beyond Latin, digits.
    for name in ("apple", "Banana", "cherry", "Émile", "eve", "Zeta", "zz", "ßtraße", "Σigma",
                 "σmall", "_under", "10", "9", "a.b", "A-c", "\U0001F600smile", "ǅ"):
        fill(join(root, "plain", name), len(name))
    fill(join(root, "plain", "Case"), 1)
    fill(join(root, "plain", "case"), 2)
    fill(join(root, "plain", "l" * 255), 255)
    deep = join(root, "long")
    for level in range(6):
        deep = join(deep, "level%d-" % level + "d" * 60)
    os.makedirs(deep)
    fill(join(deep, "far"), 99)
    # Streams on files and on a folder.
    os.makedirs(join(root, "streams", "withstream"))
    fill(join(root, "streams", "host"), 10)
    fill(join(root, "streams", "host:alpha"), 100)
    fill(join(root, "streams", "host:Beta"), 2000)
    fill(join(root, "streams", "host:\u00e9t\u00e9"), 3)
    fill(join(root, "streams", "withstream:onfolder"), 50)
    fill(join(root, "streams", "onlyunnamed"), 5)
    # Hard links, in one folder and across two, and enough long names for an attribute list.
    os.makedirs(join(root, "links", "other"))
    fill(join(root, "links", "original"), 777)
    os.link(join(root, "links", "original"), join(root, "links", "other", "second"))
    os.link(join(root, "links", "original"), join(root, "links", "third"))
    fill(join(root, "links", "many"), 4321)
    for index in range(12):
        os.link(join(root, "links", "many"), join(root, "links", ("n%02d" % index) + "m" * 200))
    # Attributes: hidden, system, a DOS name, compression, sparse.
    os.makedirs(join(root, "flags"))
    fill(join(root, "flags", "hidden"), 1)
    os.setxattr(join(root, "flags", "hidden"), "system.ntfs_attrib_be", struct.pack(">I", 0x22))
    fill(join(root, "flags", "system"), 2)
    os.setxattr(join(root, "flags", "system"), "system.ntfs_attrib_be", struct.pack(">I", 0x24))
    fill(join(root, "flags", "Long File Name.text"), 3)
    os.setxattr(join(root, "flags", "Long File Name.text"), "system.ntfs_dos_name",
                  b"LONGFI~1.TEX")
    os.makedirs(join(root, "flags", "packed"))
    os.setxattr(join(root, "flags", "packed"), "system.ntfs_attrib_be", struct.pack(">I", 0x810))
    fill(join(root, "flags", "packed", "squeezed"), 200000, b"ab")
    with open(join(root, "flags", "sparse"), "wb") as file:
        file.truncate(100 * 1024 * 1024)
        file.seek(5 * 1024 * 1024)
        file.write(b"d" * 1024 * 1024)
    # Owners stored in the file's own descriptor.
    os.makedirs(join(root, "owners"))
    for index, sid in enumerate(ACL_SIDS):
        path = join(root, "owners", "acl%d" % index)
        fill(path, index + 1)
        os.setxattr(path, "system.ntfs_acl", descriptor_with_owner(sid))
    # Hard links across folders of the root, which are walked apart: whichever is walked first,
    # the link met first in the records' order adds to the sums.
    os.link(join(root, "links", "original"), join(root, "flags", "linked"))
    os.link(join(root, "links", "many"), join(root, "a-linked"))
    # Reparse points on empty objects: a junction and a symbolic link.
    os.makedirs(join(root, "reparse", "junction"))
    os.setxattr(join(root, "reparse", "junction"), "system.ntfs_reparse_data",
                  reparse_data(0xA0000003, "\\??\\C:\\plain", "C:\\plain", False))
    fill(join(root, "reparse", "link"), 0)
    os.setxattr(join(root, "reparse", "link"), "system.ntfs_reparse_data",
                  reparse_data(0xA000000C, "\\??\\C:\\filler", "C:\\filler", True))
    # Many objects on a volume all but full, so that the table grows in many fragments, and
    # folders need several index blocks.
    space = os.statvfs(root)
    fill(join(root, "filler"), space.f_bavail * space.f_frsize - 4000000)
    os.makedirs(join(root, "many"))
    for index in range(3000):
        name = ("File%04d" if index % 3 else "file%04d-\u00e4") % ((index * 7919) % 3000)
        fill(join(root, "many", name), index % 50)


def map_owner(image, folder):
    """A user mapping, then files given to the mapped user: their owner goes to $Secure."""
    mount_point = os.path.join(folder, "mapping")
    os.makedirs(mount_point, exist_ok=True)
    run("ntfs-3g", image, mount_point)
    try:
        os.makedirs(os.path.join(mount_point, ".NTFS-3G"), exist_ok=True)
        with open(os.path.join(mount_point, ".NTFS-3G", "UserMapping"), "w") as mapping:
            mapping.write("1001::%s\n:1001:S-1-5-21-1000-2000-3000-513\n" % MAPPED_SID)
    finally:
        run("umount", mount_point)
    run("ntfs-3g", image, mount_point)
    try:
        for index in range(2):
            path = os.path.join(mount_point, "owners", "mapped%d" % index)
            fill(path, 10 + index)
            os.chown(path, 1001, 1001)
    finally:
        run("umount", mount_point)


def make(folder):
    os.makedirs(folder, exist_ok=True)
    status = os.path.join(folder, "status")
    if not os.path.exists("/dev/fuse"):
        open(status, "w").write("skip: /dev/fuse is missing, so no NTFS volume can be made here")
        return
    image = os.path.join(folder, "volume.img")
    stamp = os.path.join(folder, "volume.stamp")
    digest = hashlib.sha256(open(__file__, "rb").read()).hexdigest()
    if os.path.exists(image) and os.path.exists(stamp) and open(stamp).read() == digest:
        open(status, "w").write("ready")
        return
    for old in (image, stamp):
        if os.path.exists(old):
            os.remove(old)
    made = image + ".new"
    with open(made, "wb") as file:
        file.truncate(64 * 1024 * 1024)
    run("mkntfs", "-F", "-Q", "-q", "-L", "QUARRIX", made)
    mount_point = os.path.join(folder, "making")
    os.makedirs(mount_point, exist_ok=True)
    run("ntfs-3g", "-o", "streams_interface=windows", made, mount_point)
    try:
        populate(mount_point)
    finally:
        run("umount", mount_point)
    map_owner(made, folder)
    os.rename(made, image)
    open(stamp, "w").write(digest)
    open(status, "w").write("ready")


# ---------------------------------------------------------------- the oracle

def owner_of_descriptor(data):
    if len(data) < 8 or data[0] != 1:
        return ""
    offset = struct.unpack_from("<I", data, 4)[0]
    if offset == 0 or offset + 8 > len(data):
        return ""
    count = data[offset + 1]
    authority = int.from_bytes(data[offset + 2:offset + 8], "big")
    subs = struct.unpack_from("<%dI" % count, data, offset + 8)
    return "S-%d-%d" % (data[offset], authority) + "".join("-%d" % sub for sub in subs)


class Owners:
    """Owners by the file's own descriptor, or by its security id through $Secure:$SDS, which
    libfsntfs reads as a stream."""

    def __init__(self, volume):
        secure = volume.get_file_entry(9)
        stream = secure.get_alternate_data_stream_by_name("$SDS")
        data = stream.read_buffer(stream.size)
        self.by_id = {}
        for block in range(0, len(data), 0x80000):
            offset = block
            while offset + 20 <= min(len(data), block + 0x40000):
                _, identifier, where, length = struct.unpack_from("<IIQI", data, offset)
                if where != offset or length < 20:
                    break
                self.by_id[identifier] = owner_of_descriptor(data[offset + 20:offset + length])
                offset += (length + 15) // 16 * 16

    def of(self, entry):
        if entry.security_descriptor_data is not None:
            return owner_of_descriptor(entry.security_descriptor_data)
        information = entry.get_attribute(0)
        try:
            return self.by_id.get(information.security_descriptor_identifier, "")
        except OSError:
            return ""


def size_on_disk(data):
    """The clusters a stream holds: its extents less the sparse ones (flag 1); none for data
    inside its record."""
    return sum(size for _, size, flags in
               (data.get_extent(index) for index in range(data.number_of_extents)) if not flags & 1)


def is_dos_only(entry):
    attribute = entry.get_attribute(entry.name_attribute_index)
    return attribute.name_space == 2


VOLUME_FILES = "\\<not in this scan>"


def expected_records(volume, root_path, volume_files=False):
    """The records a walk of the root gives, as the test writes them, from libfsntfs; or
    those of the volume's own files, which no walk lists, below VOLUME_FILES."""
    owners = Owners(volume)
    records = []
    met = set()

    def record(folder, entry, stream, size, disk, flags_of):
        information = entry.get_attribute(0)
        attributes = information.file_attribute_flags
        is_folder = entry.has_directory_entries_index()
        flags = ("F" if is_folder else "-") + ("S" if stream else "-") + \
                ("C" if attributes & 0x800 else "-") + ("Y" if attributes & 4 else "-") + \
                ("H" if attributes & 2 else "-") + flags_of
        records.append("\t".join([folder + "\\" + entry.name + stream, str(size), str(disk),
                                  owners.of(entry), str(information.get_access_time_as_integer()),
                                  flags]))

    def walk(directory, folder):
        total = total_disk = 0
        for entry in directory.sub_file_entries:
            reference = entry.file_reference & RECORD_MASK
            at_root = directory.file_reference & RECORD_MASK == 5 and folder in ("", VOLUME_FILES)
            if is_dos_only(entry) or (at_root and (reference < 16) != volume_files) or reference == 5:
                continue
            attributes = entry.get_attribute(0).file_attribute_flags
            if entry.has_directory_entries_index():
                size, disk = (0, 0) if attributes & 0x400 else walk(entry, folder + "\\" + entry.name)
                record(folder, entry, "", size, disk, "--")
                total += size
                total_disk += disk
            else:
                # Of a file's hard links, the first met adds to the sums.
                shared = "=" if reference in met else "-"
                met.add(reference)
                streams = [(stream.name, stream.size, size_on_disk(stream))
                           for stream in entry.alternate_data_streams]
                size, disk = entry.size, size_on_disk(entry)
                if streams:
                    record(folder, entry, "::$DATA", entry.size, disk, "-" + shared)
                    for name, stream_size, stream_disk in sorted(streams, key=lambda each: each[0].upper()):
                        record(folder, entry, ":%s:$DATA" % name, stream_size, stream_disk, "-" + shared)
                        size += stream_size
                        disk += stream_disk
                record(folder, entry, "", size, disk, ("M" if streams else "-") + shared)
                total += 0 if shared == "=" else size
                total_disk += 0 if shared == "=" else disk
        return total, total_disk

    root = volume.get_file_entry_by_path(root_path.replace("/", "\\")) if root_path != "/" \
        else volume.get_root_directory()
    walk(root, VOLUME_FILES if volume_files else "")
    return records


def used(image, out):
    volume = pyfsntfs.volume()
    volume.open(image)
    with open(image, "rb") as file:
        boot = file.read(512)
    sectors_per_cluster = boot[0x0D]
    cluster = struct.unpack_from("<H", boot, 0x0B)[0] * sectors_per_cluster
    clusters = struct.unpack_from("<Q", boot, 0x28)[0] // sectors_per_cluster
    bitmap = volume.get_file_entry(6)
    data = bitmap.read_buffer(bitmap.size)
    # Bits past the last cluster pad the bitmap's last byte.
    in_use = sum(bin(byte).count("1") for byte in data[:clusters // 8])
    in_use += bin(data[clusters // 8] & ((1 << (clusters % 8)) - 1)).count("1") if clusters % 8 else 0
    open(out, "w").write(str(in_use * cluster))


def audited_owner(image, path):
    """The owner ntfs-3g's own audit reads, a second oracle for the owners libfsntfs gives."""
    environment = dict(os.environ, PATH="/usr/sbin:/usr/bin:/sbin:/bin")
    audit = subprocess.run(["ntfssecaudit", "-v", image, path.replace("\\", "/")],
                           capture_output=True, text=True, env=environment).stdout
    for line in audit.splitlines():
        if line.startswith("Windows owner "):
            return line.split()[2]
    return "(none)"


def expect(image, root, records_file, report):
    volume = pyfsntfs.volume()
    volume.open(image)
    wanted = expected_records(volume, "/", True) if root == "volume-files" else expected_records(volume, root)
    differences = []
    if root == "/":
        for line in wanted:
            path, _, _, owner = line.split("\t")[:4]
            if path.startswith("\\owners\\") and audited_owner(image, path) != owner:
                differences.append("libfsntfs and ntfssecaudit disagree on the owner of " + path)
    with open(records_file, encoding="utf-8", newline="\n") as file:
        got = [line.rstrip("\n") for line in file]
    for index in range(max(len(wanted), len(got))):
        left = wanted[index] if index < len(wanted) else "(none)"
        right = got[index] if index < len(got) else "(none)"
        if left != right:
            differences.append("record %d\n  libfsntfs: %s\n  read:      %s" % (index, left, right))
    with open(report, "w", encoding="utf-8") as file:
        file.write("%d records, %d differ\n" % (len(wanted), len(differences)))
        file.write("\n".join(differences[:20]))
    return 1 if differences else 0


# ---------------------------------------------------------------- damage

def record_offset(image, number):
    """Where a record lies, for records in the table's first fragment."""
    with open(image, "rb") as file:
        boot = file.read(512)
    sector = struct.unpack_from("<H", boot, 0x0B)[0]
    cluster = sector * boot[0x0D]
    mft = struct.unpack_from("<Q", boot, 0x30)[0] * cluster
    return mft + number * 1024


def record_of(image, path):
    volume = pyfsntfs.volume()
    volume.open(image)
    return volume.get_file_entry_by_path(path).file_reference & RECORD_MASK


def first_attribute(data, record, wanted):
    offset = record + struct.unpack_from("<H", data, record + 0x14)[0]
    while True:
        kind, length = struct.unpack_from("<II", data, offset)
        if kind == wanted:
            return offset
        offset += length


def damage(image, kind, copy):
    shutil.copyfile(image, copy)
    data = bytearray(open(copy, "rb").read())
    if kind == "truncated":
        del data[len(data) // 8:]
    elif kind == "fixup":
        record = record_offset(image, record_of(image, "\\plain\\nested"))
        data[record + 510] ^= 0xFF
    elif kind == "attribute-length":
        record = record_offset(image, record_of(image, "\\plain\\size300"))
        struct.pack_into("<I", data, first_attribute(data, record, 0x10) + 4, 0x2000)
    elif kind in ("loop", "self", "no-parent"):
        record = record_offset(image, record_of(image, "\\plain\\nested"))
        name = first_attribute(data, record, 0x30)
        value = name + struct.unpack_from("<H", data, name + 0x14)[0]
        if kind != "no-parent":
            parent = record_of(image, "\\plain\\nested\\deeper" if kind == "loop" else "\\plain\\nested")
            sequence = struct.unpack_from("<H", data, record_offset(image, parent) + 0x10)[0]
        else:
            parent, sequence = 60, 1  # a record never used
        struct.pack_into("<Q", data, value, parent | (sequence << 48))
    else:
        raise SystemExit("no such damage: " + kind)
    open(copy, "wb").write(data)


def main(arguments):
    command = arguments[0]
    if command == "make":
        make(arguments[1])
    elif command == "expect":
        return expect(*arguments[1:5])
    elif command == "mount":
        os.makedirs(arguments[2], exist_ok=True)
        run("ntfs-3g", "-o", "ro,streams_interface=windows", arguments[1], arguments[2])
    elif command == "unmount":
        run("umount", arguments[1])
    elif command == "used":
        used(*arguments[1:3])
    elif command == "damage":
        damage(*arguments[1:4])
    elif command == "craft":
        import ntfs_crafts
        ntfs_crafts.craft(*arguments[1:3])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
