#include "StartupOptions.h"

#include <QCommandLineParser>

namespace {
constexpr int kQuadFields = 4;
constexpr int kMaxFieldDigits = 3;
constexpr unsigned kMaxFieldValue = 255;
constexpr int kBitsPerField = 8;
} // namespace

std::optional<std::uint32_t> ParseDottedQuad(const QString& text)
{
    const QStringList fields = text.split(QLatin1Char('.'));
    if (fields.size() != kQuadFields)
        return std::nullopt;
    std::uint32_t packed = 0;
    for (const QString& field : fields) {
        if (field.isEmpty() || field.size() > kMaxFieldDigits)
            return std::nullopt;
        for (const QChar c : field) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        }
        const unsigned value = field.toUInt();
        if (value > kMaxFieldValue)
            return std::nullopt;
        packed = (packed << kBitsPerField) | value;
    }
    return packed;
}

StartupOptions ParseStartupOptions(const QStringList& arguments)
{
    StartupOptions options;
    QCommandLineParser parser;
    const QCommandLineOption ip(QStringLiteral("ip"), QStringLiteral("Camera address to show."),
                                QStringLiteral("a.b.c.d"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Upgrade port to show."),
                                  QStringLiteral("port"));
    const QCommandLineOption firmware(QStringLiteral("firmware"), QStringLiteral("Firmware file to choose."),
                                      QStringLiteral("path"));
    parser.addOptions({ip, port, firmware});
    if (!parser.parse(arguments))
        options.problems << parser.errorText();

    if (parser.isSet(ip)) {
        options.address = ParseDottedQuad(parser.value(ip));
        if (!options.address)
            options.problems << QStringLiteral("--ip %1 is not an IPv4 address of four fields; ignored")
                                    .arg(parser.value(ip));
    }
    if (parser.isSet(port))
        options.port = parser.value(port); // as typed: the session judges it
    if (parser.isSet(firmware))
        options.firmware = parser.value(firmware);
    for (const QString& extra : parser.positionalArguments())
        options.problems << QStringLiteral("unexpected argument %1; ignored").arg(extra);
    return options;
}
