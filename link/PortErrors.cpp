#include "link/PortErrors.h"

#include <cerrno>
#include <cstring>

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
    return PortErrorText(failure) + QStringLiteral(" (win error code: %1): %2")
                                        .arg(code)
                                        .arg(QString::fromLocal8Bit(std::strerror(code)));
}

QString PortOpenAdvice(const QString& errorText, int code)
{
    if (code == EACCES)
        return errorText
            + QStringLiteral("\n이 장치를 쓸 권한이 없습니다. 사용자를 dialout 그룹에 넣고"
                             " (sudo usermod -aG dialout 사용자이름) 다시 로그인하십시오.");
    return errorText;
}

void RaisePortError(PortFailure failure, int code)
{
    throw PortError(PortErrorText(failure, code), code);
}
