// SPDX-License-Identifier: MIT
// vantorel-synth: writes synthetic Matroska files for benchmarks and stress
// runs. Block data is left as holes in a sparse file, since the walk never
// reads it.
#include "matroskaids.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace Id = MatroskaSchema::Id;

namespace {

using Bytes = std::vector<uint8_t>;

// IDs keep their length-marker bits, so their byte count is their magnitude.
void putId(Bytes &out, uint32_t id)
{
    const int bytes = id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1;
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(uint8_t(id >> (8 * i)));
}

// An 8-byte size field: sizes can be patched in place once known.
void putSize8(Bytes &out, uint64_t size)
{
    out.push_back(0x01);
    for (int shift = 48; shift >= 0; shift -= 8)
        out.push_back(uint8_t(size >> shift));
}

void putSize1(Bytes &out, uint64_t size)
{
    out.push_back(uint8_t(0x80 | size));
}

void element(Bytes &out, uint32_t id, const Bytes &payload)
{
    putId(out, id);
    putSize8(out, payload.size());
    out.insert(out.end(), payload.begin(), payload.end());
}

void uintElement(Bytes &out, uint32_t id, uint8_t value)
{
    putId(out, id);
    putSize1(out, 1);
    out.push_back(value);
}

Bytes header(const char *docType)
{
    Bytes ebml, out;
    uintElement(ebml, Id::EbmlVersion, 1);
    Bytes type(docType, docType + std::strlen(docType));
    element(ebml, Id::DocType, type);
    element(out, Id::Ebml, ebml);
    return out;
}

// One video track entry for track 1. With repeats, the entry first gives
// track 2 and its type that many times, then renumbers itself 1: every
// repeat registers track 2 as a video track again, and track 1 comes after
// all of them.
Bytes videoTracks(uint64_t repeats)
{
    Bytes entry, tracks, codec = {'V', '_', 'V', 'P', '8'};
    if (repeats) {
        uintElement(entry, Id::TrackNumber, 2);
        for (uint64_t i = 0; i < repeats; ++i)
            uintElement(entry, Id::TrackType, 1);
    }
    uintElement(entry, Id::TrackNumber, 1);
    uintElement(entry, Id::TrackType, 1);
    element(entry, Id::CodecId, codec);
    element(tracks, Id::TrackEntry, entry);
    Bytes out;
    element(out, Id::Tracks, tracks);
    return out;
}

// CRC-32 (IEEE, reflected), and what joins the CRCs of two runs of bytes.
uint32_t crc32(uint32_t crc, const uint8_t *p, size_t size)
{
    crc = ~crc;
    while (size--) {
        crc ^= *p++;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

uint32_t multiply(uint32_t a, uint32_t b)
{
    uint32_t p = 0;
    for (uint32_t m = 1u << 31; m; m >>= 1) {
        if (a & m)
            p ^= b;
        b = (b >> 1) ^ (0xEDB88320u & (0u - (b & 1)));
    }
    return p;
}

// The CRC of A followed by B.
uint32_t combine(uint32_t crcA, uint32_t crcB, uint64_t lengthB)
{
    uint32_t shift = 1u << 31, power = 1u << 23; // 1, x^8
    for (; lengthB; lengthB >>= 1, power = multiply(power, power)) {
        if (lengthB & 1)
            shift = multiply(power, shift);
    }
    return multiply(shift, crcA) ^ crcB;
}

int usage()
{
    std::fputs("usage: vantorel-synth KIND OUT.mkv COUNT [SIZE]\n"
               "  blocks  COUNT SimpleBlocks of SIZE data bytes on one video track\n"
               "  repeats as blocks, in a track entry that first registers track 2 as\n"
               "          video COUNT times\n"
               "  tiny    COUNT tiny Void elements after the header\n"
               "  nested  COUNT Cluster masters, each inside the one before\n"
               "  checked COUNT nested Clusters, each starting with a CRC-32 (of 0), around\n"
               "          a Void of SIZE bytes (a hole)\n"
               "  claims  COUNT elements that claim a terabyte each, one kind after another\n"
               "  crc-nested SIZE nested Clusters around COUNT BlockGroups, each master\n"
               "          starting with the CRC-32 of its payload; each BlockGroup holds\n"
               "          a Void of 2 bytes after it\n"
               "  crc-zero as crc-nested, with CRC-32s of 0\n"
               "  laced   COUNT SimpleBlocks of 7 bytes, each of 256 empty frames in fixed-size\n"
               "          lacing\n"
               "  deep-empty  COUNT empty BlockGroups inside SIZE nested masters (a Segment,\n"
               "          then Clusters)\n"
               "  deep-unknown-track  COUNT SimpleBlocks of track 5 inside SIZE nested\n"
               "          masters, after the Tracks of track 1\n"
               "  past-parent  COUNT Clusters whose last child runs 1 byte past them\n"
               "  cue-targets  COUNT CuePoints aimed at one BlockGroup of 16 children\n"
               "  recurring-voids  an Info of COUNT empty Voids, then COUNT empty Infos\n"
               "  unknown-nested  COUNT ChapterAtoms of unknown size, each inside the one\n"
               "          before, then SIZE ChapterTimeStarts in the innermost\n"
               "  near-elements  a Cluster with COUNT bytes of damaged data between two\n"
               "          blocks: a zero byte, then SimpleBlocks of track 1 each claiming\n"
               "          SIZE bytes (default 65537) and followed by no element\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4)
        return usage();
    const std::string kind = argv[1];
    const uint64_t count = std::strtoull(argv[3], nullptr, 10);
    const uint64_t size = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 16;
    std::FILE *out = std::fopen(argv[2], "wb");
    if (!out) {
        std::perror(argv[2]);
        return 1;
    }
    auto write = [&](const Bytes &b) {
        if (!b.empty()) // an empty vector's data() may be null
            std::fwrite(b.data(), 1, b.size(), out);
    };

    write(header("matroska"));
    if (kind == "blocks" || kind == "repeats") {
        const uint64_t perCluster = 1000;
        const uint64_t blockLength = 1 + 8 + 4 + size;
        const uint64_t clusters = (count + perCluster - 1) / perCluster;
        const Bytes tracks = videoTracks(kind == "repeats" ? count : 0);
        uint64_t segment = tracks.size();
        for (uint64_t c = 0; c < clusters; ++c) {
            const uint64_t blocks = std::min(perCluster, count - c * perCluster);
            segment += 4 + 8 + 3 + blocks * blockLength;
        }
        Bytes head;
        putId(head, Id::Segment);
        putSize8(head, segment);
        write(head);
        write(tracks);
        for (uint64_t c = 0; c < clusters; ++c) {
            const uint64_t blocks = std::min(perCluster, count - c * perCluster);
            Bytes cluster;
            putId(cluster, Id::Cluster);
            putSize8(cluster, 3 + blocks * blockLength);
            uintElement(cluster, Id::Timestamp, uint8_t(c));
            write(cluster);
            for (uint64_t b = 0; b < blocks; ++b) {
                Bytes block;
                putId(block, Id::SimpleBlock);
                putSize8(block, 4 + size);
                block.insert(block.end(), {0x81, 0x00, uint8_t(b), uint8_t(b % 50 ? 0 : 0x80)});
                write(block);
                if (size >= 4096) {
                    std::fseek(out, long(size), SEEK_CUR); // a hole
                } else {
                    static const Bytes zeros(4096, 0);
                    std::fwrite(zeros.data(), 1, size, out);
                }
            }
        }
        // Make the last hole part of the file.
        std::fseek(out, -1, SEEK_CUR);
        std::fputc(0, out);
    } else if (kind == "tiny") {
        const Bytes tiny = {0xEC, 0x80};
        for (uint64_t i = 0; i < count; ++i)
            write(tiny);
    } else if (kind == "nested") {
        for (uint64_t i = 0; i < count; ++i) {
            Bytes cluster;
            putId(cluster, Id::Cluster);
            putSize8(cluster, (count - 1 - i) * 12);
            write(cluster);
        }
    } else if (kind == "checked") {
        // Each level: its header (4 + 8), a CRC-32 (6), then the next level.
        for (uint64_t i = 0; i < count; ++i) {
            Bytes cluster;
            putId(cluster, Id::Cluster);
            putSize8(cluster, (count - 1 - i) * 18 + 6 + 9 + size);
            cluster.insert(cluster.end(), {0xBF, 0x84, 0, 0, 0, 0});
            write(cluster);
        }
        Bytes junk;
        putId(junk, Id::Void);
        putSize8(junk, size);
        write(junk);
        std::fseek(out, long(size) - 1, SEEK_CUR);
        std::fputc(0, out);
    } else if (kind == "crc-nested" || kind == "crc-zero") {
        // Each level: its header (4 + 8), a CRC-32 (6), then the next level;
        // CRCs are found from the innermost out.
        const bool zero = kind == "crc-zero";
        auto crcElement = [&](Bytes &out, uint32_t crc) {
            const uint32_t stored = zero ? 0 : crc;
            out.insert(out.end(),
                       {0xBF, 0x84, uint8_t(stored), uint8_t(stored >> 8), uint8_t(stored >> 16),
                        uint8_t(stored >> 24)});
        };
        const Bytes voidElement = {0xEC, 0x80};
        Bytes group = {0xA0, 0x88};
        crcElement(group, crc32(0, voidElement.data(), voidElement.size()));
        group.insert(group.end(), voidElement.begin(), voidElement.end());
        Bytes inner;
        for (uint64_t i = 0; i < count; ++i)
            inner.insert(inner.end(), group.begin(), group.end());
        const uint64_t depth = size;
        std::vector<Bytes> levels(depth);
        uint32_t crc = crc32(0, inner.data(), inner.size());
        uint64_t covered = inner.size();
        for (uint64_t i = depth; i-- > 0;) {
            Bytes &level = levels[i];
            putId(level, Id::Cluster);
            putSize8(level, 6 + covered);
            crcElement(level, crc);
            crc = combine(crc32(0, level.data(), level.size()), crc, covered);
            covered += level.size();
        }
        for (const Bytes &level : levels)
            write(level);
        write(inner);
    } else if (kind == "laced") {
        const uint64_t perCluster = 1000;
        const uint64_t clusters = (count + perCluster - 1) / perCluster;
        const Bytes tracks = videoTracks(0);
        Bytes head;
        putId(head, Id::Segment);
        putSize8(head, tracks.size() + clusters * 15 + count * 7);
        write(head);
        write(tracks);
        for (uint64_t c = 0; c < clusters; ++c) {
            const uint64_t blocks = std::min(perCluster, count - c * perCluster);
            Bytes cluster;
            putId(cluster, Id::Cluster);
            putSize8(cluster, 3 + blocks * 7);
            uintElement(cluster, Id::Timestamp, uint8_t(c));
            for (uint64_t b = 0; b < blocks; ++b)
                cluster.insert(cluster.end(), {0xA3, 0x85, 0x81, 0x00, uint8_t(b), 0x84, 0xFF});
            write(cluster);
        }
    } else if (kind == "claims") {
        const uint64_t tera = uint64_t(1) << 40;
        const uint32_t unknown = 0x4F00; // in no schema
        const uint32_t ids[] = {Id::DocType, Id::Title,   Id::CodecPrivate, Id::Void,
                                unknown,     Id::Segment, Id::SimpleBlock};
        for (uint64_t i = 0; i < count; ++i) {
            Bytes e;
            putId(e, ids[i % (sizeof ids / sizeof ids[0])]);
            putSize8(e, tera);
            e.insert(e.end(), {'a', 'b', 'c', 'd'});
            write(e);
        }
    } else if (kind == "deep-empty" || kind == "deep-unknown-track") {
        const bool blocks = kind == "deep-unknown-track";
        const Bytes child = blocks ? Bytes {0xA3, 0x85, 0x85, 0, 0, 0x80, 0} : Bytes {0xA0, 0x80};
        const Bytes tracks = blocks ? videoTracks(0) : Bytes();
        const uint64_t levels = std::max<uint64_t>(size, 1);
        // A level's header is 12 bytes: a 4-byte ID and an 8-byte size.
        uint64_t inner = count * child.size();
        for (uint64_t i = 0; i < levels; ++i) {
            Bytes head;
            putId(head, i ? 0x1F43B675 : 0x18538067);
            putSize8(head, inner + (levels - 1 - i) * 12 + (i ? 0 : tracks.size()));
            write(head);
            if (!i)
                write(tracks);
        }
        // The children close every level.
        for (uint64_t i = 0; i < count; ++i)
            write(child);
    } else if (kind == "past-parent") {
        Bytes head;
        putId(head, Id::Segment);
        putSize8(head, count * 10);
        write(head);
        // A Cluster of 5 bytes: its Timestamp, then a Void that claims 1
        // byte which the Cluster does not hold.
        const Bytes cluster = {0x1F, 0x43, 0xB6, 0x75, 0x85, 0xE7, 0x81, 0, 0xEC, 0x81};
        for (uint64_t i = 0; i < count; ++i)
            write(cluster);
    } else if (kind == "recurring-voids") {
        // Each later Info is read beside the first, whose Voids it passes.
        Bytes head, info;
        putId(head, Id::Segment);
        putSize8(head, 12 + count * 2 + count * 5);
        putId(head, Id::Info);
        putSize8(head, count * 2);
        write(head);
        for (uint64_t i = 0; i < count; ++i)
            write({0xEC, 0x80});
        putId(info, Id::Info);
        info.push_back(0x80);
        for (uint64_t i = 0; i < count; ++i)
            write(info);
    } else if (kind == "cue-targets") {
        // A Cluster of one BlockGroup (15 empty Voids, then its Block), then
        // Cues whose every CuePoint names that BlockGroup.
        const Bytes tracks = videoTracks(0);
        Bytes group, cluster, clusterElement, positions, point, cuePoint, head;
        for (int i = 0; i < 15; ++i)
            group.insert(group.end(), {0xEC, 0x80});
        group.insert(group.end(), {0xA1, 0x85, 0x81, 0, 0, 0x80, 0});
        uintElement(cluster, Id::Timestamp, 0);
        element(cluster, Id::BlockGroup, group);
        element(clusterElement, Id::Cluster, cluster);
        uintElement(positions, Id::CueTrack, 1);
        uintElement(positions, Id::CueClusterPosition,
                    uint8_t(tracks.size()));                // the Cluster, after the Tracks
        uintElement(positions, Id::CueRelativePosition, 3); // the BlockGroup, after the Timestamp
        uintElement(point, Id::CueTime, 0);
        element(point, Id::CueTrackPositions, positions);
        element(cuePoint, Id::CuePoint, point);
        const uint64_t cues = count * cuePoint.size();
        putId(head, Id::Segment);
        putSize8(head, tracks.size() + clusterElement.size() + 12 + cues);
        write(head);
        write(tracks);
        write(clusterElement);
        head.clear();
        putId(head, Id::Cues);
        putSize8(head, cues);
        write(head);
        for (uint64_t i = 0; i < count; ++i)
            write(cuePoint);
    } else if (kind == "unknown-nested") {
        // Segment > Chapters > EditionEntry of known sizes around the atoms.
        const uint64_t edition = 2 * count + 3 * size;
        Bytes head;
        putId(head, Id::Segment);
        putSize8(head, 12 + 10 + edition);
        putId(head, Id::Chapters);
        putSize8(head, 10 + edition);
        putId(head, Id::EditionEntry);
        putSize8(head, edition);
        write(head);
        const Bytes atom = {0xB6, 0xFF}, start = {0x91, 0x81, 0x00};
        for (uint64_t i = 0; i < count; ++i)
            write(atom);
        for (uint64_t i = 0; i < size; ++i)
            write(start);
    } else if (kind == "near-elements") {
        // Each look-alike is A3, a 3-byte size and track 1. With the default
        // claim it ends one byte into a look-alike, where an unknown 3-byte
        // ID begins.
        const uint64_t claim = argc > 4 ? size : 65537;
        const Bytes look
            = {0xA3, uint8_t(0x20 | (claim >> 16)), uint8_t(claim >> 8), uint8_t(claim), 0x81};
        Bytes block;
        putId(block, Id::SimpleBlock);
        putSize8(block, 4 + 17); // 30 bytes: no look-alike ends where it or the Cluster ends
        block.insert(block.end(), {0x81, 0x00, 0x00, 0x80});
        block.resize(block.size() + 17, 0);
        const uint64_t damaged = 1 + count / 5 * 5;
        const Bytes tracks = videoTracks(0);
        Bytes head;
        putId(head, Id::Segment);
        putSize8(head, tracks.size() + 12 + 3 + 2 * block.size() + damaged);
        head.insert(head.end(), tracks.begin(), tracks.end());
        putId(head, Id::Cluster);
        putSize8(head, 3 + 2 * block.size() + damaged);
        uintElement(head, Id::Timestamp, 0);
        write(head);
        write(block);
        Bytes data(1, 0x00);
        for (uint64_t i = 0; i < count / 5; ++i)
            data.insert(data.end(), look.begin(), look.end());
        write(data);
        write(block);
    } else {
        std::fclose(out);
        return usage();
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
