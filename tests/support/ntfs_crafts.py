"""Small fresh NTFS volumes made hostile in one way each, for the tests of the master file
table reader: sizes, runs and records no sound volume has, and a "sound" one to compare
with. Run through ntfs_volume.py's "craft KIND IMAGE"; the kinds are craft()'s."""

import os
import struct

import pyfsntfs

from ntfs_volume import RECORD_MASK, run

SMALL_VOLUME = 16 * 1024 * 1024
RECORD = 1024
MFT_RECORD, SECURE_RECORD, UPCASE_RECORD, FREE_RECORD = 0, 9, 10, 20
GIANT = 7 * 10 ** 18  # three of them add up to more than 64 bits hold


def small_volume(image, files=()):
    """A fresh 16 MiB volume, with files of (name, size, is_sparse) made through ntfs-3g."""
    if os.path.exists(image):
        os.remove(image)
    with open(image, "wb") as file:
        file.truncate(SMALL_VOLUME)
    run("mkntfs", "-F", "-Q", "-q", image)
    if not files:
        return
    mount_point = image + ".mnt"
    os.makedirs(mount_point, exist_ok=True)
    run("ntfs-3g", image, mount_point)
    try:
        for name, size, is_sparse in files:
            with open(os.path.join(mount_point, name), "wb") as file:
                if is_sparse:
                    file.truncate(size)
                else:
                    file.write(b"s" * size)
    finally:
        run("umount", mount_point)
        os.rmdir(mount_point)


class Records:
    """The records of a volume whose table lies in one piece, as mkntfs makes it."""

    def __init__(self, data):
        self.data = data
        boot = data[:512]
        self.cluster = struct.unpack_from("<H", boot, 0x0B)[0] * boot[0x0D]
        self.mft = struct.unpack_from("<Q", boot, 0x30)[0] * self.cluster
        self.clusters = struct.unpack_from("<Q", boot, 0x28)[0] // boot[0x0D]

    def read(self, number):
        """The record with its update sequence undone."""
        offset = self.mft + number * RECORD
        record = bytearray(self.data[offset:offset + RECORD])
        usa, count = struct.unpack_from("<HH", record, 4)
        for sector in range(1, count):
            record[sector * 512 - 2:sector * 512] = record[usa + 2 * sector:usa + 2 * sector + 2]
        return record

    def write(self, number, record):
        """The record stored with its update sequence applied."""
        usa, count = struct.unpack_from("<HH", record, 4)
        for sector in range(1, count):
            record[usa + 2 * sector:usa + 2 * sector + 2] = record[sector * 512 - 2:sector * 512]
            record[sector * 512 - 2:sector * 512] = record[usa:usa + 2]
        offset = self.mft + number * RECORD
        self.data[offset:offset + RECORD] = record


def attributes(record):
    """(offset, type, length) of each attribute of a record."""
    found = []
    offset = struct.unpack_from("<H", record, 0x14)[0]
    while True:
        kind, length = struct.unpack_from("<II", record, offset)
        if kind == 0xFFFFFFFF:
            return found
        found.append((offset, kind, length))
        offset += length


def attribute(record, wanted, name=""):
    for offset, kind, length in attributes(record):
        name_length, name_offset = struct.unpack_from("<BH", record, offset + 9)
        text = record[offset + name_offset:offset + name_offset + 2 * name_length].decode("utf-16-le")
        if kind == wanted and text == name:
            return bytearray(record[offset:offset + length])
    raise SystemExit("no attribute %x %s" % (wanted, name))


def with_attributes(record, new_attributes):
    """The record holding these attributes instead of its own."""
    first = struct.unpack_from("<H", record, 0x14)[0]
    body = b"".join(new_attributes) + struct.pack("<II", 0xFFFFFFFF, 0)
    result = bytearray(record[:first]) + body
    result += bytes(RECORD - len(result))
    struct.pack_into("<I", result, 0x18, first + len(body) - 4)
    return result


def with_runs(data_attribute, runs, size):
    """A non-resident attribute given other runs and a size all of them hold."""
    runs_offset = struct.unpack_from("<H", data_attribute, 0x20)[0]
    result = bytearray(data_attribute[:runs_offset]) + runs + b"\0"
    result += bytes(-len(result) % 8)
    struct.pack_into("<I", result, 4, len(result))
    struct.pack_into("<QQQ", result, 0x28, size, size, size)
    return result


def extension_of(records, base, sequence, pieces):
    """A record in use that names itself a part of the base record under that sequence."""
    record = records.read(FREE_RECORD)
    struct.pack_into("<H", record, 0x16, 1)
    struct.pack_into("<Q", record, 0x20, base | (sequence << 48))
    return with_attributes(record, pieces)


def set_runs(records, number, name, runs, size):
    """The record's $DATA stream of that name given other runs and size."""
    record = records.read(number)
    kept = [bytes(record[offset:offset + length]) for offset, kind, length in attributes(record)]
    data = attribute(record, 0x80, name)
    kept[kept.index(bytes(data))] = bytes(with_runs(data, runs, size))
    records.write(number, with_attributes(record, kept))


def mft_runs(records, runs, size):
    set_runs(records, MFT_RECORD, "", runs, size)


def first_run(data_attribute):
    runs = data_attribute[struct.unpack_from("<H", data_attribute, 0x20)[0]:]
    return bytes(runs[:1 + (runs[0] & 0x0F) + (runs[0] >> 4)])


def chained_table(records):
    """The $MFT's records naming each other as its extensions, each new one named many times
    over: every record of the volume after the first ones is part of the table."""
    clusters = records.clusters - records.mft // records.cluster
    total = clusters * records.cluster // RECORD
    first_chained = 100
    mft_runs(records, b"\x22" + struct.pack("<HH", clusters, records.mft // records.cluster),
             total * RECORD)
    template = records.read(FREE_RECORD)
    struct.pack_into("<H", template, 0x16, 1)

    def naming(number, times=27):
        entry = struct.pack("<IHBBQQH", 0x80, 32, 0, 0x1A, 0, number | (1 << 48), 0) + bytes(6)
        value = entry * times
        header = struct.pack("<IIBBHHHIHBB", 0x20, 24 + len(value), 0, 0, 0x18, 0, 0,
                             len(value), 24, 0, 0)
        return header + value

    record = records.read(MFT_RECORD)
    kept = [bytes(record[offset:offset + length]) for offset, kind, length in attributes(record)]
    records.write(MFT_RECORD,
                  with_attributes(record, [kept[0], naming(first_chained, 1)] + kept[1:]))
    for number in range(first_chained, total):
        chained = bytearray(template)
        struct.pack_into("<Q", chained, 0x20, 1 << 48)
        struct.pack_into("<I", chained, 0x2C, number)
        following = [naming(number + 1)] if number + 1 < total else []
        records.write(number, with_attributes(chained, following))


def give_size(records, number, size, allocated=None, sparse=False):
    """The record's unnamed stream given another size, and another allocation when told."""
    record = records.read(number)
    pieces = [bytes(record[offset:offset + length]) for offset, kind, length in attributes(record)]
    data_at = [kind for _, kind, _ in attributes(record)].index(0x80)
    data = bytearray(pieces[data_at])
    if allocated is not None:
        struct.pack_into("<Q", data, 0x28, allocated)
    struct.pack_into("<Q", data, 0x30, size)
    if sparse:
        struct.pack_into("<H", data, 0x0C, 0x8000)
    pieces[data_at] = bytes(data)
    records.write(number, with_attributes(record, pieces))


def user_records(image):
    volume = pyfsntfs.volume()
    volume.open(image)
    root = volume.get_root_directory()
    return {entry.name: entry.file_reference & RECORD_MASK for entry in root.sub_file_entries
            if entry.file_reference & RECORD_MASK >= 16}



def craft(kind, image):
    files = [("a", 10000, False)]
    if kind == "sparse-giants":
        files = [("g%d" % index, 10 * 1024 * 1024, True) for index in range(3)]
    small_volume(image, files)
    by_name = user_records(image)
    data = bytearray(open(image, "rb").read())
    records = Records(data)
    mft_data = attribute(records.read(MFT_RECORD), 0x80)
    mft_run = first_run(mft_data)
    mft_size = struct.unpack_from("<Q", mft_data, 0x30)[0]
    largest_sparse_run = b"\x02" + (records.clusters).to_bytes(2, "little")
    if kind == "overclaimed":
        # Four thousand million records, on a volume that says it is 512 TiB.
        struct.pack_into("<Q", data, 0x28, 1 << 40)
        count = 4 * 10 ** 9
        sparse = count * RECORD // records.cluster - mft_size // records.cluster
        mft_runs(records, mft_run + b"\x04" + struct.pack("<I", sparse), count * RECORD)
    elif kind == "sparse-table":
        runs = mft_run + largest_sparse_run * 180
        mft_runs(records, runs, mft_size + 180 * records.clusters * records.cluster)
    elif kind == "sparse-secure":
        sds = attribute(records.read(SECURE_RECORD), 0x80, "$SDS")
        sds_size = struct.unpack_from("<Q", sds, 0x30)[0]
        set_runs(records, SECURE_RECORD, "$SDS", first_run(sds) + largest_sparse_run * 8,
                 sds_size + 8 * records.clusters * records.cluster)
    elif kind == "chained-table":
        chained_table(records)
    elif kind in ("stale-secure", "stale-upcase"):
        # A piece left from an earlier object in the record's place, twice the size.
        number, name = (SECURE_RECORD, "$SDS") if kind == "stale-secure" else (UPCASE_RECORD, "")
        piece = attribute(records.read(number), 0x80, name)
        allocated, size = struct.unpack_from("<QQ", piece, 0x28)
        struct.pack_into("<QQQ", piece, 0x28, 2 * allocated, 2 * size, 2 * size)
        sequence = struct.unpack_from("<H", records.read(number), 0x10)[0]
        records.write(FREE_RECORD, extension_of(records, number, sequence + 1, [bytes(piece)]))
    elif kind == "beyond-allocation":
        give_size(records, by_name["a"], 10000 | (1 << 62))
    elif kind == "beyond-volume":
        give_size(records, by_name["a"], 1 << 40, 1 << 40)
    elif kind == "sparse-giants":
        for index in range(3):
            give_size(records, by_name["g%d" % index], GIANT, GIANT, True)
    elif kind != "sound":
        raise SystemExit("no such craft: " + kind)
    open(image, "wb").write(data)
