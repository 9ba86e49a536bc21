// SPDX-License-Identifier: MIT
#include "findingswriter.h"

#include "escape.h"

namespace {

void appendText(QByteArray *out, const QString &text)
{
    *out += Escape::forTerminal(text);
}

void appendJson(QByteArray *out, const QString &text)
{
    QByteArray bytes(text.size() * qsizetype(Escape::MaxBytesPerUnit) + 2, Qt::Uninitialized);
    char *end = Escape::jsonQuoted(
        bytes.data(), reinterpret_cast<const char16_t *>(text.constData()), text.size());
    out->append(bytes.constData(), end - bytes.constData());
}

QByteArray plural(quint64 n, const char *word)
{
    return QByteArray::number(n) + ' ' + word + (n == 1 ? "" : "s");
}

} // namespace

void FindingsWriter::beginFile(const QString &, quint64 size)
{
    m_size = size;
}

void FindingsWriter::finding(const Finding &finding)
{
    Count &count = m_counts[QByteArray(finding.check)];
    const quint64 n = finding.counted ? finding.counted : 1;
    switch (finding.severity) {
    case Severity::Error:
        count.errors += n;
        m_errors += n;
        break;
    case Severity::Warning:
        count.warnings += n;
        m_warnings += n;
        break;
    case Severity::Info: count.infos += n; break;
    }
    if (finding.counted || count.shown >= ShownPerCheck) {
        m_omitted += n;
        return;
    }
    ++count.shown;
    write(finding);
}

void FindingsWriter::endFile()
{
    writeEnd();
}

void FindingsTextWriter::write(const Finding &finding)
{
    appendText(&m_output, m_file);
    m_output += QByteArray(": ") + severityText(finding.severity) + ' ' + finding.check + ' '
        + QByteArray::number(finding.offset) + ' ';
    appendText(&m_output, finding.path.isEmpty() ? QStringLiteral("/") : finding.path);
    m_output += ": ";
    appendText(&m_output, finding.message);
    m_output += '\n';
}

void FindingsTextWriter::writeEnd()
{
    appendText(&m_output, m_file);
    m_output += ": " + plural(m_errors, "error") + ", " + plural(m_warnings, "warning");
    QByteArray perCheck;
    for (const auto &[check, count] : m_counts) {
        if (!count.errors && !count.warnings)
            continue;
        perCheck += (perCheck.isEmpty() ? "" : ", ") + check;
        if (count.errors)
            perCheck += ' ' + QByteArray::number(count.errors) + 'E';
        if (count.warnings)
            perCheck += ' ' + QByteArray::number(count.warnings) + 'W';
    }
    if (!perCheck.isEmpty())
        m_output += " (" + perCheck + ')';
    if (m_omitted)
        m_output += "; " + QByteArray::number(m_omitted) + " more not shown";
    m_output += '\n';
}

void FindingsTextWriter::notChecked(const QString &reason)
{
    m_output.clear();
    appendText(&m_output, m_file);
    m_output += ": not checked: ";
    appendText(&m_output, reason);
    m_output += '\n';
}

void FindingsJsonWriter::open()
{
    if (m_opened)
        return;
    m_opened = true;
    m_output += "{\"file\": ";
    appendJson(&m_output, m_file);
    m_output += ", \"size\": " + QByteArray::number(m_size) + ", \"findings\": [";
}

void FindingsJsonWriter::write(const Finding &finding)
{
    m_output += m_opened ? ", " : "";
    open();
    m_output += QByteArray("{\"severity\": \"") + severityText(finding.severity)
        + "\", \"check\": \"" + finding.check
        + "\", \"offset\": " + QByteArray::number(finding.offset) + ", \"path\": ";
    appendJson(&m_output, finding.path.isEmpty() ? QStringLiteral("/") : finding.path);
    m_output += ", \"message\": ";
    appendJson(&m_output, finding.message);
    m_output += '}';
}

void FindingsJsonWriter::writeEnd()
{
    open();
    m_output += "], \"errors\": " + QByteArray::number(m_errors)
        + ", \"warnings\": " + QByteArray::number(m_warnings);
    if (m_omitted)
        m_output += ", \"omitted\": " + QByteArray::number(m_omitted);
    m_output += "}\n";
}

void FindingsJsonWriter::notChecked(const QString &reason)
{
    m_output = "{\"file\": ";
    appendJson(&m_output, m_file);
    m_output += ", \"error\": ";
    appendJson(&m_output, reason);
    // The refusal counts as an error of its own, as the exit status has it.
    m_output += ", \"errors\": " + QByteArray::number(m_errors + 1)
        + ", \"warnings\": " + QByteArray::number(m_warnings) + "}\n";
}
