#include "prompt/rules/promptlogic.h"

PromptDecision decideEnter(const QString &typed, const QStringList &keywords,
                           const QStringList &actions, bool entries)
{
    PromptDecision d;
    if (!entries)
        return d;
    const QString wanted = typed.toUpper();
    for (qsizetype i = 0; i < keywords.size(); ++i) {
        if (keywords.at(i).toUpper() == wanted) {
            d.kind = PromptDecision::Open;
            d.entry = int(i) + 1;
            d.action = actions.value(i);
            return d;
        }
    }
    d.kind = PromptDecision::NotFound;
    return d;
}

bool timerShouldHide(bool programHasActiveWindow, bool awaitingActivation, qint64 msSinceShown)
{
    if (programHasActiveWindow)
        return false;
    if (awaitingActivation && msSinceShown < PromptActivationGraceMs)
        return false;
    return true;
}
