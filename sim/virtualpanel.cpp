#include "sim/virtualpanel.h"

#include "sim/clientwatch.h"
#include "sim/framedecoder.h"
#include "firmware/intelhexdump.h"
#include "sim/panelprotocol.h"
#include "sim/pseudoterminal.h"

#include <QFile>
#include <QSaveFile>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

namespace {
// A USB-to-UART bridge hands bytes over in packets of this size, so the host
// sees a reply arrive in pieces rather than byte by byte. Each piece is
// released when its last byte would have crossed the line.
constexpr int kChunkBytes = 64;
} // namespace

class VirtualPanel::Private
{
public:
    explicit Private(const PanelOptions &initial)
        : options(initial), protocol(initial)
    {
        // Rounded up: a byte never leaves sooner than the line allows.
        if (initial.bitRate > 0)
            byteTime = std::chrono::nanoseconds((10'000'000'000LL + initial.bitRate - 1) / initial.bitRate);
    }

    bool paced() const { return options.paced && options.bitRate > 0; }

    void serve();
    bool handle(FrameDecoder::Event event, Clock::time_point arrival);
    bool send(const QByteArray &bytes, Clock::time_point notBefore);
    bool writeAll(const char *data, int size);
    bool waitUntil(Clock::time_point deadline);
    void checkClients();

    const PanelOptions options;
    Clock::duration byteTime {};

    // Guards protocol (flash, faults, records); serving takes it per request.
    mutable std::mutex mutex;
    mutable std::condition_variable recorded;
    PanelProtocol protocol;
    QString path;

    // Stopping: the flag wakes timed waits, the pipe wakes poll().
    std::mutex stopMutex;
    std::condition_variable stopCondition;
    bool stopping = false;
    int wakePipe[2] = {-1, -1};

    std::thread thread;
    std::atomic<bool> finished {false};     // the serving loop has ended by itself
    std::atomic<bool> dropped {false};

    // Owned by the serving thread while it runs.
    PseudoTerminal pty;
    ClientWatch clients;
    FrameDecoder decoder;
    Clock::time_point rxFree {};        // when the last request byte finished arriving
    Clock::time_point txFree {};        // when the last reply byte finished leaving
};

bool VirtualPanel::Private::waitUntil(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(stopMutex);
    return !stopCondition.wait_until(lock, deadline, [this] { return stopping; });
}

void VirtualPanel::Private::checkClients()
{
    if (clients.update())
        pty.releaseByClients();
}

void VirtualPanel::Private::serve()
{
    // Pacing wakes up at exact deadlines; the default timer slack would make
    // every wake-up some 50 us late.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    char buffer[4096];
    for (;;) {
        pollfd fds[3] = {
            {wakePipe[0], POLLIN, 0},
            {clients.fd(), POLLIN, 0},
            {pty.masterFd(), POLLIN, 0},
        };
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents)
            return;
        // Opens and closes come before the bytes a new client sends.
        if (fds[1].revents)
            checkClients();
        if (fds[2].revents & POLLIN) {
            const ssize_t n = ::read(pty.masterFd(), buffer, sizeof buffer);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n <= 0)
                return;
            const Clock::time_point now = Clock::now();
            for (ssize_t i = 0; i < n; ++i) {
                if (paced())
                    rxFree = std::max(rxFree, now) + byteTime;
                const FrameDecoder::Event event = decoder.feed(quint8(buffer[i]));
                if (event != FrameDecoder::Event::None && !handle(event, paced() ? rxFree : now))
                    return;
            }
        } else if (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // Cannot happen while our own slave descriptor is open; leave
            // rather than spin if it does.
            return;
        }
    }
}

bool VirtualPanel::Private::handle(FrameDecoder::Event event, Clock::time_point arrival)
{
    if (paced() && !waitUntil(arrival))
        return false;

    PanelReply reply;
    {
        std::lock_guard<std::mutex> lock(mutex);
        reply = event == FrameDecoder::Event::Packet ? protocol.handlePacket(decoder.payload())
                                                     : protocol.handleIdRequest();
    }
    recorded.notify_all();

    if (reply.dropLine) {
        // Flagged first: a client that sees the hang-up must find it set.
        dropped = true;
        clients.close();
        pty.close();
        return false;
    }
    if (reply.bytes.isEmpty())
        return true;

    Clock::time_point ready = paced() ? arrival + std::chrono::milliseconds(reply.flashMs) : Clock::now();
    if (reply.delayMs > 0)
        ready = std::max(ready, Clock::now()) + std::chrono::milliseconds(reply.delayMs);
    if (reply.splitAt <= 0)
        return send(reply.bytes, ready);
    if (!send(reply.bytes.left(reply.splitAt), ready))
        return false;
    const Clock::time_point resume = std::max(paced() ? txFree : Clock::now(), Clock::now())
            + std::chrono::milliseconds(reply.splitPauseMs);
    return send(reply.bytes.mid(reply.splitAt), resume);
}

bool VirtualPanel::Private::send(const QByteArray &bytes, Clock::time_point notBefore)
{
    if (!paced()) {
        if (notBefore > Clock::now() && !waitUntil(notBefore))
            return false;
        return writeAll(bytes.constData(), bytes.size());
    }
    const Clock::time_point start = std::max(notBefore, txFree);
    for (int sent = 0; sent < bytes.size();) {
        const int size = std::min(kChunkBytes, int(bytes.size()) - sent);
        const Clock::time_point deadline = start + byteTime * (sent + size);
        if (!waitUntil(deadline))
            return false;
        if (!writeAll(bytes.constData() + sent, size))
            return false;
        sent += size;
        txFree = deadline;
    }
    return true;
}

bool VirtualPanel::Private::writeAll(const char *data, int size)
{
    checkClients();
    while (size > 0) {
        // On a real line, what the panel sends while no one holds the port
        // open is lost.
        if (!clients.hasClients())
            return true;
        const ssize_t n = ::write(pty.masterFd(), data, size_t(size));
        if (n > 0) {
            data += n;
            size -= int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return true;    // the client side is gone; nothing to deliver to
        // The client is not reading and the terminal's buffer is full.
        pollfd fds[3] = {
            {wakePipe[0], POLLIN, 0},
            {clients.fd(), POLLIN, 0},
            {pty.masterFd(), POLLOUT, 0},
        };
        if (::poll(fds, 3, -1) < 0 && errno != EINTR)
            return false;
        if (fds[0].revents)
            return false;
        if (fds[1].revents)
            checkClients();
    }
    return true;
}

VirtualPanel::VirtualPanel(const PanelOptions &options)
    : d(new Private(options))
{
}

VirtualPanel::~VirtualPanel()
{
    stop();
}

bool VirtualPanel::start()
{
    if (d->thread.joinable()) {
        // After a dropped line the thread is ending by itself (perhaps not
        // quite yet): start over on a new terminal.
        if (!d->finished && !d->dropped)
            return false;
        stop();
    }
    if (!d->pty.open())
        return false;
    d->clients.watch(d->pty.slavePath());   // without it every client counts as present
    if (::pipe2(d->wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        d->clients.close();
        d->pty.close();
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->path = d->pty.slavePath();
    }
    {
        std::lock_guard<std::mutex> lock(d->stopMutex);
        d->stopping = false;
    }
    d->dropped = false;
    d->decoder.reset();
    d->finished = false;
    d->thread = std::thread([this] {
        d->serve();
        d->finished = true;
    });
    return true;
}

void VirtualPanel::stop()
{
    if (!d->thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(d->stopMutex);
        d->stopping = true;
    }
    d->stopCondition.notify_all();
    const char wake = 1;
    if (::write(d->wakePipe[1], &wake, 1) < 0) {
        // The pipe is never full here; the flag above still ends timed waits.
    }
    d->thread.join();
    ::close(d->wakePipe[0]);
    ::close(d->wakePipe[1]);
    d->wakePipe[0] = d->wakePipe[1] = -1;
    d->clients.close();
    d->pty.close();
}

QString VirtualPanel::devicePath() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->path;
}

void VirtualPanel::setFaults(const PanelFaults &faults)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->protocol.setFaults(faults);
}

void VirtualPanel::setModelByte(int modelByte)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->protocol.setModelByte(modelByte);
}

void VirtualPanel::resetBootloader()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->protocol.resetBootloader();
}

bool VirtualPanel::inBootloader() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->protocol.inBootloader();
}

QByteArray VirtualPanel::fileBytes() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->protocol.flash().fileBytes();
}

QByteArray VirtualPanel::readFlash(quint32 address, int instructions) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->protocol.flash().read(address, instructions);
}

void VirtualPanel::fillFlash(quint8 value)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->protocol.flash().fill(value);
}

bool VirtualPanel::dumpHex(const QString &path) const
{
    const QByteArray text = IntelHexDump::fromFileBytes(fileBytes());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    if (file.write(text) != text.size())
        return false;
    return file.commit();
}

QList<QByteArray> VirtualPanel::packets() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->protocol.packets();
}

void VirtualPanel::clearPackets()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->protocol.clearPackets();
}

bool VirtualPanel::waitForPackets(int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(d->mutex);
    return d->recorded.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this, count] { return d->protocol.packets().size() >= count; });
}

int VirtualPanel::rowWrites() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->protocol.rowWrites();
}

int VirtualPanel::pageErases() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->protocol.pageErases();
}

int VirtualPanel::rejectedRequests() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->protocol.rejectedRequests();
}

int VirtualPanel::idRequests() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->protocol.idRequests();
}

bool VirtualPanel::lineDropped() const
{
    return d->dropped;
}
