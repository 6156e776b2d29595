#pragma once

/* Host side of the panel's serial bootloader: the nine PICBOOT exports and
 * SetTimeoutPIC and RetriesPIC.
 * Plain C linkage so that a program binding them by name finds them, with
 * __stdcall on 32-bit Windows like the library it stands in for. */

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(PICBOOT_BUILDING)
#    define PICBOOT_EXPORT __declspec(dllexport)
#  else
#    define PICBOOT_EXPORT __declspec(dllimport)
#  endif
#  if defined(_WIN64)
#    define PICBOOT_CALL
#  else
#    define PICBOOT_CALL __stdcall
#  endif
#else
#  define PICBOOT_EXPORT __attribute__((visibility("default")))
#  define PICBOOT_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The 16-byte request record, little-endian, as passed to ReadPIC, WritePIC
 * and VerifyPIC. The gaps at offsets 1 and 11 are not used. */
#pragma pack(push, 1)
typedef struct PicRequest {
    uint8_t command;          /* 0: 1 read, 2 write */
    uint8_t reserved1;        /* 1 */
    uint16_t dataLength;      /* 2: bytes to read or write */
    uint32_t bootAddress;     /* 4: program address */
    uint16_t transferUnit;    /* 8: the unit LEN counts in */
    uint8_t bytesPerAddress;  /* 10 */
    uint8_t reserved11;       /* 11 */
    uint16_t deviceParam1;    /* 12: retries for this request */
    uint16_t deviceParam2;    /* 14: device family, passed along */
} PicRequest;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(PicRequest) == 16, "PicRequest is a 16-byte record");
static_assert(offsetof(PicRequest, command) == 0, "command at 0");
static_assert(offsetof(PicRequest, dataLength) == 2, "dataLength at 2");
static_assert(offsetof(PicRequest, bootAddress) == 4, "bootAddress at 4");
static_assert(offsetof(PicRequest, transferUnit) == 8, "transferUnit at 8");
static_assert(offsetof(PicRequest, bytesPerAddress) == 10, "bytesPerAddress at 10");
static_assert(offsetof(PicRequest, deviceParam1) == 12, "deviceParam1 at 12");
static_assert(offsetof(PicRequest, deviceParam2) == 14, "deviceParam2 at 14");
#else
_Static_assert(sizeof(PicRequest) == 16, "PicRequest is a 16-byte record");
#endif

/* Error codes shared by every export, and where each one arises.
 *
 *  -1  IO            OpenPIC: the port does not exist, is not a serial line,
 *                    or is held by someone else (the open is exclusive).
 *                    Any call: the line failed or went away (read or write
 *                    error, the other end hung up); not retried. The link
 *                    lets go of its port at once, and every later call on
 *                    it but RetriesPIC and ClosePIC gives -1 too. A read
 *                    the driver ends early and empty is not a failure nor
 *                    the end of the wait: the time-out is waited out.
 *  -2  TIMEOUT       GetPacket: a silence longer than the time-out before or
 *                    between reply bytes (or more than 1024 bytes of garbage
 *                    without a packet start). Inside a request it leads to a
 *                    retry, and to -5 once the retries are used up.
 *  -3  REPLY_TOO_LONG  The reply holds more bytes than the caller's limit
 *                    (GetPacket, SendGetPacket) or than any packet may
 *                    (ReadPIC, WritePIC, VerifyPIC, ErasePIC, which drop a
 *                    shorter packet that does not answer them); the rest of
 *                    the packet is read off the line; not retried.
 *  -4  CHECKSUM      GetPacket: the packet's bytes do not sum to 0 (an empty
 *                    packet included). Inside a request: retried, then -5.
 *  -5  RETRIES       SendGetPacket, ReadPIC, WritePIC, VerifyPIC, ErasePIC:
 *                    every try ended in -2 or -4. retries is the number of
 *                    tries after the first (0: one try).
 *  -6  COMMAND       Unknown or closed handle; a null pointer; OpenPIC with no
 *                    port, a bit rate the platform cannot set or a time-out
 *                    <= 0; a request record whose command is not the call's
 *                    (ReadPIC 1, WritePIC 2, VerifyPIC 1 or 2); a reply that
 *                    does not answer the request (another command byte, an
 *                    echoed header of another request, a short read).
 *  -7  BLOCK_SMALL   Nothing to send or receive: transferUnit 0, dataLength 0,
 *                    ErasePIC with 0 pages, SendPacket/SendGetPacket count 0,
 *                    a receive limit of 0. (A LEN of 0 would make the device
 *                    leave the bootloader, so it is never sent by a request.)
 *  -8  PACKET_BIG    SendPacket/SendGetPacket over 261 payload bytes; a read
 *                    or write of more than 256 data bytes (one packet).
 *  -9  ADDRESS       bootAddress or ErasePIC's first address past 24 bits, or
 *                    off its block: odd for a read (instructions), not a
 *                    multiple of 0x80 for a write (rows), of 0x400 for an
 *                    erase (pages).
 * -10  BPA_SMALL     bytesPerAddress below 2 (the PIC24's).
 * -11  BPA_BIG       bytesPerAddress above 2.
 * -12  VERIFY        VerifyPIC: the read-back differs from the data. The
 *                    words at 0x0, 0x2, 0x100 and 0x102, which the
 *                    bootloader rewrites itself, are not compared.
 * -13  LENGTH        transferUnit is not the unit the command counts in (4
 *                    bytes, one instruction, for reads; 256 bytes, one row,
 *                    for writes), or dataLength is not a multiple of it.
 *
 * ClosePIC returns 1 when it closed the link and 0 for an unknown or closed
 * handle (callers read any non-zero value as success). Handles start at 1
 * and are never reused. The time-out given to OpenPIC bounds the silence
 * between two received bytes, counted from when the request has left the
 * line; an erase adds 100 ms a page to the wait for the first byte of its
 * reply, since the device answers only when every page is erased.
 *
 * ReadPIC, WritePIC, VerifyPIC and ErasePIC pair each reply with its request:
 * a good packet that cannot answer it (another command byte, a read reply
 * whose echoed header names another address or length, a late reply to an
 * earlier request) is dropped and the link keeps listening within the
 * time-out, so one late or doubled reply costs a retry at most. */
enum {
    PICBOOT_ERR_IO = -1,              /* read/write failure */
    PICBOOT_ERR_TIMEOUT = -2,         /* silence between two bytes too long */
    PICBOOT_ERR_REPLY_TOO_LONG = -3,  /* reply over the caller's limit */
    PICBOOT_ERR_CHECKSUM = -4,        /* bad checksum */
    PICBOOT_ERR_RETRIES = -5,         /* retries used up */
    PICBOOT_ERR_COMMAND = -6,         /* invalid command (or handle/argument) */
    PICBOOT_ERR_BLOCK_SMALL = -7,     /* block too small */
    PICBOOT_ERR_PACKET_BIG = -8,      /* packet too big */
    PICBOOT_ERR_ADDRESS = -9,         /* address off a block boundary */
    PICBOOT_ERR_BPA_SMALL = -10,      /* bytes per address too small */
    PICBOOT_ERR_BPA_BIG = -11,        /* bytes per address too big */
    PICBOOT_ERR_VERIFY = -12,         /* verify failed */
    PICBOOT_ERR_LENGTH = -13          /* length off a block boundary */
};

/* Results on success: OpenPIC the handle (>= 1); SendPacket the payload
 * count; GetPacket and SendGetPacket the reply's unescaped bytes, checksum
 * included (SendGetPacket writes them over its buffer, which must hold
 * max(sendCount, receiveLimit) bytes; on failure the buffer is left alone);
 * ReadPIC the data bytes placed (always dataLength: a short reply is -6);
 * WritePIC the data length; VerifyPIC the bytes compared; ErasePIC the page
 * count. */

typedef int32_t PicHandle;

/* The request record's command byte. */
enum { PICBOOT_COMMAND_READ = 1, PICBOOT_COMMAND_WRITE = 2 };

PICBOOT_EXPORT PicHandle PICBOOT_CALL OpenPIC(const char *port, int32_t bitRate, int32_t timeoutMs);
PICBOOT_EXPORT int32_t PICBOOT_CALL ClosePIC(PicHandle handle);
PICBOOT_EXPORT int32_t PICBOOT_CALL SendPacket(PicHandle handle, const uint8_t *payload, uint16_t count);
PICBOOT_EXPORT int32_t PICBOOT_CALL GetPacket(PicHandle handle, uint8_t *buffer, uint16_t limit);
PICBOOT_EXPORT int32_t PICBOOT_CALL SendGetPacket(PicHandle handle, uint8_t *buffer, uint16_t sendCount,
                                                  uint16_t receiveLimit, uint16_t retries);
PICBOOT_EXPORT int32_t PICBOOT_CALL ReadPIC(PicHandle handle, const PicRequest *request, uint8_t *data);
PICBOOT_EXPORT int32_t PICBOOT_CALL WritePIC(PicHandle handle, const PicRequest *request, const uint8_t *data);
PICBOOT_EXPORT int32_t PICBOOT_CALL VerifyPIC(PicHandle handle, const PicRequest *request, const uint8_t *data);
PICBOOT_EXPORT int32_t PICBOOT_CALL ErasePIC(PicHandle handle, uint32_t firstAddress, uint8_t pageCount,
                                             uint8_t retries);

/* Ours, beside the nine: changes a link's time-out (timeoutMs > 0) and its
 * erase allowance per page (eraseMsPerPage >= 0); other values keep what is
 * set. Returns the time-out in force before, or -6 for an unknown handle.
 * The keep-alive read of a panel that answers in milliseconds need not wait
 * out the time-out an erase needs. */
PICBOOT_EXPORT int32_t PICBOOT_CALL SetTimeoutPIC(PicHandle handle, int32_t timeoutMs, int32_t eraseMsPerPage);

/* Ours too: how many requests the link has sent again, after a silence or
 * a bad checksum, since it was opened; -6 for an unknown handle. What a
 * noisy line or a slow panel cost an update. */
PICBOOT_EXPORT int32_t PICBOOT_CALL RetriesPIC(PicHandle handle);

#ifdef __cplusplus
}
#endif
