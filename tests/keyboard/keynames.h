#pragma once

// Key names for test scripts: "LCtrl", "a", "1", "F7", "KP1" ... by their scan codes.

#include <QHash>
#include <QString>

inline int scanCodeByName(const QString &name)
{
    static const QHash<QString, int> codes = [] {
        QHash<QString, int> h{
            {"LCtrl", 0x1D}, {"RCtrl", 0x9D}, {"LShift", 0x2A}, {"RShift", 0x36}, {"LAlt", 0x38},
            {"RAlt", 0xB8},  {"LWin", 0xDB},  {"RWin", 0xDC},   {"a", 0x1E},      {"b", 0x30},
            {"c", 0x2E},     {"d", 0x20},     {"e", 0x12},      {"f", 0x21},      {"g", 0x22},
            {"h", 0x23},     {"i", 0x17},     {"j", 0x24},      {"k", 0x25},      {"l", 0x26},
            {"m", 0x32},     {"n", 0x31},     {"o", 0x18},      {"p", 0x19},      {"q", 0x10},
            {"r", 0x13},     {"s", 0x1F},     {"t", 0x14},      {"u", 0x16},      {"v", 0x2F},
            {"w", 0x11},     {"x", 0x2D},     {"y", 0x15},      {"z", 0x2C},      {"F11", 0x57},
            {"F12", 0x58},   {"KP7", 0x47},   {"KP8", 0x48},    {"KP9", 0x49},    {"KP4", 0x4B},
            {"KP5", 0x4C},   {"KP6", 0x4D},   {"KP1", 0x4F},    {"KP2", 0x50},    {"KP3", 0x51},
            {"KP0", 0x52},   {"Space", 0x39}, {"Enter", 0x1C},
        };
        for (int d = 1; d <= 9; ++d)
            h.insert(QString::number(d), 0x01 + d);
        h.insert(QStringLiteral("0"), 0x0B);
        for (int f = 1; f <= 10; ++f)
            h.insert(QStringLiteral("F%1").arg(f), 0x3A + f);
        return h;
    }();
    return codes.value(name, -1);
}
