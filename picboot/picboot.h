#pragma once

/* Host side of the panel's serial bootloader: the nine PICBOOT exports.
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

/* Error codes shared by every export. */
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

typedef int32_t PicHandle;

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

#ifdef __cplusplus
}
#endif
