// The element catalogue: every Matroska/EBML element this parser knows, by
// its ID as stored in the file (length-marker bits included). Masters are
// walked as children; other elements go to their handler or, when there is
// none, to the reporter of their type.
#include "containermkv.h"

#include <new>

namespace {

struct CatalogueRow
{
    unsigned int id;
    ContainerMKV::ElementType type;
    const char *name;
    ContainerMKV::ElementHandler handler;
    const char *description;
};

} // namespace

void ContainerMKV::fillCatalogue()
{
    static const CatalogueRow rows[] = {
    // EBML header
    {0x1A45DFA3, Master, "EBML", nullptr, nullptr},
    {0x4286, UInteger, "EBMLVersion", nullptr, nullptr},
    {0x42F7, UInteger, "EBMLReadVersion", nullptr, nullptr},
    {0x42F2, UInteger, "EBMLMaxIDLength", nullptr, nullptr},
    {0x42F3, UInteger, "EBMLMaxSizeLength", nullptr, nullptr},
    {0x4282, String, "DocType", nullptr, nullptr},
    {0x4287, UInteger, "DocTypeVersion", nullptr, nullptr},
    {0x4285, UInteger, "DocTypeReadVersion", nullptr, nullptr},

    // Void, CRC-32 and signatures
    {0xEC, Binary, "Void", &ContainerMKV::parseJunk, nullptr},
    {0xBF, Binary, "CRC-32", nullptr, nullptr},
    {0x1B538667, Master, "SignatureSlot", nullptr, nullptr},
    {0x7E8A, UInteger, "SignatureAlgo", nullptr, nullptr},
    {0x7E9A, UInteger, "SignatureHash", nullptr, nullptr},
    {0x7EA5, Binary, "SignaturePublicKey", nullptr, nullptr},
    {0x7EB5, Binary, "Signature", nullptr, nullptr},
    {0x7E5B, Master, "SignatureElements", nullptr, nullptr},
    {0x7E7B, Master, "SignatureElementList", nullptr, nullptr},
    {0x6532, Binary, "SignedElement", nullptr, nullptr},

    // Segment and seek index
    {0x18538067, Master, "Segment", nullptr, nullptr},
    {0x114D9B74, Master, "SeekHead", nullptr, nullptr},
    {0x4DBB, Master, "Seek", nullptr, nullptr},
    {0x53AB, Binary, "SeekID", nullptr, nullptr},
    {0x53AC, UInteger, "SeekPosition", nullptr, "Position relatively to segment of data origin."},

    // Segment information
    {0x1549A966, Master, "SegmentInfo", nullptr, nullptr},
    {0x73A4, Binary, "SegmentUID", nullptr, nullptr},
    {0x7384, UTF8, "SegmentFilename", nullptr, nullptr},
    {0x3CB923, Binary, "PrevUID", nullptr, nullptr},
    {0x3C83AB, UTF8, "PrevFilename", nullptr, nullptr},
    {0x3EB923, Binary, "NextUID", nullptr, nullptr},
    {0x3E83BB, UTF8, "NextFilename", nullptr, nullptr},
    {0x4444, Binary, "SegmentFamily", nullptr, nullptr},
    {0x6924, Master, "ChapterTranslate", nullptr, nullptr},
    {0x69FC, UInteger, "ChapterTranslateEditionUID", nullptr, nullptr},
    {0x69BF, UInteger, "ChapterTranslateCodec", nullptr, nullptr},
    {0x69A5, Binary, "ChapterTranslateID", nullptr, nullptr},
    {0x2AD7B1, UInteger, "TimecodeScale", nullptr, "To scale of other time values (in nanoseconds)."},
    {0x2AD7B2, UInteger, "TimecodeScaleDenominator", nullptr, nullptr},
    {0x4489, Float, "Duration", nullptr, "Duration of segment (in nanoseconds)."},
    {0x4461, Date, "DateUTC", nullptr, "Date of production (in nanoseconds) relatively to January 01, 2001, 0:00:00 GMT."},
    {0x7BA9, UTF8, "Title", nullptr, "Title of segment"},
    {0x4D80, UTF8, "MuxingApp", nullptr, "Name of library that has been used to create the file."},
    {0x5741, UTF8, "WritingApp", nullptr, "Name of application used to create the file."},

    // Clusters and blocks
    {0x1F43B675, Master, "Cluster", nullptr, nullptr},
    {0xE7, UInteger, "Timecode", nullptr, nullptr},
    {0x5854, Master, "SilentTracks", nullptr, nullptr},
    {0x58D7, UInteger, "SilentTrackNumber", nullptr, nullptr},
    {0xA7, UInteger, "Position", nullptr, nullptr},
    {0xAB, UInteger, "PrevSize", nullptr, nullptr},
    {0xA3, Binary, "SimpleBlock", &ContainerMKV::parseBlock, nullptr},
    {0xA0, Master, "BlockGroup", nullptr, nullptr},
    {0xA1, Binary, "Block", &ContainerMKV::parseBlock, nullptr},
    {0xA2, Binary, "BlockVirtual", nullptr, nullptr},
    {0x75A1, Master, "BlockAdditions", nullptr, nullptr},
    {0xA6, Master, "BlockMore", nullptr, nullptr},
    {0xEE, UInteger, "BlockAddID", nullptr, nullptr},
    {0xA5, Binary, "BlockAdditional", nullptr, nullptr},
    {0x9B, UInteger, "BlockDuration", nullptr, nullptr},
    {0xFA, UInteger, "ReferencePriority", nullptr, nullptr},
    {0xFB, SInteger, "ReferenceBlock", nullptr, nullptr},
    {0xFD, SInteger, "ReferenceVirtual", nullptr, nullptr},
    {0xA4, Binary, "CodecState", nullptr, nullptr},
    {0x8E, Master, "Slices", nullptr, nullptr},
    {0xE8, Master, "TimeSlice", nullptr, nullptr},
    {0xCC, UInteger, "LaceNumber", nullptr, nullptr},
    {0xCD, UInteger, "FrameNumber", nullptr, nullptr},
    {0xCB, UInteger, "BlockAdditionID", nullptr, nullptr},
    {0xCE, UInteger, "Delay", nullptr, nullptr},
    {0xCF, UInteger, "SliceDuration", nullptr, nullptr},
    {0xC8, Master, "ReferenceFrame", nullptr, nullptr},
    {0xC9, UInteger, "ReferenceOffset", nullptr, nullptr},
    {0xCA, UInteger, "ReferenceTimeCode", nullptr, nullptr},
    {0xAF, Binary, "EncryptedBlock", nullptr, nullptr},

    // Tracks
    {0x1654AE6B, Master, "Tracks", nullptr, nullptr},
    {0xAE, Master, "TrackEntry", &ContainerMKV::parseTrackEntry, nullptr},
    {0xD7, UInteger, "TrackNumber", &ContainerMKV::parseTrackNumber, nullptr},
    {0x73C5, UInteger, "TrackUID", nullptr, nullptr},
    {0x83, UInteger, "TrackType", &ContainerMKV::parseTrackType, nullptr},
    {0xB9, UInteger, "FlagEnabled", nullptr, "When it is 1, track is used."},
    {0x88, UInteger, "FlagDefault", nullptr, nullptr},
    {0x55AA, UInteger, "FlagForced", nullptr, nullptr},
    {0x9C, UInteger, "FlagLacing", nullptr, nullptr},
    {0x6DE7, UInteger, "MinCache", nullptr, nullptr},
    {0x6DF8, UInteger, "MaxCache", nullptr, nullptr},
    {0x23E383, UInteger, "DefaultDuration", &ContainerMKV::parseDefaultDuration, "In nanoseconds. When it is 0, duration of frames of the track is not necessarily constant."},
    {0x23314F, Float, "TrackTimecodeScale", &ContainerMKV::parseTrackTimecodeScale, nullptr},
    {0x537F, SInteger, "TrackOffset", nullptr, nullptr},
    {0x55EE, UInteger, "MaxBlockAdditionID", nullptr, nullptr},
    {0x536E, UTF8, "Name", nullptr, "Name of track."},
    {0x22B59C, String, "Language", nullptr, nullptr},
    {0x86, String, "CodecID", &ContainerMKV::parseCodecID, nullptr},
    {0x63A2, Binary, "CodecPrivate", &ContainerMKV::parseCodecPrivate, nullptr},
    {0x258688, UTF8, "CodecName", nullptr, nullptr},
    {0x7446, UInteger, "AttachmentLink", nullptr, nullptr},
    {0x3A9697, UTF8, "CodecSettings", nullptr, nullptr},
    {0x3B4040, String, "CodecInfoURL", nullptr, nullptr},
    {0x26B240, String, "CodecDownloadURL", nullptr, nullptr},
    {0xAA, UInteger, "CodecDecodeAll", nullptr, nullptr},
    {0x6FAB, UInteger, "TrackOverlay", nullptr, nullptr},
    {0x6624, Master, "TrackTranslate", nullptr, nullptr},
    {0x66FC, UInteger, "TrackTranslateEditionUID", nullptr, nullptr},
    {0x66BF, UInteger, "TrackTranslateCodec", nullptr, nullptr},
    {0x66A5, Binary, "TrackTranslateTrackID", nullptr, nullptr},

    // Video settings
    {0xE0, Master, "Video", nullptr, nullptr},
    {0x9A, UInteger, "FlagInterlaced", nullptr, nullptr},
    {0x53B8, UInteger, "StereoMode", nullptr, nullptr},
    {0x53B9, UInteger, "OldStereoMode", nullptr, nullptr},
    {0xB0, UInteger, "PixelWidth", &ContainerMKV::parsePixelWidth, nullptr},
    {0xBA, UInteger, "PixelHeight", &ContainerMKV::parsePixelHeight, nullptr},
    {0x54AA, UInteger, "PixelCropBottom", nullptr, nullptr},
    {0x54BB, UInteger, "PixelCropTop", nullptr, nullptr},
    {0x54CC, UInteger, "PixelCropLeft", nullptr, nullptr},
    {0x54DD, UInteger, "PixelCropRight", nullptr, nullptr},
    {0x54B0, UInteger, "DisplayWidth", nullptr, nullptr},
    {0x54BA, UInteger, "DisplayHeight", nullptr, nullptr},
    {0x54B2, UInteger, "DisplayUnit", &ContainerMKV::parseDisplayUnit, nullptr},
    {0x54B3, UInteger, "AspectRatioType", nullptr, nullptr},
    {0x2EB524, Binary, "ColourSpace", nullptr, nullptr},
    {0x2FB523, Float, "GammaValue", nullptr, nullptr},
    {0x2383E3, Float, "FrameRate", nullptr, nullptr},

    // Audio settings
    {0xE1, Master, "Audio", nullptr, nullptr},
    {0xB5, Float, "SamplingFrequency", nullptr, nullptr},
    {0x78B5, Float, "OutputSamplingFrequency", nullptr, nullptr},
    {0x9F, UInteger, "Channels", nullptr, nullptr},
    {0x7D7B, Binary, "ChannelPositions", nullptr, nullptr},
    {0x6264, UInteger, "BitDepth", nullptr, nullptr},

    // Track operations and trick tracks
    {0xE2, Master, "TrackOperation", nullptr, nullptr},
    {0xE3, Master, "TrackCombinePlanes", nullptr, nullptr},
    {0xE4, Master, "TrackPlane", nullptr, nullptr},
    {0xE5, UInteger, "TrackPlaneUID", nullptr, nullptr},
    {0xE6, UInteger, "TrackPlaneType", nullptr, nullptr},
    {0xE9, Master, "TrackJoinBlocks", nullptr, nullptr},
    {0xED, UInteger, "TrackJoinUID", nullptr, nullptr},
    {0xC0, UInteger, "TrickTrackUID", nullptr, nullptr},
    {0xC1, Binary, "TrickTrackSegmentUID", nullptr, nullptr},
    {0xC6, UInteger, "TrickTrackFlag", nullptr, nullptr},
    {0xC7, UInteger, "TrickMasterTrackUID", nullptr, nullptr},
    {0xC4, Binary, "TrickMasterTrackSegmentUID", nullptr, nullptr},

    // Content encoding
    {0x6D80, Master, "ContentEncodings", nullptr, nullptr},
    {0x6240, Master, "ContentEncoding", nullptr, nullptr},
    {0x5031, UInteger, "ContentEncodingOrder", nullptr, nullptr},
    {0x5032, UInteger, "ContentEncodingScope", nullptr, nullptr},
    {0x5033, UInteger, "ContentEncodingType", nullptr, nullptr},
    {0x5034, Master, "ContentCompression", nullptr, nullptr},
    {0x4254, UInteger, "ContentCompAlgo", nullptr, nullptr},
    {0x4255, Binary, "ContentCompSettings", nullptr, nullptr},
    {0x5035, Master, "ContentEncryption", nullptr, nullptr},
    {0x47E1, UInteger, "ContentEncAlgo", nullptr, nullptr},
    {0x47E2, Binary, "ContentEncKeyID", nullptr, nullptr},
    {0x47E3, Binary, "ContentSignature", nullptr, nullptr},
    {0x47E4, Binary, "ContentSigKeyID", nullptr, nullptr},
    {0x47E5, UInteger, "ContentSigAlgo", nullptr, nullptr},
    {0x47E6, UInteger, "ContentSigHashAlgo", nullptr, nullptr},

    // Cues
    {0x1C53BB6B, Master, "Cues", nullptr, nullptr},
    {0xBB, Master, "CuePoint", nullptr, nullptr},
    {0xB3, UInteger, "CueTime", nullptr, nullptr},
    {0xB7, Master, "CueTrackPositions", nullptr, nullptr},
    {0xF7, UInteger, "CueTrack", nullptr, nullptr},
    {0xF1, UInteger, "CueClusterPosition", nullptr, nullptr},
    {0xF0, UInteger, "CueRelativePosition", nullptr, nullptr},
    {0xB2, UInteger, "CueDuration", nullptr, nullptr},
    {0x5378, UInteger, "CueBlockNumber", nullptr, nullptr},
    {0xEA, UInteger, "CueCodecState", nullptr, nullptr},
    {0xDB, Master, "CueReference", nullptr, nullptr},
    {0x96, UInteger, "CueRefTime", nullptr, nullptr},
    {0x97, UInteger, "CueRefCluster", nullptr, nullptr},
    {0x535F, UInteger, "CueRefNumber", nullptr, nullptr},
    {0xEB, UInteger, "CueRefCodecState", nullptr, nullptr},

    // Attachments
    {0x1941A469, Master, "Attachments", nullptr, nullptr},
    {0x61A7, Master, "AttachedFile", nullptr, nullptr},
    {0x467E, UTF8, "FileDescription", nullptr, nullptr},
    {0x466E, UTF8, "FileName", nullptr, nullptr},
    {0x4660, String, "FileMimeType", nullptr, nullptr},
    {0x465C, Binary, "FileData", &ContainerMKV::parseData, nullptr},
    {0x46AE, UInteger, "FileUID", nullptr, nullptr},
    {0x4675, Binary, "FileReferral", nullptr, nullptr},
    {0x4661, UInteger, "FileUsedStartTime", nullptr, nullptr},
    {0x4662, UInteger, "FileUsedEndTime", nullptr, nullptr},

    // Chapters
    {0x1043A770, Master, "Chapters", nullptr, nullptr},
    {0x45B9, Master, "EditionEntry", nullptr, nullptr},
    {0x45BC, UInteger, "EditionUID", nullptr, nullptr},
    {0x45BD, UInteger, "EditionFlagHidden", nullptr, nullptr},
    {0x45DB, UInteger, "EditionFlagDefault", nullptr, nullptr},
    {0x45DD, UInteger, "EditionFlagOrdered", nullptr, nullptr},
    {0xB6, Master, "ChapterAtom", nullptr, nullptr},
    {0x73C4, UInteger, "ChapterUID", nullptr, nullptr},
    {0x5654, UTF8, "ChapterStringUID", nullptr, nullptr},
    {0x91, UInteger, "ChapterTimeStart", nullptr, nullptr},
    {0x92, UInteger, "ChapterTimeEnd", nullptr, nullptr},
    {0x98, UInteger, "ChapterFlagHidden", nullptr, nullptr},
    {0x4598, UInteger, "ChapterFlagEnabled", nullptr, nullptr},
    {0x6E67, Binary, "ChapterSegmentUID", nullptr, nullptr},
    {0x6EBC, UInteger, "ChapterSegmentEditionUID", nullptr, nullptr},
    {0x63C3, UInteger, "ChapterPhysicalEquiv", nullptr, nullptr},
    {0x8F, Master, "ChapterTrack", nullptr, nullptr},
    {0x89, UInteger, "ChapterTrackNumber", nullptr, nullptr},
    {0x80, Master, "ChapterDisplay", nullptr, nullptr},
    {0x85, UTF8, "ChapString", nullptr, nullptr},
    {0x437C, String, "ChapLanguage", nullptr, nullptr},
    {0x437E, String, "ChapCountry", nullptr, nullptr},
    {0x6944, Master, "ChapProcess", nullptr, nullptr},
    {0x6955, UInteger, "ChapProcessCodecID", nullptr, nullptr},
    {0x450D, Binary, "ChapProcessPrivate", nullptr, nullptr},
    {0x6911, Master, "ChapProcessCommand", nullptr, nullptr},
    {0x6922, UInteger, "ChapProcessTime", nullptr, nullptr},
    {0x6933, Binary, "ChapProcessData", nullptr, nullptr},

    // Tags
    {0x1254C367, Master, "Tags", nullptr, nullptr},
    {0x7373, Master, "Tag", nullptr, nullptr},
    {0x63C0, Master, "Targets", nullptr, nullptr},
    {0x68CA, UInteger, "TargetTypeValue", nullptr, nullptr},
    {0x63CA, String, "TargetType", nullptr, nullptr},
    {0x63C5, UInteger, "TagTrackUID", nullptr, nullptr},
    {0x63C9, UInteger, "TagEditionUID", nullptr, nullptr},
    {0x63C4, UInteger, "TagChapterUID", nullptr, nullptr},
    {0x63C6, UInteger, "TagAttachmentUID", nullptr, nullptr},
    {0x67C8, Master, "SimpleTag", nullptr, nullptr},
    {0x45A3, UTF8, "TagName", nullptr, nullptr},
    {0x447A, String, "TagLanguage", nullptr, nullptr},
    {0x4484, UInteger, "TagDefault", nullptr, nullptr},
    {0x4487, UTF8, "TagString", nullptr, nullptr},
    {0x4485, Binary, "TagBinary", nullptr, nullptr},
    };

    elements.reserve(int(sizeof rows / sizeof rows[0]));
    for (const CatalogueRow &row : rows) {
        ElementMKV *record = new (std::nothrow) ElementMKV(
            row.type, row.handler, QString::fromLatin1(row.name),
            row.description ? QString::fromLatin1(row.description) : QString());
        // A record that could not be allocated stays in as null; lookups
        // then treat its ID as unknown.
        elements.insert(row.id, record);
    }
}

int ContainerMKV::searchID(unsigned int id, ElementMKV *record)
{
    const ElementMKV *entry = elements.value(id, nullptr);
    if (!entry)
        return StatusUnknownID;
    record->type = entry->type;
    record->name = entry->name;
    record->handler = entry->handler;
    record->description = entry->description;
    return StatusDone;
}
