// The session layer over a scripted line, for what a real driver does and a
// pseudo-terminal does not: reads that end early and empty, replies that
// trickle in a byte at a time, and a line that fails mid-reply.
#include "picboot/link.h"
#include "picboot/picboot.h"
#include "support/bootframe.h"

#include <QElapsedTimer>
#include <QtTest>

#include <chrono>
#include <cstring>
#include <deque>
#include <thread>

namespace {

// One read's outcome: bytes, an early empty return (-2 at once), or a
// failure (-1). Past the script the line is silent for the whole wait.
struct Step
{
    QByteArray bytes;
    int code = 0;
};

class ScriptedLine : public picboot::Transport
{
public:
    explicit ScriptedLine(std::deque<Step> script, bool *closed) : m_script(std::move(script)), m_closed(closed) {}
    int open(const char *, int32_t) override { return 0; }
    void close() override { *m_closed = true; }
    int write(const uint8_t *, size_t count, int) override { return int(count); }
    void discardInput() override {}
    int read(uint8_t *buffer, size_t capacity, int timeoutMs) override
    {
        if (m_script.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            return PICBOOT_ERR_TIMEOUT;
        }
        const Step step = m_script.front();
        m_script.pop_front();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (step.code != 0)
            return step.code;
        const size_t n = std::min(capacity, size_t(step.bytes.size()));
        std::memcpy(buffer, step.bytes.constData(), n);
        return int(n);
    }

private:
    std::deque<Step> m_script;
    bool *m_closed;
};

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void aLineAsDriversGiveIt_data();
    void aLineAsDriversGiveIt();
};

void TestLink::aLineAsDriversGiveIt_data()
{
    QTest::addColumn<int>("script");  // 0 early empties, 1 a byte at a time, 2 fails mid-reply, 3 silent
    QTest::addColumn<int>("rc");      // >0: the reply's length
    QTest::addColumn<bool>("closed");
    QTest::newRow("reads that end early and empty, then the reply") << 0 << 1 << false;
    QTest::newRow("the reply a byte at a time") << 1 << 1 << false;
    QTest::newRow("the line fails mid-reply: closed at once") << 2 << int(PICBOOT_ERR_IO) << true;
    QTest::newRow("true silence: asked again, then given up") << 3 << int(PICBOOT_ERR_RETRIES) << false;
}

void TestLink::aLineAsDriversGiveIt()
{
    QFETCH(int, script);
    QFETCH(int, rc);
    QFETCH(bool, closed);
    const QByteArray request = BootFrame::readRequest(0x400, 2);
    const QByteArray payload = request + BootFrame::pattern(2, 5);
    const QByteArray reply = BootFrame::frame(payload);
    std::deque<Step> steps;
    switch (script) {
    case 0:
        for (int i = 0; i < 20; ++i)
            steps.push_back({{}, PICBOOT_ERR_TIMEOUT});
        steps.push_back({reply});
        break;
    case 1:
        for (char byte : reply)
            steps.push_back({QByteArray(1, byte)});
        break;
    case 2:
        steps.push_back({reply.left(6)});
        steps.push_back({{}, PICBOOT_ERR_IO});
        break;
    default:
        break;
    }
    bool wasClosed = false;
    const int timeoutMs = 150;
    picboot::Link link(std::make_unique<ScriptedLine>(steps, &wasClosed), 115200, timeoutMs);
    uint8_t received[512];
    QElapsedTimer clock;
    clock.start();
    const int r = link.exchange(reinterpret_cast<const uint8_t *>(request.constData()), size_t(request.size()),
                                received, sizeof received, 1);
    QCOMPARE(r, rc > 0 ? payload.size() + 1 : rc);
    if (rc > 0) {
        QCOMPARE(QByteArray(reinterpret_cast<char *>(received), payload.size()), payload);
        QCOMPARE(link.resent(), 0);
    }
    QCOMPARE(wasClosed, closed);
    QVERIFY(link.isOpen() != closed && link.hasFailed() == closed);
    // Silence is waited out once a try, never cut short.
    QVERIFY(script != 3 || clock.elapsed() >= 2 * timeoutMs);
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
