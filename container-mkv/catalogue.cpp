// SPDX-License-Identifier: MIT
// The element catalogue: every Matroska/EBML element this parser knows, by
// its ID as stored in the file (length-marker bits included). Masters are
// walked as children; other elements go to their handler or, when there is
// none, to the reporter of their type.
#include "containermkv.h"
#include "matroskaschema.h"

#include <new>
#include <string>

namespace {

struct CatalogueRow
{
    unsigned int id;
    ContainerMKV::ElementType type;
    const char16_t *name;
    ContainerMKV::ElementHandler handler;
    const char16_t *description;
};

// The table's texts as they stand in the library, without a copy: the
// walker's copies of a name or description then cost no reference counting.
QString staticText(const char16_t *text)
{
    if (!text)
        return QString();
    return QString::fromRawData(reinterpret_cast<const QChar *>(text),
                                qsizetype(std::char_traits<char16_t>::length(text)));
}

} // namespace

void ContainerMKV::fillCatalogue()
{
    // clang-format off
    static const CatalogueRow rows[] = {
    // EBML header
    {0x1A45DFA3, Master, u"EBML", nullptr, nullptr},
    {0x4286, UInteger, u"EBMLVersion", nullptr, nullptr},
    {0x42F7, UInteger, u"EBMLReadVersion", nullptr, nullptr},
    {0x42F2, UInteger, u"EBMLMaxIDLength", nullptr, nullptr},
    {0x42F3, UInteger, u"EBMLMaxSizeLength", nullptr, nullptr},
    {0x4282, String, u"DocType", nullptr, nullptr},
    {0x4287, UInteger, u"DocTypeVersion", nullptr, nullptr},
    {0x4285, UInteger, u"DocTypeReadVersion", nullptr, nullptr},

    // Void, CRC-32 and signatures
    {0xEC, Binary, u"Void", &ContainerMKV::parseJunk, nullptr},
    {0xBF, Binary, u"CRC-32", nullptr, nullptr},
    {0x1B538667, Master, u"SignatureSlot", nullptr, nullptr},
    {0x7E8A, UInteger, u"SignatureAlgo", nullptr, nullptr},
    {0x7E9A, UInteger, u"SignatureHash", nullptr, nullptr},
    {0x7EA5, Binary, u"SignaturePublicKey", nullptr, nullptr},
    {0x7EB5, Binary, u"Signature", nullptr, nullptr},
    {0x7E5B, Master, u"SignatureElements", nullptr, nullptr},
    {0x7E7B, Master, u"SignatureElementList", nullptr, nullptr},
    {0x6532, Binary, u"SignedElement", nullptr, nullptr},

    // Segment and seek index
    {0x18538067, Master, u"Segment", nullptr, nullptr},
    {0x114D9B74, Master, u"SeekHead", nullptr, nullptr},
    {0x4DBB, Master, u"Seek", nullptr, nullptr},
    {0x53AB, Binary, u"SeekID", nullptr, nullptr},
    {0x53AC, UInteger, u"SeekPosition", nullptr, u"Position relatively to segment of data origin."},

    // Segment information
    {0x1549A966, Master, u"SegmentInfo", nullptr, nullptr},
    {0x73A4, Binary, u"SegmentUID", nullptr, nullptr},
    {0x7384, UTF8, u"SegmentFilename", nullptr, nullptr},
    {0x3CB923, Binary, u"PrevUID", nullptr, nullptr},
    {0x3C83AB, UTF8, u"PrevFilename", nullptr, nullptr},
    {0x3EB923, Binary, u"NextUID", nullptr, nullptr},
    {0x3E83BB, UTF8, u"NextFilename", nullptr, nullptr},
    {0x4444, Binary, u"SegmentFamily", nullptr, nullptr},
    {0x6924, Master, u"ChapterTranslate", nullptr, nullptr},
    {0x69FC, UInteger, u"ChapterTranslateEditionUID", nullptr, nullptr},
    {0x69BF, UInteger, u"ChapterTranslateCodec", nullptr, nullptr},
    {0x69A5, Binary, u"ChapterTranslateID", nullptr, nullptr},
    {0x2AD7B1, UInteger, u"TimecodeScale", nullptr, u"To scale of other time values (in nanoseconds)."},
    {0x2AD7B2, UInteger, u"TimecodeScaleDenominator", nullptr, nullptr},
    {0x4489, Float, u"Duration", nullptr, u"Duration of segment (in nanoseconds)."},
    {0x4461, Date, u"DateUTC", nullptr, u"Date of production (in nanoseconds) relatively to January 01, 2001, 0:00:00 GMT."},
    {0x7BA9, UTF8, u"Title", nullptr, u"Title of segment"},
    {0x4D80, UTF8, u"MuxingApp", nullptr, u"Name of library that has been used to create the file."},
    {0x5741, UTF8, u"WritingApp", nullptr, u"Name of application used to create the file."},

    // Clusters and blocks
    {0x1F43B675, Master, u"Cluster", nullptr, nullptr},
    {0xE7, UInteger, u"Timecode", nullptr, nullptr},
    {0x5854, Master, u"SilentTracks", nullptr, nullptr},
    {0x58D7, UInteger, u"SilentTrackNumber", nullptr, nullptr},
    {0xA7, UInteger, u"Position", nullptr, nullptr},
    {0xAB, UInteger, u"PrevSize", nullptr, nullptr},
    {0xA3, Binary, u"SimpleBlock", &ContainerMKV::parseBlock, nullptr},
    {0xA0, Master, u"BlockGroup", nullptr, nullptr},
    {0xA1, Binary, u"Block", &ContainerMKV::parseBlock, nullptr},
    {0xA2, Binary, u"BlockVirtual", nullptr, nullptr},
    {0x75A1, Master, u"BlockAdditions", nullptr, nullptr},
    {0xA6, Master, u"BlockMore", nullptr, nullptr},
    {0xEE, UInteger, u"BlockAddID", nullptr, nullptr},
    {0xA5, Binary, u"BlockAdditional", nullptr, nullptr},
    {0x9B, UInteger, u"BlockDuration", nullptr, nullptr},
    {0xFA, UInteger, u"ReferencePriority", nullptr, nullptr},
    {0xFB, SInteger, u"ReferenceBlock", nullptr, nullptr},
    {0xFD, SInteger, u"ReferenceVirtual", nullptr, nullptr},
    {0xA4, Binary, u"CodecState", nullptr, nullptr},
    {0x8E, Master, u"Slices", nullptr, nullptr},
    {0xE8, Master, u"TimeSlice", nullptr, nullptr},
    {0xCC, UInteger, u"LaceNumber", nullptr, nullptr},
    {0xCD, UInteger, u"FrameNumber", nullptr, nullptr},
    {0xCB, UInteger, u"BlockAdditionID", nullptr, nullptr},
    {0xCE, UInteger, u"Delay", nullptr, nullptr},
    {0xCF, UInteger, u"SliceDuration", nullptr, nullptr},
    {0xC8, Master, u"ReferenceFrame", nullptr, nullptr},
    {0xC9, UInteger, u"ReferenceOffset", nullptr, nullptr},
    {0xCA, UInteger, u"ReferenceTimeCode", nullptr, nullptr},
    {0xAF, Binary, u"EncryptedBlock", nullptr, nullptr},

    // Tracks
    {0x1654AE6B, Master, u"Tracks", nullptr, nullptr},
    {0xAE, Master, u"TrackEntry", &ContainerMKV::parseTrackEntry, nullptr},
    {0xD7, UInteger, u"TrackNumber", &ContainerMKV::parseTrackNumber, nullptr},
    {0x73C5, UInteger, u"TrackUID", nullptr, nullptr},
    {0x83, UInteger, u"TrackType", &ContainerMKV::parseTrackType, nullptr},
    {0xB9, UInteger, u"FlagEnabled", nullptr, u"When it is 1, track is used."},
    {0x88, UInteger, u"FlagDefault", nullptr, nullptr},
    {0x55AA, UInteger, u"FlagForced", nullptr, nullptr},
    {0x9C, UInteger, u"FlagLacing", nullptr, nullptr},
    {0x6DE7, UInteger, u"MinCache", nullptr, nullptr},
    {0x6DF8, UInteger, u"MaxCache", nullptr, nullptr},
    {0x23E383, UInteger, u"DefaultDuration", &ContainerMKV::parseDefaultDuration, u"In nanoseconds. When it is 0, duration of frames of the track is not necessarily constant."},
    {0x23314F, Float, u"TrackTimecodeScale", &ContainerMKV::parseTrackTimecodeScale, nullptr},
    {0x537F, SInteger, u"TrackOffset", nullptr, nullptr},
    {0x55EE, UInteger, u"MaxBlockAdditionID", nullptr, nullptr},
    {0x536E, UTF8, u"Name", nullptr, u"Name of track."},
    {0x22B59C, String, u"Language", nullptr, nullptr},
    {0x86, String, u"CodecID", &ContainerMKV::parseCodecID, nullptr},
    {0x63A2, Binary, u"CodecPrivate", &ContainerMKV::parseCodecPrivate, nullptr},
    {0x258688, UTF8, u"CodecName", nullptr, nullptr},
    {0x7446, UInteger, u"AttachmentLink", nullptr, nullptr},
    {0x3A9697, UTF8, u"CodecSettings", nullptr, nullptr},
    {0x3B4040, String, u"CodecInfoURL", nullptr, nullptr},
    {0x26B240, String, u"CodecDownloadURL", nullptr, nullptr},
    {0xAA, UInteger, u"CodecDecodeAll", nullptr, nullptr},
    {0x6FAB, UInteger, u"TrackOverlay", nullptr, nullptr},
    {0x6624, Master, u"TrackTranslate", nullptr, nullptr},
    {0x66FC, UInteger, u"TrackTranslateEditionUID", nullptr, nullptr},
    {0x66BF, UInteger, u"TrackTranslateCodec", nullptr, nullptr},
    {0x66A5, Binary, u"TrackTranslateTrackID", nullptr, nullptr},

    // Video settings
    {0xE0, Master, u"Video", nullptr, nullptr},
    {0x9A, UInteger, u"FlagInterlaced", nullptr, nullptr},
    {0x53B8, UInteger, u"StereoMode", nullptr, nullptr},
    {0x53B9, UInteger, u"OldStereoMode", nullptr, nullptr},
    {0xB0, UInteger, u"PixelWidth", &ContainerMKV::parsePixelWidth, nullptr},
    {0xBA, UInteger, u"PixelHeight", &ContainerMKV::parsePixelHeight, nullptr},
    {0x54AA, UInteger, u"PixelCropBottom", nullptr, nullptr},
    {0x54BB, UInteger, u"PixelCropTop", nullptr, nullptr},
    {0x54CC, UInteger, u"PixelCropLeft", nullptr, nullptr},
    {0x54DD, UInteger, u"PixelCropRight", nullptr, nullptr},
    {0x54B0, UInteger, u"DisplayWidth", nullptr, nullptr},
    {0x54BA, UInteger, u"DisplayHeight", nullptr, nullptr},
    {0x54B2, UInteger, u"DisplayUnit", &ContainerMKV::parseDisplayUnit, nullptr},
    {0x54B3, UInteger, u"AspectRatioType", nullptr, nullptr},
    {0x2EB524, Binary, u"ColourSpace", nullptr, nullptr},
    {0x2FB523, Float, u"GammaValue", nullptr, nullptr},
    {0x2383E3, Float, u"FrameRate", nullptr, nullptr},

    // Audio settings
    {0xE1, Master, u"Audio", nullptr, nullptr},
    {0xB5, Float, u"SamplingFrequency", nullptr, nullptr},
    {0x78B5, Float, u"OutputSamplingFrequency", nullptr, nullptr},
    {0x9F, UInteger, u"Channels", nullptr, nullptr},
    {0x7D7B, Binary, u"ChannelPositions", nullptr, nullptr},
    {0x6264, UInteger, u"BitDepth", nullptr, nullptr},

    // Track operations and trick tracks
    {0xE2, Master, u"TrackOperation", nullptr, nullptr},
    {0xE3, Master, u"TrackCombinePlanes", nullptr, nullptr},
    {0xE4, Master, u"TrackPlane", nullptr, nullptr},
    {0xE5, UInteger, u"TrackPlaneUID", nullptr, nullptr},
    {0xE6, UInteger, u"TrackPlaneType", nullptr, nullptr},
    {0xE9, Master, u"TrackJoinBlocks", nullptr, nullptr},
    {0xED, UInteger, u"TrackJoinUID", nullptr, nullptr},
    {0xC0, UInteger, u"TrickTrackUID", nullptr, nullptr},
    {0xC1, Binary, u"TrickTrackSegmentUID", nullptr, nullptr},
    {0xC6, UInteger, u"TrickTrackFlag", nullptr, nullptr},
    {0xC7, UInteger, u"TrickMasterTrackUID", nullptr, nullptr},
    {0xC4, Binary, u"TrickMasterTrackSegmentUID", nullptr, nullptr},

    // Content encoding
    {0x6D80, Master, u"ContentEncodings", nullptr, nullptr},
    {0x6240, Master, u"ContentEncoding", nullptr, nullptr},
    {0x5031, UInteger, u"ContentEncodingOrder", nullptr, nullptr},
    {0x5032, UInteger, u"ContentEncodingScope", nullptr, nullptr},
    {0x5033, UInteger, u"ContentEncodingType", nullptr, nullptr},
    {0x5034, Master, u"ContentCompression", nullptr, nullptr},
    {0x4254, UInteger, u"ContentCompAlgo", nullptr, nullptr},
    {0x4255, Binary, u"ContentCompSettings", nullptr, nullptr},
    {0x5035, Master, u"ContentEncryption", nullptr, nullptr},
    {0x47E1, UInteger, u"ContentEncAlgo", nullptr, nullptr},
    {0x47E2, Binary, u"ContentEncKeyID", nullptr, nullptr},
    {0x47E3, Binary, u"ContentSignature", nullptr, nullptr},
    {0x47E4, Binary, u"ContentSigKeyID", nullptr, nullptr},
    {0x47E5, UInteger, u"ContentSigAlgo", nullptr, nullptr},
    {0x47E6, UInteger, u"ContentSigHashAlgo", nullptr, nullptr},

    // Cues
    {0x1C53BB6B, Master, u"Cues", nullptr, nullptr},
    {0xBB, Master, u"CuePoint", nullptr, nullptr},
    {0xB3, UInteger, u"CueTime", nullptr, nullptr},
    {0xB7, Master, u"CueTrackPositions", nullptr, nullptr},
    {0xF7, UInteger, u"CueTrack", nullptr, nullptr},
    {0xF1, UInteger, u"CueClusterPosition", nullptr, nullptr},
    {0xF0, UInteger, u"CueRelativePosition", nullptr, nullptr},
    {0xB2, UInteger, u"CueDuration", nullptr, nullptr},
    {0x5378, UInteger, u"CueBlockNumber", nullptr, nullptr},
    {0xEA, UInteger, u"CueCodecState", nullptr, nullptr},
    {0xDB, Master, u"CueReference", nullptr, nullptr},
    {0x96, UInteger, u"CueRefTime", nullptr, nullptr},
    {0x97, UInteger, u"CueRefCluster", nullptr, nullptr},
    {0x535F, UInteger, u"CueRefNumber", nullptr, nullptr},
    {0xEB, UInteger, u"CueRefCodecState", nullptr, nullptr},

    // Attachments
    {0x1941A469, Master, u"Attachments", nullptr, nullptr},
    {0x61A7, Master, u"AttachedFile", nullptr, nullptr},
    {0x467E, UTF8, u"FileDescription", nullptr, nullptr},
    {0x466E, UTF8, u"FileName", nullptr, nullptr},
    {0x4660, String, u"FileMimeType", nullptr, nullptr},
    {0x465C, Binary, u"FileData", &ContainerMKV::parseData, nullptr},
    {0x46AE, UInteger, u"FileUID", nullptr, nullptr},
    {0x4675, Binary, u"FileReferral", nullptr, nullptr},
    {0x4661, UInteger, u"FileUsedStartTime", nullptr, nullptr},
    {0x4662, UInteger, u"FileUsedEndTime", nullptr, nullptr},

    // Chapters
    {0x1043A770, Master, u"Chapters", nullptr, nullptr},
    {0x45B9, Master, u"EditionEntry", nullptr, nullptr},
    {0x45BC, UInteger, u"EditionUID", nullptr, nullptr},
    {0x45BD, UInteger, u"EditionFlagHidden", nullptr, nullptr},
    {0x45DB, UInteger, u"EditionFlagDefault", nullptr, nullptr},
    {0x45DD, UInteger, u"EditionFlagOrdered", nullptr, nullptr},
    {0xB6, Master, u"ChapterAtom", nullptr, nullptr},
    {0x73C4, UInteger, u"ChapterUID", nullptr, nullptr},
    {0x5654, UTF8, u"ChapterStringUID", nullptr, nullptr},
    {0x91, UInteger, u"ChapterTimeStart", nullptr, nullptr},
    {0x92, UInteger, u"ChapterTimeEnd", nullptr, nullptr},
    {0x98, UInteger, u"ChapterFlagHidden", nullptr, nullptr},
    {0x4598, UInteger, u"ChapterFlagEnabled", nullptr, nullptr},
    {0x6E67, Binary, u"ChapterSegmentUID", nullptr, nullptr},
    {0x6EBC, UInteger, u"ChapterSegmentEditionUID", nullptr, nullptr},
    {0x63C3, UInteger, u"ChapterPhysicalEquiv", nullptr, nullptr},
    {0x8F, Master, u"ChapterTrack", nullptr, nullptr},
    {0x89, UInteger, u"ChapterTrackNumber", nullptr, nullptr},
    {0x80, Master, u"ChapterDisplay", nullptr, nullptr},
    {0x85, UTF8, u"ChapString", nullptr, nullptr},
    {0x437C, String, u"ChapLanguage", nullptr, nullptr},
    {0x437E, String, u"ChapCountry", nullptr, nullptr},
    {0x6944, Master, u"ChapProcess", nullptr, nullptr},
    {0x6955, UInteger, u"ChapProcessCodecID", nullptr, nullptr},
    {0x450D, Binary, u"ChapProcessPrivate", nullptr, nullptr},
    {0x6911, Master, u"ChapProcessCommand", nullptr, nullptr},
    {0x6922, UInteger, u"ChapProcessTime", nullptr, nullptr},
    {0x6933, Binary, u"ChapProcessData", nullptr, nullptr},

    // Tags
    {0x1254C367, Master, u"Tags", nullptr, nullptr},
    {0x7373, Master, u"Tag", nullptr, nullptr},
    {0x63C0, Master, u"Targets", nullptr, nullptr},
    {0x68CA, UInteger, u"TargetTypeValue", nullptr, nullptr},
    {0x63CA, String, u"TargetType", nullptr, nullptr},
    {0x63C5, UInteger, u"TagTrackUID", nullptr, nullptr},
    {0x63C9, UInteger, u"TagEditionUID", nullptr, nullptr},
    {0x63C4, UInteger, u"TagChapterUID", nullptr, nullptr},
    {0x63C6, UInteger, u"TagAttachmentUID", nullptr, nullptr},
    {0x67C8, Master, u"SimpleTag", nullptr, nullptr},
    {0x45A3, UTF8, u"TagName", nullptr, nullptr},
    {0x447A, String, u"TagLanguage", nullptr, nullptr},
    {0x4484, UInteger, u"TagDefault", nullptr, nullptr},
    {0x4487, UTF8, u"TagString", nullptr, nullptr},
    {0x4485, Binary, u"TagBinary", nullptr, nullptr},
    };
    // clang-format on

    elements.reserve(int(sizeof rows / sizeof rows[0]));
    for (const CatalogueRow &row : rows) {
        ElementMKV *record = new (std::nothrow)
            ElementMKV(row.type, row.handler, staticText(row.name), staticText(row.description));
        // A record that could not be allocated stays in as null; lookups
        // then treat its ID as unknown.
        elements.insert(row.id, record);
    }
}

// The schema's types serve as the plug-in's element types.
constexpr bool sameType(ContainerMKV::ElementType a, MatroskaSchema::Type b)
{
    return int(a) == int(b);
}
static_assert(sameType(ContainerMKV::SInteger, MatroskaSchema::SInteger)
              && sameType(ContainerMKV::UInteger, MatroskaSchema::UInteger)
              && sameType(ContainerMKV::Float, MatroskaSchema::Float)
              && sameType(ContainerMKV::String, MatroskaSchema::String)
              && sameType(ContainerMKV::UTF8, MatroskaSchema::UTF8)
              && sameType(ContainerMKV::Date, MatroskaSchema::Date)
              && sameType(ContainerMKV::Master, MatroskaSchema::Master)
              && sameType(ContainerMKV::Binary, MatroskaSchema::Binary));

void ContainerMKV::fillModernCatalogue()
{
    // Handlers that only today's Matroska uses, for elements that only the
    // schema knows or whose values it gives a meaning.
    namespace Id = MatroskaSchema::Id;
    struct ModernHandlerRow
    {
        unsigned int id;
        ElementHandler handler;
    };
    // clang-format off
    static const ModernHandlerRow ModernHandlers[] = {
        // Blocks
        {Id::Cluster, &ContainerMKV::parseCluster},
        {Id::Timestamp, &ContainerMKV::parseClusterTimestamp},
        {Id::BlockGroup, &ContainerMKV::parseBlockGroup},
        {Id::BlockDuration, &ContainerMKV::parseBlockTicks},
        {Id::ReferenceBlock, &ContainerMKV::parseBlockTicks},
        // Values
        {Id::TimestampScale, &ContainerMKV::parseTimestampScale},
        {Id::Duration, &ContainerMKV::parseDuration},
        {Id::DateUtc, &ContainerMKV::parseDateUTC},
        {Id::SeekId, &ContainerMKV::parseSeekID},
        {Id::DefaultDuration, &ContainerMKV::parseNanoseconds},
        {Id::CodecDelay, &ContainerMKV::parseNanoseconds},
        {Id::SeekPreRoll, &ContainerMKV::parseNanoseconds},
        {Id::DefaultDecodedFieldDuration, &ContainerMKV::parseNanoseconds},
        {Id::ChapterTimeStart, &ContainerMKV::parseNanoseconds},
        {Id::ChapterTimeEnd, &ContainerMKV::parseNanoseconds},
        {Id::DiscardPadding, &ContainerMKV::parseSignedNanoseconds},
        {Id::CueTime, &ContainerMKV::parseTicks},
        {Id::CueDuration, &ContainerMKV::parseTicks},
        {Id::CueRefTime, &ContainerMKV::parseTicks},
    };
    // clang-format on

    for (auto it = elements.cbegin(); it != elements.cend(); ++it) {
        if (it.value())
            m_modernElements.insert(it.key(), new (std::nothrow) ElementMKV(*it.value()));
    }
    // Every element of the schema goes by the schema's name (Info, not
    // SegmentInfo; TimestampScale, not TimecodeScale).
    for (int i = 0; i < MatroskaSchema::ElementCount; ++i) {
        const MatroskaSchema::Element &row = MatroskaSchema::Elements[i];
        if (ElementMKV *record = m_modernElements.value(row.id, nullptr))
            record->name = MatroskaSchema::name(row);
        else
            m_modernElements.insert(row.id,
                                    new (std::nothrow) ElementMKV(
                                        row.type, nullptr, MatroskaSchema::name(row), QString()));
    }
    // Classic descriptions that today's Matroska contradicts: a Duration
    // counts ticks of the TimestampScale, not nanoseconds, and a
    // DefaultDuration may not be 0. Their values show the time instead.
    for (const unsigned int id : {Id::Duration, Id::DefaultDuration}) {
        if (ElementMKV *record = m_modernElements.value(id, nullptr))
            record->description.clear();
    }
    for (const ModernHandlerRow &row : ModernHandlers) {
        if (ElementMKV *record = m_modernElements.value(row.id, nullptr))
            record->handler = row.handler;
    }
    // Values: enumerated integers and strings show their schema label.
    for (int i = 0; i < MatroskaSchema::ElementCount; ++i) {
        const MatroskaSchema::Element &row = MatroskaSchema::Elements[i];
        ElementMKV *record = row.labelCount ? m_modernElements.value(row.id, nullptr) : nullptr;
        if (record && !record->handler && record->type == UInteger)
            record->handler = &ContainerMKV::parseEnumeration;
        else if (record && !record->handler && record->type == String)
            record->handler = &ContainerMKV::parseTextEnumeration;
    }
}

ContainerMKV::Dialect ContainerMKV::classicDialect()
{
    Dialect classic;
    classic.catalogue = &elements;
    classic.label = &ContainerMKV::classicLabel;
    return classic;
}

ContainerMKV::Dialect ContainerMKV::modernDialect()
{
    if (m_modernElements.isEmpty())
        fillModernCatalogue();
    Dialect modern;
    modern.catalogue = &m_modernElements;
    modern.label = &ContainerMKV::enumerationLabel;
    modern.saysKinds = true;
    modern.codeMask = 0xFF;
    modern.tagFill = 0;
    modern.showsUnknownIds = modern.unknownSizes = modern.damagedData = modern.blockDetails
        = modern.cutMeanings = modern.cutHeaders = modern.wholeTexts = true;
    modern.announcesFormat = false;
    modern.byContent = true;
    modern.blockTimeName = &Texts.timestamp;
    return modern;
}

ContainerMKV::Dialect ContainerMKV::settingDialect()
{
    return modernMatroska ? modernDialect() : classicDialect();
}

int ContainerMKV::searchID(unsigned int id, ElementMKV *record)
{
    const ElementMKV *entry = m_dialect.catalogue->value(id, nullptr);
    if (!entry)
        return StatusUnknownID;
    record->type = entry->type;
    record->name = entry->name;
    record->handler = entry->handler;
    record->description = entry->description;
    return StatusDone;
}
