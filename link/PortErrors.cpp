#include "link/PortErrors.h"

#include "settings/KeloError.h"

QString PortErrorText(PortFailure failure)
{
    switch (failure) {
    case PortFailure::Open: return QStringLiteral("Unable to open com port");
    case PortFailure::Write: return QStringLiteral("WriteFile function failed");
    case PortFailure::Read: return QStringLiteral("ReadFile function failed");
    case PortFailure::Purge: return QStringLiteral("PurgeComm function failed");
    case PortFailure::CommState: return QStringLiteral("SetCommState function failed");
    case PortFailure::Timeouts: return QStringLiteral("SetCommTimeouts failed");
    case PortFailure::Setup: return QStringLiteral("SetupComm function failed");
    case PortFailure::ClearError: return QStringLiteral("ClearCommError function failed");
    case PortFailure::LoadSettings: return QStringLiteral("Failed to load settings");
    case PortFailure::Registry: return QStringLiteral("Registry error");
    }
    return {};
}

QString PortErrorText(PortFailure failure, int code)
{
    if (failure == PortFailure::LoadSettings)
        return PortErrorText(failure);
    return PortErrorText(failure) + QStringLiteral(" (win error code: %1)").arg(code);
}

void RaisePortError(PortFailure failure, int code)
{
    throw KeloError(PortErrorText(failure, code));
}
