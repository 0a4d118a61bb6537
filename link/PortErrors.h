#pragma once
#include <QString>

#include "settings/KeloError.h"

// The failures of the serial port object. Those with a platform error code
// (errno here) read text + " (win error code: %d)" + ": " and the system's
// description of the code, so a Linux operator learns what went wrong.
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

// A failure of the serial port object, with its errno (0 when it has none).
class PortError : public KeloError {
public:
    PortError(const QString& text, int code) : KeloError(text), m_code(code) {}
    [[nodiscard]] int code() const noexcept { return m_code; }

private:
    int m_code;
};

[[nodiscard]] QString PortErrorText(PortFailure failure);
[[nodiscard]] QString PortErrorText(PortFailure failure, int code);

// The second line of the "통신 불량" box: why the port did not open, and for
// a refused permission what the operator can do about it.
[[nodiscard]] QString PortOpenAdvice(const QString& errorText, int code);

// Throws the PortError of a failure with its code.
[[noreturn]] void RaisePortError(PortFailure failure, int code);
