// The optional start-up arguments --ip, --port and --firmware: they only fill the dialog's fields.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

struct StartupOptions {
    std::optional<std::uint32_t> address; // first field in the most significant byte
    std::optional<QString> port;
    std::optional<QString> firmware;
    QStringList problems; // arguments that were not understood; the rest still applies
};

// arguments as the application received them, the program first.
StartupOptions ParseStartupOptions(const QStringList& arguments);

// Four decimal fields of 0 to 255 joined by dots, nothing else.
std::optional<std::uint32_t> ParseDottedQuad(const QString& text);
