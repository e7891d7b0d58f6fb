#pragma once

#include "platform/trayicon.h"

#include <QtGlobal>

#include <optional>

/// Turns the tray host's activations into what the user did with the icon.
///
/// An XEmbed tray reports a click as a trigger and a double-click as a trigger followed by a
/// double-click. A StatusNotifierItem host never reports a double-click, only two triggers:
/// there the second trigger within the double-click interval becomes the double-click.
class TrayEventTranslator
{
public:
    enum class Host
    {
        XEmbed,
        StatusNotifier
    };
    enum class Activation
    {
        Trigger,
        DoubleClick,
        Context,
        Middle
    };

    explicit TrayEventTranslator(Host host = Host::XEmbed, int doubleClickMs = 400)
        : m_host(host), m_interval(doubleClickMs)
    {
    }
    Host host() const { return m_host; }

    /// What an activation at @p nowMs means, or nothing for one the program does not use.
    std::optional<platform::TrayActivation> translate(Activation a, qint64 nowMs);

private:
    Host m_host;
    int m_interval;
    qint64 m_lastTrigger = -1;
};
