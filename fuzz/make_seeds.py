#!/usr/bin/python3
"""Seed corpora for the fuzz targets, taken from real NTFS volumes and saved scans.

  make_seeds.py OUT IMAGE[@OFFSET]... [SCAN.qscan]...

For each image (a volume, or a disk with the volume at byte OFFSET): one record of each kind
met (by the attributes it holds) as fuzz_mft_record reads it, run lists and attribute lists,
resident descriptors and the first entries of $Secure:$SDS, and, for images of at most 4 MB,
the whole volume in fuzz_volume's extents. Scans are copied for fuzz_scan_file.
"""

import hashlib
import os
import shutil
import struct
import sys

SECTOR = 512


def write_seed(out, target, data):
    folder = os.path.join(out, target)
    os.makedirs(folder, exist_ok=True)
    name = hashlib.sha1(data).hexdigest()[:16]
    with open(os.path.join(folder, name), "wb") as seed:
        seed.write(data)


class Volume:
    def __init__(self, image, offset):
        self.image = image
        self.offset = offset
        boot = self.read(0, SECTOR)
        assert boot[3:11] == b"NTFS    ", "not an NTFS volume"
        sector, per_cluster = struct.unpack_from("<HB", boot, 0x0B)
        self.cluster = sector * per_cluster
        self.size = struct.unpack_from("<Q", boot, 0x28)[0] * sector
        mft_cluster = struct.unpack_from("<Q", boot, 0x30)[0]
        per_record = struct.unpack_from("<b", boot, 0x40)[0]
        self.record_size = per_record * self.cluster if per_record > 0 else 1 << -per_record
        first = self.fixed(self.read(mft_cluster * self.cluster, self.record_size))
        self.mft_runs = next(runs for kind, attribute, runs in self.attributes(first)
                             if kind == 0x80 and runs is not None)

    def read(self, offset, length):
        self.image.seek(self.offset + offset)
        return self.image.read(length)

    def fixed(self, record):
        record = bytearray(record)
        offset, count = struct.unpack_from("<HH", record, 4)
        for sector in range(1, count):
            end = sector * 512 - 2
            record[end:end + 2] = record[offset + 2 * sector:offset + 2 * sector + 2]
        return bytes(record)

    def attributes(self, record):
        offset = struct.unpack_from("<H", record, 0x14)[0]
        while offset + 8 <= len(record):
            kind, length = struct.unpack_from("<II", record, offset)
            if kind == 0xFFFFFFFF or length == 0:
                return
            attribute = record[offset:offset + length]
            runs = None
            if attribute[8]:
                runs = decode_runs(attribute[struct.unpack_from("<H", attribute, 0x20)[0]:])
            yield kind, attribute, runs
            offset += length

    def stream(self, runs, length):
        data = b"".join(self.read(lcn * self.cluster, count * self.cluster) if lcn is not None
                        else bytes(count * self.cluster) for lcn, count in runs)
        return data[:length]

    def records(self):
        mft = self.stream(self.mft_runs, sum(count for _, count in self.mft_runs) * self.cluster)
        for number in range(len(mft) // self.record_size):
            raw = mft[number * self.record_size:(number + 1) * self.record_size]
            if raw[:4] == b"FILE" and struct.unpack_from("<H", raw, 0x16)[0] & 1:
                yield number, raw, self.fixed(raw)


def decode_runs(data):
    runs, lcn, offset = [], 0, 0
    while offset < len(data) and data[offset]:
        header = data[offset]
        length_size, offset_size = header & 0xF, header >> 4
        count = int.from_bytes(data[offset + 1:offset + 1 + length_size], "little")
        delta = int.from_bytes(data[offset + 1 + length_size:offset + 1 + length_size + offset_size],
                               "little", signed=True)
        offset += 1 + length_size + offset_size
        if offset_size:
            lcn += delta
            runs.append((lcn, count))
        else:
            runs.append((None, count))
    return runs


def seeds_of_volume(out, path, offset):
    with open(path, "rb") as image:
        volume = Volume(image, offset)
        kinds = set()
        for number, raw, record in volume.records():
            kind = tuple(sorted({(attribute_kind, bool(attribute[8]), attribute[9] > 0)
                                 for attribute_kind, attribute, _ in volume.attributes(record)}))
            kind += (struct.unpack_from("<Q", record, 0x20)[0] != 0,)
            if kind not in kinds:
                kinds.add(kind)
                write_seed(out, "mft_record", raw)
            for attribute_kind, attribute, runs in volume.attributes(record):
                if runs is not None:
                    lowest = attribute[0x10:0x18]
                    start = struct.unpack_from("<H", attribute, 0x20)[0]
                    clusters = struct.pack("<Q", volume.size // volume.cluster)
                    write_seed(out, "run_list", lowest + clusters + attribute[start:])
                value = attribute[struct.unpack_from("<H", attribute, 0x14)[0]:][
                    :struct.unpack_from("<I", attribute, 0x10)[0]] if not attribute[8] else None
                if attribute_kind == 0x20 and value is not None:
                    write_seed(out, "attribute_list", value)
                if attribute_kind == 0x50 and value is not None:
                    write_seed(out, "security", b"\0" + value)
                if number == 9 and attribute_kind == 0x80 and runs is not None and attribute[9] == 4:
                    size = struct.unpack_from("<Q", attribute, 0x30)[0]
                    write_seed(out, "security", b"\1" + volume.stream(runs, min(size, 4096)))
        if volume.size <= 4 << 20:
            write_seed(out, "volume", extents(volume.read(0, volume.size)))


def extents(image):
    """Runs of sectors that are not all zeros, each with its place."""
    out, sector, count = bytearray(), 0, len(image) // SECTOR
    while sector < count:
        if not image[sector * SECTOR:(sector + 1) * SECTOR].strip(b"\0"):
            sector += 1
            continue
        end = sector
        while end < count and image[end * SECTOR:(end + 1) * SECTOR].strip(b"\0"):
            end += 1
        out += struct.pack("<II", sector, end - sector) + image[sector * SECTOR:end * SECTOR]
        sector = end
    return bytes(out)


def main():
    out = sys.argv[1]
    for argument in sys.argv[2:]:
        if argument.endswith(".qscan"):
            with open(argument, "rb") as scan:
                write_seed(out, "scan_file", scan.read())
            continue
        path, _, offset = argument.partition("@")
        seeds_of_volume(out, path, int(offset or 0))


if __name__ == "__main__":
    main()
