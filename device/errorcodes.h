#pragma once

#include <QString>

// The outcome codes the technician can see, and the messages that go with
// them. Only the number travels (through the wizard's "error" property).
enum ErrorCode : int {
    NoError = 0,
    DeviceNotFound = 1,
    ConnectionFailed = 2,
    EraseFailed = 3,
    ConfigParseFailed = 4,
    WriteFailed = 5,
    FileAccessFailed = 6,
};

constexpr int ErrorCodeCount = 7;

// Built once, before main, indexed by code.
extern const QString errorMessages[ErrorCodeCount];
