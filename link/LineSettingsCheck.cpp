#include "link/LineSettingsCheck.h"

#include "settings/Convert.h"

namespace {

bool listed(const QStringList& texts, const QString& text)
{
    return texts.contains(text, Qt::CaseInsensitive);
}

QString spokenList(QStringList texts)
{
    const QString last = texts.takeLast();
    return texts.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

std::optional<int> customRate(const QString& text)
{
    std::optional<int> rate;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        bool ok = false;
        const int value = text.mid(2).toInt(&ok, 16);
        if (ok)
            rate = value;
    } else {
        rate = parseInt32(text);
    }
    if (rate && *rate <= 0)
        return std::nullopt;
    return rate;
}

} // namespace

QString lineSettingKey(LineSetting setting)
{
    switch (setting) {
    case LineSetting::BaudRate: return QStringLiteral("BaudRate");
    case LineSetting::CustomBaudRate: return QStringLiteral("CustomBaudRate");
    case LineSetting::Parity: return QStringLiteral("Parity");
    case LineSetting::DataBits: return QStringLiteral("DataBits");
    case LineSetting::StopBits: return QStringLiteral("StopBits");
    }
    return {};
}

QString lineSettingChoices(LineSetting setting)
{
    switch (setting) {
    case LineSetting::BaudRate: return spokenList(BaudRateTexts().mid(1) << BaudRateTexts().first());
    case LineSetting::CustomBaudRate: return QStringLiteral("a whole number of bits per second above 0");
    case LineSetting::Parity: return spokenList(ParityTexts());
    case LineSetting::DataBits: return spokenList(DataBitsTexts());
    case LineSetting::StopBits: return spokenList(StopBitsTexts());
    }
    return {};
}

bool applyLineSetting(TComPortSettings& s, LineSetting setting, const QString& text)
{
    switch (setting) {
    case LineSetting::BaudRate:
        if (!listed(BaudRateTexts(), text))
            return false;
        s.BaudRate = StrToBaudRate(text);
        return true;
    case LineSetting::CustomBaudRate: {
        const auto rate = customRate(text);
        if (!rate)
            return false;
        s.CustomBaudRate = *rate;
        return true;
    }
    case LineSetting::Parity:
        if (!listed(ParityTexts(), text))
            return false;
        s.Parity = StrToParity(text);
        return true;
    case LineSetting::DataBits:
        if (!listed(DataBitsTexts(), text))
            return false;
        s.DataBits = StrToDataBits(text);
        return true;
    case LineSetting::StopBits:
        if (!listed(StopBitsTexts(), text))
            return false;
        s.StopBits = StrToStopBits(text);
        return true;
    }
    return false;
}
