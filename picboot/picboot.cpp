#include "picboot/picboot.h"

#include "picboot/framing.h"
#include "picboot/handletable.h"
#include "picboot/link.h"
#include "picboot/transport.h"

#include <cstring>
#include <new>

using namespace picboot;

namespace {

// The PIC24FJ128GA106 as the bootloader sees it.
constexpr uint8_t kCmdRead = 0x01;
constexpr uint8_t kCmdWrite = 0x02;
constexpr uint8_t kCmdErase = 0x03;
constexpr uint8_t kBytesPerAddress = 2;
constexpr uint16_t kInstructionBytes = 4;  // reads count instructions
constexpr uint16_t kRowBytes = 256;        // writes count rows
constexpr uint32_t kRowAddresses = kRowBytes / kBytesPerAddress;
constexpr uint32_t kPageAddresses = 0x400;
constexpr uint32_t kAddressMask = 0xFFFFFF;
constexpr size_t kHeader = 5;             // CMD LEN ADDR_L ADDR_H ADDR_U
constexpr uint16_t kMaxData = kMaxPayload - kHeader;

int guarded(int (*body)(void *), void *context)
{
    try {
        return body(context);
    } catch (...) {  // nothing may unwind into a C caller
        return PICBOOT_ERR_IO;
    }
}

template <class F>
int guard(F f)
{
    return guarded([](void *c) { return (*static_cast<F *>(c))(); }, &f);
}

// Runs f on the handle's link with the link held, so two callers never
// interleave packets on one line.
template <class F>
int withLink(PicHandle handle, F f)
{
    const std::shared_ptr<Link> link = HandleTable::instance().find(handle);
    if (!link)
        return PICBOOT_ERR_COMMAND;
    std::lock_guard<std::mutex> lock(link->mutex());
    if (link->hasFailed())  // its line went away: every later call fails as the line did
        return PICBOOT_ERR_IO;
    if (!link->isOpen())  // closed while this call waited for it
        return PICBOOT_ERR_COMMAND;
    return f(*link);
}

void putHeader(uint8_t *out, uint8_t command, uint8_t len, uint32_t address)
{
    out[0] = command;
    out[1] = len;
    out[2] = uint8_t(address);
    out[3] = uint8_t(address >> 8);
    out[4] = uint8_t(address >> 16);
}

// The checks ReadPIC (read), WritePIC (write) and VerifyPIC (either) make
// before anything goes on the line. 0 when the request can be sent.
int checkRequest(const PicRequest *request, const void *data, uint8_t command)
{
    if (!request || !data)
        return PICBOOT_ERR_COMMAND;
    if (request->command != command)
        return PICBOOT_ERR_COMMAND;
    if (request->bytesPerAddress < kBytesPerAddress)
        return PICBOOT_ERR_BPA_SMALL;
    if (request->bytesPerAddress > kBytesPerAddress)
        return PICBOOT_ERR_BPA_BIG;
    // A LEN of 0 would tell the device to leave the bootloader.
    if (request->transferUnit == 0 || request->dataLength == 0)
        return PICBOOT_ERR_BLOCK_SMALL;
    // LEN counts instructions in a read and rows in a write; any other unit
    // would ask the device for a different amount than dataLength.
    const uint16_t unit = command == kCmdRead ? kInstructionBytes : kRowBytes;
    if (request->transferUnit != unit || request->dataLength % unit != 0)
        return PICBOOT_ERR_LENGTH;
    if (request->dataLength > kMaxData)
        return PICBOOT_ERR_PACKET_BIG;
    const uint32_t alignment = command == kCmdRead ? kInstructionBytes / kBytesPerAddress : kRowAddresses;
    if (request->bootAddress > kAddressMask || request->bootAddress % alignment != 0)
        return PICBOOT_ERR_ADDRESS;
    return 0;
}

// A read is answered by its own header echoed, then 4 bytes an instruction,
// then the checksum; a write or an erase by its command byte alone.
bool answersRead(const uint8_t *request, size_t, const uint8_t *reply, size_t length)
{
    return length == kHeader + size_t(request[1]) * kInstructionBytes + 1 && std::memcmp(reply, request, kHeader) == 0;
}

bool answersCommand(const uint8_t *request, size_t, const uint8_t *reply, size_t length)
{
    return length == 2 && reply[0] == request[0];
}

// Reads dataLength bytes at address in one request; the data reach out only
// when the whole reply is good and answers this request.
int readBlock(Link &link, uint32_t address, uint16_t dataLength, unsigned retries, uint8_t *out)
{
    uint8_t request[kHeader];
    putHeader(request, kCmdRead, uint8_t(dataLength / kInstructionBytes), address);
    uint8_t reply[kMaxPayload + 1];
    const size_t expected = kHeader + dataLength + 1;
    const int r = link.exchange(request, kHeader, reply, expected, retries, 0, answersRead);
    if (r < 0)
        return r;
    if (size_t(r) != expected || std::memcmp(reply, request, kHeader) != 0)
        return PICBOOT_ERR_COMMAND;
    std::memcpy(out, reply + kHeader, dataLength);
    return dataLength;
}

// The bootloader keeps its own jump at 0 and 2 and moves the application's
// to 0x100 and 0x102 as it writes, so those words never read back as
// written.
bool rewrittenByBootloader(uint32_t address)
{
    return address == 0x0 || address == 0x2 || address == 0x100 || address == 0x102;
}

} // namespace

extern "C" {

PICBOOT_EXPORT PicHandle PICBOOT_CALL OpenPIC(const char *port, int32_t bitRate, int32_t timeoutMs)
{
    return guard([&]() -> int {
        if (!port || !*port || bitRate <= 0 || timeoutMs <= 0)
            return PICBOOT_ERR_COMMAND;
        std::unique_ptr<Transport> transport = createTransport();
        const int r = transport->open(port, bitRate);
        if (r < 0)
            return r;
        const int32_t handle =
            HandleTable::instance().add(std::make_shared<Link>(std::move(transport), bitRate, timeoutMs));
        return handle < 0 ? PICBOOT_ERR_IO : handle;
    });
}

PICBOOT_EXPORT int32_t PICBOOT_CALL ClosePIC(PicHandle handle)
{
    return guard([&]() -> int {
        const std::shared_ptr<Link> link = HandleTable::instance().remove(handle);
        if (!link)
            return 0;  // callers read 0 as failure: a negative would pass as success
        std::lock_guard<std::mutex> lock(link->mutex());
        link->close();
        return 1;
    });
}

PICBOOT_EXPORT int32_t PICBOOT_CALL SendPacket(PicHandle handle, const uint8_t *payload, uint16_t count)
{
    return guard([&]() -> int {
        if (!payload)
            return PICBOOT_ERR_COMMAND;
        if (count == 0)
            return PICBOOT_ERR_BLOCK_SMALL;
        if (count > kMaxPayload)
            return PICBOOT_ERR_PACKET_BIG;
        return withLink(handle, [&](Link &link) { return link.send(payload, count); });
    });
}

PICBOOT_EXPORT int32_t PICBOOT_CALL GetPacket(PicHandle handle, uint8_t *buffer, uint16_t limit)
{
    return guard([&]() -> int {
        if (!buffer)
            return PICBOOT_ERR_COMMAND;
        if (limit == 0)
            return PICBOOT_ERR_BLOCK_SMALL;
        return withLink(handle, [&](Link &link) { return link.receive(buffer, limit); });
    });
}

PICBOOT_EXPORT int32_t PICBOOT_CALL SendGetPacket(PicHandle handle, uint8_t *buffer, uint16_t sendCount,
                                                  uint16_t receiveLimit, uint16_t retries)
{
    return guard([&]() -> int {
        if (!buffer)
            return PICBOOT_ERR_COMMAND;
        if (sendCount == 0 || receiveLimit == 0)
            return PICBOOT_ERR_BLOCK_SMALL;
        if (sendCount > kMaxPayload)
            return PICBOOT_ERR_PACKET_BIG;
        return withLink(handle, [&](Link &link) {
            return link.exchange(buffer, sendCount, buffer, receiveLimit, retries);
        });
    });
}

PICBOOT_EXPORT int32_t PICBOOT_CALL ReadPIC(PicHandle handle, const PicRequest *request, uint8_t *data)
{
    return guard([&]() -> int {
        const int bad = checkRequest(request, data, kCmdRead);
        if (bad)
            return bad;
        return withLink(handle, [&](Link &link) {
            return readBlock(link, request->bootAddress, request->dataLength, request->deviceParam1, data);
        });
    });
}

PICBOOT_EXPORT int32_t PICBOOT_CALL WritePIC(PicHandle handle, const PicRequest *request, const uint8_t *data)
{
    return guard([&]() -> int {
        const int bad = checkRequest(request, data, kCmdWrite);
        if (bad)
            return bad;
        return withLink(handle, [&](Link &link) {
            uint8_t packet[kMaxPayload];
            putHeader(packet, kCmdWrite, uint8_t(request->dataLength / kRowBytes), request->bootAddress);
            std::memcpy(packet + kHeader, data, request->dataLength);
            uint8_t reply[2];
            const int r = link.exchange(packet, kHeader + request->dataLength, reply, sizeof reply,
                                        request->deviceParam1, 0, answersCommand);
            if (r < 0)
                return r;
            if (r != 2 || reply[0] != kCmdWrite)
                return int(PICBOOT_ERR_COMMAND);
            return int(request->dataLength);
        });
    });
}

PICBOOT_EXPORT int32_t PICBOOT_CALL VerifyPIC(PicHandle handle, const PicRequest *request, const uint8_t *data)
{
    return guard([&]() -> int {
        if (!request)
            return PICBOOT_ERR_COMMAND;
        // The record of a write may be verified as it stands, as may a read's.
        const int bad = checkRequest(request, data, request->command == kCmdWrite ? kCmdWrite : kCmdRead);
        if (bad)
            return bad;
        return withLink(handle, [&](Link &link) {
            uint8_t readBack[kMaxData];
            const int r = readBlock(link, request->bootAddress, request->dataLength, request->deviceParam1,
                                    readBack);
            if (r < 0)
                return r;
            for (int i = 0; i < r; i += kInstructionBytes) {
                const uint32_t address = request->bootAddress + uint32_t(i) / kBytesPerAddress;
                if (std::memcmp(readBack + i, data + i, kInstructionBytes) != 0 && !rewrittenByBootloader(address))
                    return int(PICBOOT_ERR_VERIFY);
            }
            return r;
        });
    });
}

PICBOOT_EXPORT int32_t PICBOOT_CALL ErasePIC(PicHandle handle, uint32_t firstAddress, uint8_t pageCount,
                                             uint8_t retries)
{
    return guard([&]() -> int {
        if (pageCount == 0)
            return PICBOOT_ERR_BLOCK_SMALL;  // LEN 0 would leave the bootloader
        if (firstAddress > kAddressMask || firstAddress % kPageAddresses != 0)
            return PICBOOT_ERR_ADDRESS;
        return withLink(handle, [&](Link &link) {
            uint8_t request[kHeader];
            putHeader(request, kCmdErase, pageCount, firstAddress);
            uint8_t reply[2];
            const int r = link.exchange(request, kHeader, reply, sizeof reply, retries,
                                        pageCount * link.eraseMsPerPage(), answersCommand);
            if (r < 0)
                return r;
            if (r != 2 || reply[0] != kCmdErase)
                return int(PICBOOT_ERR_COMMAND);
            return int(pageCount);
        });
    });
}

PICBOOT_EXPORT int32_t PICBOOT_CALL SetTimeoutPIC(PicHandle handle, int32_t timeoutMs, int32_t eraseMsPerPage)
{
    return guard([&]() -> int {
        return withLink(handle, [&](Link &link) {
            const int before = link.timeoutMs();
            if (timeoutMs > 0)
                link.setTimeoutMs(timeoutMs);
            if (eraseMsPerPage >= 0)
                link.setEraseMsPerPage(eraseMsPerPage);
            return before;
        });
    });
}

PICBOOT_EXPORT int32_t PICBOOT_CALL RetriesPIC(PicHandle handle)
{
    return guard([&]() -> int {
        // Still told once the line has failed: how hard the link tried is what a failure report wants.
        const std::shared_ptr<Link> link = HandleTable::instance().find(handle);
        if (!link)
            return PICBOOT_ERR_COMMAND;
        std::lock_guard<std::mutex> lock(link->mutex());
        return link->resent();
    });
}

} // extern "C"
