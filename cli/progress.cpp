#include "cli/progress.h"

#include <QJsonDocument>
#include <QMutexLocker>

Progress::Progress(Mode mode, std::FILE *out)
    : m_mode(mode)
    , m_out(out)
{
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
        QJsonObject object{{"event", "progress"}, {"port", r.port}, {"model", r.model}, {"phase", r.phase}};
        if (percent >= 0)
            object.insert(QStringLiteral("percent"), percent);
        if (bytesPerSecond >= 0)
            object.insert(QStringLiteral("bytesPerSecond"), qRound64(bytesPerSecond));
        write(object);
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

void Progress::line(const QJsonObject &object)
{
    QMutexLocker lock(&m_mutex);
    if (m_out)
        write(object);
}

void Progress::write(const QJsonObject &object)
{
    std::fprintf(m_out, "%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
    std::fflush(m_out);
}
