#pragma once
#include <QString>

// The failures of the serial port object. Those with a platform error code
// (errno here) read text + " (win error code: %d)".
enum class PortFailure {
    Open,            // "Unable to open com port"
    Write,           // "WriteFile function failed"
    Read,            // "ReadFile function failed"
    Purge,           // "PurgeComm function failed"
    CommState,       // "SetCommState function failed"
    Timeouts,        // "SetCommTimeouts failed"
    Setup,           // "SetupComm function failed"
    ClearError,      // "ClearCommError function failed"
    LoadSettings,    // "Failed to load settings" (never with a code)
    Registry,        // "Registry error"
};

[[nodiscard]] QString PortErrorText(PortFailure failure);
[[nodiscard]] QString PortErrorText(PortFailure failure, int code);

// Throws the KeloError of a failure with its code.
[[noreturn]] void RaisePortError(PortFailure failure, int code);
