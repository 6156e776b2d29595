#include "panelline.h"

#include "support/bootframe.h"

const QByteArray PanelLine::kProbe = QByteArray::fromHex("55550101 0000ffff04");
const QByteArray PanelLine::kProbeReply = QByteArray::fromHex("55550101 0000ff08 100000e7 04");
const QByteArray PanelLine::kIdRequest = QByteArray::fromHex("55aa");

PanelOptions PanelLine::unpaced()
{
    PanelOptions options;
    options.paced = false;
    return options;
}

bool PanelLine::start(const PanelOptions &options)
{
    stop();
    panel.reset(new VirtualPanel(options));
    return panel->start() && port.open(panel->devicePath());
}

void PanelLine::stop()
{
    port.close();
    panel.reset();
}

QByteArray PanelLine::exchange(const QByteArray &payload, bool *checksumOk)
{
    port.write(BootFrame::frame(payload));
    return BootFrame::unframe(port.readFrame(kWaitMs), checksumOk);
}

QByteArray PanelLine::rawExchange(const QByteArray &bytes, int size)
{
    port.write(bytes);
    const QByteArray answer = port.read(size, kWaitMs);
    return answer + port.readUntilSilent(50);
}

bool PanelLine::noAnswerTo(const QByteArray &payload)
{
    // Silence only counts once the panel has the packet: under load it may
    // take longer than any fixed pause to get there.
    const int before = panel->packets().size();
    port.write(BootFrame::frame(payload));
    return panel->waitForPackets(before + 1, kWaitMs) && port.readUntilSilent(kSilenceMs).isEmpty();
}
