#include "cli/progress.h"

#include <QJsonDocument>
#include <QMutexLocker>

namespace {
constexpr int kRedrawMs = 100;
}

Progress::Progress(Mode mode, std::FILE *out, const QString &command)
    : m_mode(mode)
    , m_out(out)
    , m_command(command)
{
    if (m_out)
        m_writer = std::thread([this] { writer(); });
}

Progress::~Progress()
{
    {
        QMutexLocker lock(&m_mutex);
        m_ending = true;
        m_wake.wakeAll();
    }
    if (m_writer.joinable())
        m_writer.join();
}

void Progress::writer()
{
    QMutexLocker lock(&m_mutex);
    for (;;) {
        while (m_queue.isEmpty() && !m_ending)
            m_wake.wait(&m_mutex);
        if (m_queue.isEmpty())
            break;
        const QByteArray bytes = m_queue.takeFirst();
        m_writing = true;
        lock.unlock();
        if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out) == size_t(bytes.size()))
            std::fflush(m_out);
        lock.relock();
        m_writing = false;
        if (m_queue.isEmpty())
            m_drained.wakeAll();
    }
    m_drained.wakeAll();
}

void Progress::flush()
{
    QMutexLocker lock(&m_mutex);
    while (m_out && (!m_queue.isEmpty() || m_writing))
        m_drained.wait(&m_mutex);
}

// Under m_mutex.
void Progress::write(const QByteArray &bytes)
{
    if (!m_out)
        return;
    m_queue.append(bytes);
    m_wake.wakeAll();
}

QString Progress::printable(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString Progress::place(const QString &port, const QString &slot)
{
    return slot.isEmpty() ? port : slot + QLatin1Char(' ') + port;
}

int Progress::addPanel(const QString &port, const QString &slot)
{
    QMutexLocker lock(&m_mutex);
    // One line a slot: a panel plugged in where another was takes its line.
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows.at(i).port == port && m_rows.at(i).slot == slot)
            return i;
    Row row;
    row.port = port;
    row.slot = slot;
    m_rows.append(row);
    return m_rows.size() - 1;
}

QString Progress::text(const Row &row) const
{
    QString line = QStringLiteral("%1  %2  %3").arg(printable(place(row.port, row.slot)), -14).arg(row.model, -12).arg(row.phase, -8);
    if (row.percent >= 0)
        line += QStringLiteral(" %1%").arg(row.percent, 3);
    if (row.secondsLeft >= 0)
        line += QStringLiteral("  %1:%2 left").arg(int(row.secondsLeft + 0.5) / 60).arg(int(row.secondsLeft + 0.5) % 60, 2, 10,
                                                                                     QLatin1Char('0'));
    return line;
}

void Progress::redraw()
{
    // Back to the first panel's line, then every line anew.
    QByteArray screen = m_drawn > 0 ? QStringLiteral("\x1b[%1A").arg(m_drawn).toUtf8() : QByteArray();
    for (const Row &row : qAsConst(m_rows))
        screen += "\r\x1b[2K" + text(row).toUtf8() + '\n';
    m_drawn = m_rows.size();
    write(screen);
    m_sinceRedraw.start();
}

void Progress::report(int row, const QString &model, const QString &phase, int percent, double secondsLeft)
{
    QMutexLocker lock(&m_mutex);
    Row &r = m_rows[row];
    const bool newPhase = r.phase != phase;
    r.model = model;
    r.phase = phase;
    r.percent = percent;
    r.secondsLeft = secondsLeft;
    if (!m_out)
        return;
    switch (m_mode) {
    case Terminal:
        if (newPhase || !m_sinceRedraw.isValid() || m_sinceRedraw.elapsed() >= kRedrawMs)
            redraw();
        break;
    case Plain:
        if (newPhase || (percent >= 0 && percent / 10 != r.shown)) {
            r.shown = percent >= 0 ? percent / 10 : -1;
            write(text(r).simplified().toUtf8() + '\n');
        }
        break;
    case Json: {
        if (!newPhase && percent == r.shown)
            break;
        r.shown = percent;
        QJsonObject object{{"event", "progress"}, {"command", m_command}, {"port", r.port}, {"slot", r.slot},
                           {"model", r.model}, {"phase", r.phase}};
        if (percent >= 0)
            object.insert(QStringLiteral("percent"), percent);
        if (secondsLeft >= 0)
            object.insert(QStringLiteral("secondsLeft"), qRound(secondsLeft * 10) / 10.0);
        write(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
        break;
    }
    }
}

void Progress::line(const QString &text)
{
    QMutexLocker lock(&m_mutex);
    write(text.toUtf8() + '\n');
    m_drawn = 0;  // the panels' lines stay above it
}

void Progress::line(QJsonObject object)
{
    QMutexLocker lock(&m_mutex);
    if (!object.contains(QStringLiteral("command")))
        object.insert(QStringLiteral("command"), m_command);
    write(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
}
