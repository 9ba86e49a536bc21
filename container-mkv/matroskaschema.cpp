// SPDX-License-Identifier: MIT
#include "matroskaschema.h"

#include <algorithm>
#include <string>

namespace MatroskaSchema {

const Element *find(quint32 id)
{
    const Element *end = Elements + ElementCount;
    const Element *e = std::lower_bound(
        Elements, end, id, [](const Element &row, quint32 key) { return row.id < key; });
    return e != end && e->id == id ? e : nullptr;
}

QString name(const Element &element)
{
    return QString::fromRawData(reinterpret_cast<const QChar *>(element.name),
                                qsizetype(std::char_traits<char16_t>::length(element.name)));
}

const char *label(const Element &element, quint64 value)
{
    for (int i = element.firstLabel; i < element.firstLabel + element.labelCount; ++i) {
        if (!Labels[i].text && Labels[i].number == value)
            return Labels[i].label;
    }
    return nullptr;
}

} // namespace MatroskaSchema
