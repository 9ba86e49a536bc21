// SPDX-License-Identifier: MIT
// The input device reads files through a window of pages: every read must
// deliver exactly the file's bytes, wherever it falls against the windows,
// and a walk that jumps fetches little more than what it reads.
#include "inputdevice.h"

#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <random>

TEST(InputDevice, ReadsDeliverTheFileAndJumpsFetchOnePage)
{
    std::mt19937 random(7);
    QByteArray content(1024 * 1024 + 123, Qt::Uninitialized);
    for (char &b : content)
        b = char(random());
    QTemporaryFile file;
    ASSERT_TRUE(file.open() && file.write(content) == content.size() && file.flush());

    // Headers 256 KiB apart: each read after a jump fetches one page.
    InputDevice device;
    ASSERT_TRUE(device.openFile(file.fileName()));
    ASSERT_EQ(device.size(), content.size());
    char header[12];
    for (qint64 position = 0; position < content.size(); position += 256 * 1024) {
        device.seek(position);
        device.readBytes(header, sizeof header);
    }
    EXPECT_LE(device.bytesRead(), quint64(4 * 4096 + 123)); // the last page holds 123

    // Small reads across page and window ends, jumps forwards and back, reads
    // larger than a window, and reads cut by the end of the file.
    for (int i = 0; i < 20000; ++i) {
        qint64 position = qint64(random() % quint32(content.size() + 16));
        if (i % 3 == 0) // the last bytes of a page
            position = (position | 4095) - qint64(random() % 8);
        const qint64 count = i % 97 == 0 ? qint64(random() % 100000) : qint64(1 + random() % 12);
        char buffer[100000 + 1];
        std::memset(buffer, 0x5A, size_t(count) + 1);
        ASSERT_TRUE(device.seek(position));
        const qint64 expected = qBound<qint64>(0, content.size() - position, count);
        ASSERT_EQ(device.readBytes(buffer, count), expected) << position << " " << count;
        ASSERT_EQ(QByteArray(buffer, expected), content.mid(position, expected));
        // What was not delivered is left untouched.
        for (qint64 k = expected; k <= count; ++k)
            ASSERT_EQ(buffer[k], 0x5A);
        ASSERT_EQ(device.pos(), position + expected);
    }
}
