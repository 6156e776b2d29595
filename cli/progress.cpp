#include "cli/progress.h"

#include <QMutexLocker>

Progress::Progress(Mode mode, std::FILE *out)
    : m_mode(mode)
    , m_out(out)
{
}

QString Progress::quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + c;
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

int Progress::addPanel(const QString &port)
{
    QMutexLocker lock(&m_mutex);
    Row row;
    row.port = port;
    m_rows.append(row);
    return m_rows.size() - 1;
}

QString Progress::text(const Row &row) const
{
    QString line = QStringLiteral("%1  %2  %3").arg(row.port, -14).arg(row.model, -12).arg(row.phase, -8);
    if (row.percent >= 0)
        line += QStringLiteral(" %1%").arg(row.percent, 3);
    if (row.rate >= 0)
        line += QStringLiteral("  %1 B/s").arg(qRound64(row.rate));
    return line;
}

void Progress::redraw()
{
    // Back to the first panel's line, then every line anew.
    if (m_drawn > 0)
        std::fprintf(m_out, "\x1b[%dA", m_drawn);
    for (const Row &row : qAsConst(m_rows))
        std::fprintf(m_out, "\r\x1b[2K%s\n", qUtf8Printable(text(row)));
    m_drawn = m_rows.size();
    std::fflush(m_out);
}

void Progress::report(int row, const QString &model, const QString &phase, int percent, double bytesPerSecond)
{
    QMutexLocker lock(&m_mutex);
    Row &r = m_rows[row];
    const bool newPhase = r.phase != phase;
    r.model = model;
    r.phase = phase;
    r.percent = percent;
    r.rate = bytesPerSecond;
    if (!m_out)
        return;
    switch (m_mode) {
    case Terminal:
        redraw();
        break;
    case Plain:
        if (newPhase) {
            std::fprintf(m_out, "%s\n", qUtf8Printable(text(r).simplified()));
            std::fflush(m_out);
        }
        break;
    case Json: {
        QString object = QStringLiteral("{\"event\":\"progress\",\"port\":%1,\"model\":%2,\"phase\":%3")
                             .arg(quoted(r.port), quoted(r.model), quoted(r.phase));
        if (percent >= 0)
            object += QStringLiteral(",\"percent\":%1").arg(percent);
        if (bytesPerSecond >= 0)
            object += QStringLiteral(",\"bytesPerSecond\":%1").arg(qRound64(bytesPerSecond));
        std::fprintf(m_out, "%s}\n", qUtf8Printable(object));
        std::fflush(m_out);
        break;
    }
    }
}

void Progress::line(const QString &text)
{
    QMutexLocker lock(&m_mutex);
    if (!m_out)
        return;
    std::fprintf(m_out, "%s\n", qUtf8Printable(text));
    std::fflush(m_out);
    m_drawn = 0;  // the panels' lines stay above it
}
