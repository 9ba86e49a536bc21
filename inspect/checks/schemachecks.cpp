// SPDX-License-Identifier: MIT
// The schema's checks: the EBML header, DocType versions, ID and size
// lengths, unknown elements, parents, occurrences, unknown sizes, values,
// deprecated elements and WebM.
#include "check.h"

#include "matroskaschema.h"

#include <QByteArray>
#include <QStringList>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using namespace MatroskaSchema;

constexpr qint64 TextLimit = 64 * 1024; // the most of a text value that is read

QString number(double v)
{
    return QString::number(v, 'g', 17);
}

QString describe(const Range &r)
{
    QStringList parts;
    if (r.hasNot)
        parts << QStringLiteral("not ") + number(r.notValue);
    if (r.min == r.max) {
        parts << number(r.min);
    } else if (std::isfinite(r.min) && std::isfinite(r.max) && !r.minOpen && !r.maxOpen) {
        parts << number(r.min) + QStringLiteral(" to ") + number(r.max);
    } else {
        if (std::isfinite(r.min))
            parts << QLatin1String(r.minOpen ? "> " : ">= ") + number(r.min);
        if (std::isfinite(r.max))
            parts << QLatin1String(r.maxOpen ? "< " : "<= ") + number(r.max);
    }
    return parts.join(QStringLiteral(", "));
}

enum Kind {
    EbmlHeader,
    DocTypeVersionCheck,
    IdLength,
    SizeLength,
    UnknownElement,
    InvalidParent,
    MissingElement,
    TooMany,
    UnknownSize,
    ValueRange,
    ValueLength,
    BadNumber,
    BadText,
    Deprecated,
    WebMCheck,
    KindCount
};

const char *const KindIds[KindCount] = {
    "ebml-header",    "doctype-version", "id-length", "size-length",  "unknown-element",
    "invalid-parent", "missing-element", "too-many",  "unknown-size", "value-range",
    "value-length",   "bad-number",      "bad-text",  "deprecated",   "webm",
};

Severity severityOf(Kind kind)
{
    return kind == UnknownElement || kind == Deprecated ? Severity::Warning : Severity::Error;
}

const char *const WebMCodecs[] = {
    "V_VP8",
    "V_VP9",
    "V_AV1",
    "A_VORBIS",
    "A_OPUS",
    "D_WEBVTT/SUBTITLES",
    "D_WEBVTT/CAPTIONS",
    "D_WEBVTT/DESCRIPTIONS",
    "D_WEBVTT/METADATA",
};

QString hexId(qint64 id)
{
    return QStringLiteral("0x") + QString::number(id, 16).toUpper();
}

QString schemaName(quint32 id)
{
    if (id == TopLevel)
        return QStringLiteral("the top level");
    const Element *e = find(id);
    return e ? name(*e) : hexId(id);
}

// The first byte that is not valid UTF-8 text, or -1. Trailing zero bytes
// are padding; a sequence cut by the end of a truncated read is not a fault.
qsizetype badUtf8(const QByteArray &bytes, bool truncated)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        if (b == 0) {
            for (qsizetype j = i; j < n; ++j)
                if (s[j] != 0)
                    return j;
            return -1;
        }
        if (b < 0x80) {
            ++i;
            continue;
        }
        int extra = 0;
        quint32 cp = 0, least = 0;
        if ((b & 0xE0) == 0xC0) {
            extra = 1;
            cp = b & 0x1F;
            least = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            cp = b & 0x0F;
            least = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            cp = b & 0x07;
            least = 0x10000;
        } else {
            return i;
        }
        if (i + extra >= n)
            return truncated ? -1 : i;
        for (int k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return i;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return i;
        i += extra + 1;
    }
    return -1;
}

// The first byte that is not printable ASCII, or -1; zero bytes may only
// pad the end.
qsizetype badAscii(const QByteArray &bytes)
{
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char b = uchar(bytes[i]);
        if (b == 0) {
            for (qsizetype j = i; j < n; ++j)
                if (bytes[j] != 0)
                    return j;
            return -1;
        }
        if (b < 0x20 || b > 0x7E)
            return i;
    }
    return -1;
}

class SchemaChecks : public Check
{
public:
    SchemaChecks()
    {
        m_reported.assign(size_t(ElementCount) * KindCount, false);
        resetFile();
    }

    void begin(CheckContext &c) override
    {
        const OpenElement &e = c.current();
        Frame frame;
        frame.headerDone = e.id < 0;
        if (e.id >= 0) {
            // Blocks come in runs of one ID: the last lookup is kept.
            if (e.id != m_lastId) {
                m_lastId = e.id;
                m_lastSchema = find(quint32(e.id));
            }
            frame.schema = m_lastSchema;
            if (!frame.schema)
                say(c, UnknownElement, [&] {
                    return QStringLiteral("ID %1 is not an element of the schema").arg(hexId(e.id));
                });
        }
        if (frame.schema) {
            checkPlace(c, *frame.schema);
            if (frame.schema->type == Master) {
                frame.countBase = quint32(m_counts.size());
                frame.countLength = frame.schema->children.count;
                m_counts.resize(m_counts.size() + frame.countLength, 0);
            }
        }
        m_frames.push_back(frame);
    }

    void header(CheckContext &c) override
    {
        Frame &frame = m_frames.back();
        if (frame.headerDone)
            return;
        frame.headerDone = true;
        checkHeader(c, frame);
    }

    void end(CheckContext &c) override
    {
        if (m_frames.size() < 2)
            return; // the top level's frame stays
        Frame &frame = m_frames.back();
        if (!frame.headerDone) {
            frame.headerDone = true;
            checkHeader(c, frame);
        }
        if (frame.schema && frame.schema->type == Master) {
            endMaster(c, frame);
            m_counts.resize(frame.countBase);
        } else if (frame.schema && !(c.current().pastFileEnd)) {
            checkValue(c, *frame.schema);
        }
        m_frames.pop_back();
    }

    void finish(CheckContext &c) override
    {
        const auto file = [] { return QString(); };
        if (!c.sawEbmlHeader) {
            sayAt(c, EbmlHeader, 0, file, [&] {
                return QStringLiteral("no EBML header at offset 0: this is not an EBML file");
            });
        } else {
            // The top level's required elements (the EBML header is known).
            missingChildren(c, m_frames.front(), TopLevelChildren, nullptr, 0, file,
                            QStringLiteral("the file"));
        }
        resetFile();
    }

private:
    struct Frame
    {
        const Element *schema = nullptr; // null: unknown, or no ID
        quint32 countBase = 0;           // its children's counts in m_counts
        quint16 countLength = 0;
        bool headerDone = false; // the checks of the ID and size fields ran
    };

    void resetFile()
    {
        m_frames.clear();
        m_counts.assign(TopLevelChildren.count, 0);
        Frame top;
        top.countLength = TopLevelChildren.count;
        top.headerDone = true;
        m_frames.push_back(top);
        std::fill(m_reported.begin(), m_reported.end(), false);
        m_webm = false;
        m_readVersionOffset = 0;
        m_readVersionIndex = 0;
    }

    // The message is made only for a finding that is shown.
    template <typename Message> void say(CheckContext &c, Kind kind, const Message &message)
    {
        c.report(severityOf(kind), KindIds[kind], message);
    }

    template <typename Path, typename Message>
    void sayAt(CheckContext &c, Kind kind, quint64 offset, const Path &path, const Message &message)
    {
        c.reportAt(severityOf(kind), KindIds[kind], offset, path, message);
    }

    // Once per file and element of the schema, for the checks about a kind
    // of element rather than one of them.
    bool first(Kind kind, const Element &e)
    {
        const size_t at = size_t(&e - Elements) * KindCount + kind;
        if (m_reported[at])
            return false;
        m_reported[at] = true;
        return true;
    }

    // The parent and the number of occurrences, as the element opens.
    void checkPlace(CheckContext &c, const Element &e)
    {
        const Frame &parentFrame = m_frames.back();
        const bool topLevel = m_frames.size() == 1;
        if (!topLevel && !parentFrame.schema)
            return; // in an unknown element or damaged data: no parent to judge by
        const quint32 parentId = topLevel ? TopLevel : parentFrame.schema->id;
        // An EBML header after a Segment begins the next document of a
        // stream of them (chained live streams): the top level counts anew.
        if (topLevel && e.id == Id::Ebml && m_counts[quint32(find(Id::Segment)->slot)] > 0)
            std::fill(m_counts.begin(), m_counts.begin() + parentFrame.countLength, 0);
        if (!e.mayStandIn(parentId)) {
            say(c, InvalidParent, [&] {
                return QStringLiteral("%1 (%2) may not stand in %3; its parent is %4")
                    .arg(name(e), hexId(e.id), schemaName(parentId), schemaName(e.parent));
            });
            return;
        }
        qint16 slot = -1;
        if (e.parent == parentId)
            slot = e.slot;
        else if (e.id == parentId)
            slot = e.selfSlot;
        if (slot < 0 || slot >= parentFrame.countLength)
            return;
        if ((e.flags & Recurring) && c.inRecurringCopy())
            return; // a later copy of the same is no more occurrence
        const quint32 count = ++m_counts[parentFrame.countBase + quint32(slot)];
        if (e.maxOccurs != 0 && count == e.maxOccurs + 1)
            say(c, TooMany, [&] {
                return QStringLiteral("%1 occurrences of %2 in %3 so far; at most %4 allowed")
                    .arg(count)
                    .arg(name(e), schemaName(parentId))
                    .arg(e.maxOccurs);
            });
    }

    // The checks that need the ID and size fields: lengths, unknown size,
    // versions, deprecated and WebM elements.
    void checkHeader(CheckContext &c, const Frame &frame)
    {
        const OpenElement &e = c.current();
        if (e.idLength > c.maxIdLength)
            say(c, IdLength, [&] {
                return QStringLiteral("an ID of %1 bytes; EBMLMaxIDLength is %2")
                    .arg(e.idLength)
                    .arg(c.maxIdLength);
            });
        if (e.sizeLength > c.maxSizeLength)
            say(c, SizeLength, [&] {
                return QStringLiteral("a size field of %1 bytes; EBMLMaxSizeLength is %2")
                    .arg(e.sizeLength)
                    .arg(c.maxSizeLength);
            });
        if (!frame.schema)
            return;
        const Element &s = *frame.schema;
        if (e.unknownSize && !(s.flags & UnknownSizeAllowed))
            say(c, UnknownSize, [&] {
                return QStringLiteral("%1 has an unknown size; only Segment and Cluster may")
                    .arg(name(s));
            });
        // The versions are Matroska's. WebM numbers its own: its version 2
        // takes in the elements that Matroska added in 3 and 4 (muxers write
        // Colour, CueRelativePosition and the like with DocTypeVersion 2).
        const quint8 needed = m_webm ? qMin<quint8>(s.minVersion, 2) : s.minVersion;
        // DocTypeVersion 0 is the ebml-header check's: no element is of it.
        if (needed > c.docTypeVersion && c.docTypeVersion && first(DocTypeVersionCheck, s))
            say(c, DocTypeVersionCheck, [&] {
                return QStringLiteral(
                           "%1 needs DocTypeVersion %2 or later; the EBML header says %3")
                    .arg(name(s))
                    .arg(needed)
                    .arg(c.docTypeVersion);
            });
        if (s.maxVersion == 0 && first(Deprecated, s))
            say(c, Deprecated, [&] {
                return QStringLiteral("%1 is deprecated: no version of the format has it any more")
                    .arg(name(s));
            });
        if (m_webm && !(s.flags & WebM) && s.parent != Anywhere && s.id != Id::Ebml
            && !inEbmlHeader(c) && first(WebMCheck, s)) {
            // WebM forbids few elements outright; of the many it does not
            // list, muxers write some (mkvmerge: LanguageBCP47) that players
            // of WebM read.
            if (s.flags & NotWebM)
                say(c, WebMCheck,
                    [&] { return QStringLiteral("%1 is not allowed in WebM").arg(name(s)); });
            else
                c.report(Severity::Warning, KindIds[WebMCheck], [&] {
                    return QStringLiteral("%1 is not among the elements that WebM lists")
                        .arg(name(s));
                });
        }
    }

    static bool inEbmlHeader(const CheckContext &c)
    {
        return c.depth() > 0 && c.at(0).id == Id::Ebml;
    }

    void endMaster(CheckContext &c, const Frame &frame)
    {
        const OpenElement &e = c.current();
        const Element &s = *frame.schema;
        if (s.id == Id::Ebml && c.depth() == 1)
            endEbmlHeader(c);
        if (e.pastFileEnd)
            return; // cut by the end of the file: its children may be lost
        missingChildren(
            c, frame, s.children, &s, e.offset, [&] { return c.currentPath(); }, e.name);
    }

    template <typename Path>
    void missingChildren(CheckContext &c, const Frame &frame, ChildList children,
                         const Element *master, quint64 offset, const Path &path,
                         const QString &what)
    {
        for (quint16 i = 0; i < children.count && i < frame.countLength; ++i) {
            const Element &child = Elements[Children[children.first + i]];
            if (child.minOccurs == 0 || child.defaultValue || m_counts[frame.countBase + i] > 0)
                continue;
            if (&child == master)
                continue; // a recursive master's own place
            if (child.minVersion > c.docTypeVersion
                || (child.maxVersion != NoMaxVersion && child.maxVersion < c.docTypeVersion))
                continue; // not part of this version
            if (child.id == Id::Ebml)
                continue; // the ebml-header check tells
            sayAt(c, MissingElement, offset, path, [&] {
                return QStringLiteral("%1 lacks %2 (%3), which is required and has no default")
                    .arg(what, name(child), hexId(child.id));
            });
        }
    }

    void endEbmlHeader(CheckContext &c)
    {
        QString docType = c.docType;
        while (docType.endsWith(QChar(0)))
            docType.chop(1);
        m_webm = docType == QLatin1String("webm");
        if (!m_webm && docType != QLatin1String("matroska"))
            sayAt(
                c, EbmlHeader, 0, [&] { return c.currentPath(); },
                [&] {
                    return QStringLiteral("DocType \"%1\"; expected \"matroska\" or \"webm\"")
                        .arg(docType);
                });
        // The DocTypeReadVersion is a child of this header.
        const auto readVersion = [&] {
            return c.currentPath()
                + CheckContext::step(QStringLiteral("DocTypeReadVersion"), m_readVersionIndex);
        };
        if (c.docTypeReadVersion > c.docTypeVersion)
            sayAt(c, DocTypeVersionCheck, m_readVersionOffset, readVersion, [&] {
                return QStringLiteral("DocTypeReadVersion %1 is above DocTypeVersion %2")
                    .arg(c.docTypeReadVersion)
                    .arg(c.docTypeVersion);
            });
    }

    // The payload of the current element, at most limit bytes.
    QByteArray payload(const CheckContext &c, qint64 limit) const
    {
        const OpenElement &e = c.current();
        QByteArray bytes(qsizetype(qMin<quint64>(e.dataSize, quint64(limit))), Qt::Uninitialized);
        bytes.resize(qsizetype(c.read(e.dataOffset, bytes.data(), bytes.size())));
        return bytes;
    }

    void checkValue(CheckContext &c, const Element &s)
    {
        const OpenElement &e = c.current();
        if (s.id == Id::DocTypeReadVersion && c.depth() == 2 && c.parentId() == Id::Ebml) {
            m_readVersionOffset = e.offset;
            m_readVersionIndex = e.index;
        }
        switch (s.type) {
        case UInteger:
        case SInteger:
            if (e.dataSize > 8)
                say(c, BadNumber, [&] {
                    return QStringLiteral("an integer of %1 bytes; at most 8").arg(e.dataSize);
                });
            else
                checkRange(c, s, false);
            break;
        case Date:
            if (e.dataSize != 0 && e.dataSize != 8)
                say(c, BadNumber, [&] {
                    return QStringLiteral("a date of %1 bytes; it must be 0 or 8").arg(e.dataSize);
                });
            break;
        case Float:
            if (e.dataSize != 0 && e.dataSize != 4 && e.dataSize != 8)
                say(c, BadNumber, [&] {
                    return QStringLiteral("a float of %1 bytes; it must be 0, 4 or 8")
                        .arg(e.dataSize);
                });
            else
                checkRange(c, s, true);
            break;
        case String:
        case UTF8: checkText(c, s); break;
        case Binary: checkLength(c, s); break;
        default: break;
        }
    }

    void checkLength(CheckContext &c, const Element &s)
    {
        const OpenElement &e = c.current();
        if (s.minLength == s.maxLength && e.dataSize != s.minLength)
            say(c, ValueLength, [&] {
                return QStringLiteral("%1 bytes; it must be %2").arg(e.dataSize).arg(s.minLength);
            });
        else if (e.dataSize < s.minLength)
            say(c, ValueLength, [&] {
                return QStringLiteral("%1 bytes; it must be at least %2")
                    .arg(e.dataSize)
                    .arg(s.minLength);
            });
    }

    void checkRange(CheckContext &c, const Element &s, bool isFloat)
    {
        const Range &range = s.range;
        const OpenElement &e = c.current();
        if (!range.present || c.valueReported == e.offset)
            return;
        unsigned char bytes[8] = {};
        const qint64 n = qint64(e.dataSize);
        if (n == 0 && s.defaultValue)
            return; // an empty element has its default value
        if (n > 0 && c.read(e.dataOffset, reinterpret_cast<char *>(bytes), n) != n)
            return;
        quint64 raw = 0;
        for (qint64 i = 0; i < n; ++i)
            raw = (raw << 8) | bytes[i];
        double v = 0;
        QString text;
        if (isFloat) {
            if (n == 4) {
                const quint32 bits = quint32(raw);
                float f;
                std::memcpy(&f, &bits, 4);
                v = f;
            } else if (n == 8) {
                std::memcpy(&v, &raw, 8);
            }
            text = number(v);
        } else if (s.type == SInteger) {
            if (n > 0 && n < 8 && (bytes[0] & 0x80))
                raw |= ~quint64(0) << (8 * n); // the sign, extended
            v = double(qint64(raw));
            text = QString::number(qint64(raw));
        } else {
            v = double(raw);
            text = QString::number(raw);
        }
        if (!range.contains(v))
            say(c, ValueRange, [&] {
                return QStringLiteral("%1 is %2; the range is %3")
                    .arg(name(s), text, describe(range));
            });
    }

    void checkText(CheckContext &c, const Element &s)
    {
        checkLength(c, s);
        const OpenElement &e = c.current();
        const QByteArray bytes = payload(c, TextLimit);
        const bool truncated = quint64(bytes.size()) < e.dataSize;
        const qsizetype bad = s.type == UTF8 ? badUtf8(bytes, truncated) : badAscii(bytes);
        if (bad >= 0) {
            say(c, BadText, [&] {
                return QStringLiteral("%1 is not %2: byte 0x%3 at %4 of %5")
                    .arg(name(s), QLatin1String(s.type == UTF8 ? "valid UTF-8" : "printable ASCII"))
                    .arg(uchar(bytes[bad]), 2, 16, QLatin1Char('0'))
                    .arg(bad)
                    .arg(e.dataSize);
            });
            return;
        }
        if (m_webm && s.id == Id::CodecId) {
            QByteArray codec = bytes;
            while (codec.endsWith('\0'))
                codec.chop(1);
            for (const char *allowed : WebMCodecs)
                if (codec == allowed)
                    return;
            say(c, WebMCheck, [&] {
                return QStringLiteral("CodecID \"%1\" is not allowed in WebM; it allows %2")
                    .arg(QString::fromLatin1(codec.left(64)),
                         QStringLiteral("V_VP8, V_VP9, V_AV1, A_VORBIS, A_OPUS and "
                                        "D_WEBVTT/SUBTITLES, CAPTIONS, DESCRIPTIONS, METADATA"));
            });
        }
    }

    std::vector<Frame> m_frames;   // the open elements, after the top level's frame
    std::vector<quint32> m_counts; // children seen, per open master, as a stack
    std::vector<bool> m_reported;  // by table row and check
    qint64 m_lastId = -1;
    const Element *m_lastSchema = nullptr;
    bool m_webm = false;
    quint64 m_readVersionOffset = 0;
    quint64 m_readVersionIndex = 0;
};

} // namespace

void addSchemaChecks(Checks *checks)
{
    checks->push_back(std::make_unique<SchemaChecks>());
}
