#include "launch/actionlauncher.h"

#include "platform/shell.h"

bool isWebAddress(const QString &action)
{
    return action.left(4).toUpper() == QLatin1String("HTTP") ||
           action.left(3).toUpper() == QLatin1String("FTP");
}

void launchAction(const QString &action, const std::function<void(const QString &)> &internetlink,
                  platform::Shell &shell)
{
    if (isWebAddress(action))
        internetlink(action);
    else
        shell.open(action);
}

int checkHotkey(const QString &k, const QStringList &hotkeys, const QStringList &actions,
                int count, const std::function<void(const QString &)> &internetlink,
                platform::Shell &shell)
{
    const QString key = k.toUpper();
    const int n = qMin(count, int(qMin(hotkeys.size(), actions.size())));
    int opened = 0;
    for (int i = 0; i < n; ++i) {
        if (hotkeys.at(i).toUpper() == key) {
            launchAction(actions.at(i), internetlink, shell);
            ++opened;
        }
    }
    return opened;
}
