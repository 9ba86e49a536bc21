// SPDX-License-Identifier: MIT
#pragma once

#include <cstdio>
#include <type_traits>
#include <vector>

// Keeps records that a writer puts out only at the end of the walk (frames):
// a batch waits in memory, full batches in an anonymous temporary file, so
// memory stays flat however many there are. When no file can be had, or
// writing it fails, the records stay in memory; batches spooled before stay
// good. Records are written as their bytes.
template <typename Record> class FrameSpool
{
    static_assert(std::is_trivially_copyable<Record>::value, "records are spooled as bytes");

public:
    static constexpr size_t BatchSize = 32768;

    FrameSpool() { m_batch.reserve(BatchSize); }
    ~FrameSpool()
    {
        if (m_file)
            std::fclose(m_file);
    }
    FrameSpool(const FrameSpool &) = delete;
    FrameSpool &operator=(const FrameSpool &) = delete;

    void add(const Record &record)
    {
        m_batch.push_back(record);
        if (m_batch.size() >= BatchSize && !m_failed)
            spool();
    }
    unsigned long long size() const { return m_spooled + m_batch.size(); }

    // Hands every record to take, in the order added, and empties the spool.
    template <typename Take> void drain(Take take)
    {
        if (m_file) {
            std::rewind(m_file);
            std::vector<Record> batch(BatchSize);
            for (unsigned long long left = m_spooled; left > 0;) {
                const size_t want = left < BatchSize ? size_t(left) : BatchSize;
                const size_t n = std::fread(batch.data(), sizeof(Record), want, m_file);
                if (n == 0)
                    break;
                for (size_t i = 0; i < n; ++i)
                    take(batch[i]);
                left -= n;
            }
            std::fclose(m_file);
            m_file = nullptr;
        }
        for (const Record &record : m_batch)
            take(record);
        m_batch.clear();
        m_spooled = 0;
    }

private:
    void spool()
    {
        if (!m_file)
            m_file = std::tmpfile();
        if (m_file
            && std::fwrite(m_batch.data(), sizeof(Record), m_batch.size(), m_file)
                == m_batch.size()) {
            m_spooled += m_batch.size();
            m_batch.clear();
        } else {
            m_failed = true;
        }
    }

    std::vector<Record> m_batch;
    std::FILE *m_file = nullptr;
    unsigned long long m_spooled = 0;
    bool m_failed = false;
};
