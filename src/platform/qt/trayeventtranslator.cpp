#include "platform/qt/trayeventtranslator.h"

using platform::TrayActivation;

std::optional<TrayActivation> TrayEventTranslator::translate(Activation a, qint64 nowMs)
{
    switch (a) {
    case Activation::Trigger:
        if (m_host == Host::StatusNotifier && m_lastTrigger >= 0 &&
            nowMs - m_lastTrigger <= m_interval) {
            m_lastTrigger = -1;
            return TrayActivation::DoubleClick;
        }
        m_lastTrigger = nowMs;
        return TrayActivation::Click;
    case Activation::DoubleClick:
        m_lastTrigger = -1;
        return TrayActivation::DoubleClick;
    case Activation::Context:
        return TrayActivation::ContextMenu;
    case Activation::Middle:
        break;
    }
    return std::nullopt;
}
