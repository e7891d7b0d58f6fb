#include "platform/qt/trayeventtranslator.h"

#include "platform/notifyevents.h"

int TrayEventTranslator::translate(Activation a, qint64 nowMs)
{
    switch (a) {
    case Activation::Trigger:
        if (m_host == Host::StatusNotifier && m_lastTrigger >= 0 &&
            nowMs - m_lastTrigger <= m_interval) {
            m_lastTrigger = -1;
            return platform::WmLButtonDblClk;
        }
        m_lastTrigger = nowMs;
        return platform::WmLButtonUp;
    case Activation::DoubleClick:
        m_lastTrigger = -1;
        return platform::WmLButtonDblClk;
    case Activation::Context:
        return platform::WmRButtonUp;
    case Activation::Middle:
        return platform::WmMButtonUp;
    }
    return 0;
}
