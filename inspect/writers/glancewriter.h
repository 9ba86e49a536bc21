// SPDX-License-Identifier: MIT
#pragma once

#include "elementtracker.h"
#include "encodingcache.h"
#include "escape.h"
#include "outputbuffer.h"
#include "sink.h"

#include <QStringList>

// The tree read at a glance: one line per element with its name, offset and
// length, and its value and meaning when it has a Value row; its other rows
// (block fields, lacing, frames) on lines under it, but not its Id and Size
// rows; its annotation after '#'.
//
// Rows come after their element's beginElement, so an element's line is
// left open at the end of the buffer until its value row, or anything else
// that goes under it, or its end: nothing of the tree is kept.
class GlanceWriter : public Sink
{
public:
    struct Settings
    {
        int depth = -1;       // print elements down to this depth (0: top level), -1: all
        QStringList elements; // print only the subtrees of elements of these names, if any
        bool hexOffsets = false;
        bool color = false; // names and values in colour (ANSI escapes)
        // The walk's calls are typed (the modern one): an element's line
        // also says an unknown ID, an unknown size and an end past its
        // parent's.
        bool modern = false;
    };

    // The open elements are those of tracker.
    GlanceWriter(OutputBuffer *out, const Settings &settings, const ElementTracker &tracker);

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override;
    void annotateElement(const QString &text) override;
    void endElement() override;
    void addFrame(const FrameRecord &frame) override;
    void topLevelParsed(int status) override;
    void beginFile(const QString &fileName, quint64 size) override;
    void endFile() override;
    void mark(unsigned marks) override
    {
        m_marks |= marks & (m_settings.modern ? PastFileEnd | PastParentEnd : PastFileEnd);
    }
    void crcChecked(CrcVerdict verdict) override;
    bool wantsHeadRows() const override { return false; }

protected:
    static constexpr size_t IndentSlack = 32;
    // Room for a line's fixed parts: numbers, literals, colour escapes.
    static constexpr size_t LineSlack = 128;

    // Whether elements of depth d lie in a printed subtree (--element).
    bool inSubtree(int d) const
    {
        return m_settings.elements.isEmpty() || (m_subtree >= 0 && d >= m_subtree);
    }
    // With --element, --depth counts from the matched element.
    bool printed(int d) const
    {
        return inSubtree(d)
            && (m_settings.depth < 0
                || d - (m_settings.elements.isEmpty() ? 0 : m_subtree) <= m_settings.depth);
    }
    char *indent(char *p, int depth) const;
    char *offset(char *p, quint64 offset) const;
    // Most rows have no meaning: that takes no call (the default walk of
    // many-blocks from 1,195.6M to 1,165.9M instructions).
    char *words(char *p, const QString &meaning)
    {
        return meaning.isEmpty() ? p : meaningWords(p, meaning);
    }
    char *meaningWords(char *p, const QString &meaning);
    void closeLine()
    {
        if (m_open)
            finishLine();
    }
    void finishLine();
    // The open line lists numbers in parentheses, which its end closes.
    bool m_listOpen = false;
    void marksShown();
    // Starts a line under the innermost element: "# " and colour for notes.
    void noteStart();
    void noteEnd();
    void text(QStringView value);

    using Texts = EncodingCache<&Escape::text>;
    OutputBuffer *m_out;
    Settings m_settings;
    Texts m_names; // of rows and elements: few, each seen again and again
    Texts m_values;

    // The open elements.
    int depth() const { return int(m_tracker.depth()); }

    const ElementTracker &m_tracker;
    int m_subtree = -1;  // the depth of the open element that --element matched
    bool m_shown = true; // the innermost open element is printed
    bool m_open = false; // its line is not ended yet
    bool m_valued = false;
    unsigned m_marks = 0;
    unsigned m_lineMarks = 0; // of the element whose line is open
    quint64 m_below = 0;      // elements under the open one of depth --depth
    quint64 m_frames = 0;
};

// The tree at a glance of a walk whose calls are typed (Settings::modern):
// its Size rows say which elements' sizes are unknown, and a block's rows
// and frame go on the block's own line:
//   SimpleBlock  @38513 len 1348: track 2, 00:00:00.683, key, Xiph lacing, 8 frames (155 197 ...)
//   SimpleBlock  @39861 len 1384: track 1, 00:00:00.720, 1377 bytes, video frame 18
// A row that the line cannot say (a field the file's end cuts) ends the
// line and goes under it, as do the rows after it.
class ModernGlanceWriter : public GlanceWriter
{
public:
    using GlanceWriter::GlanceWriter;

    void beginElement(quint64 offset, quint64 size, const QString &name, qint64 tag) override;
    void addField(bool flag, quint64 offset, quint8 code, quint64 length, const QString &name,
                  const QString &value, const QString &extra, const QString &meaning,
                  qint64 tag) override;
    void addFrame(const FrameRecord &frame) override;

private:
    // Whether the open line is a block's, which its rows go on.
    bool onBlockLine() const { return m_block && m_open && m_shown; }
    void time(qint64 ticks, const QString &meaning);

    bool m_block = false;  // the innermost open element is a SimpleBlock or a Block
    bool m_simple = false; // a SimpleBlock, whose flags say keyframe and discardable
    quint8 m_flags = 0;
    bool m_flagged = false; // its Flags row has come
    bool m_first = false;   // no frame size listed yet
};
