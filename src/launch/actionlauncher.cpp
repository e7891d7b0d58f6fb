#include "launch/actionlauncher.h"

bool isWebAddress(const QString &action)
{
    return action.left(4).toUpper() == QLatin1String("HTTP") ||
           action.left(3).toUpper() == QLatin1String("FTP");
}

platform::OpenResult launchAction(const QString &action, const InternetLink &internetlink,
                                  platform::Shell &shell)
{
    if (isWebAddress(action))
        return internetlink(action);
    return shell.open(action);
}

QString launchFailedMessage(const QString &action, const QString &why)
{
    return QStringLiteral("The action \"%1\" cannot be opened: %2.\n\n"
                          "Correct the entry's action with Modify... in the main window.")
        .arg(action, why);
}

int checkHotkey(const QString &k, const QStringList &hotkeys, const QStringList &actions, int count,
                const InternetLink &internetlink, platform::Shell &shell, QStringList *failures)
{
    const QString key = k.toUpper();
    const int n = qMin(count, int(qMin(hotkeys.size(), actions.size())));
    int opened = 0;
    for (int i = 0; i < n; ++i) {
        if (hotkeys.at(i).toUpper() != key)
            continue;
        const platform::OpenResult r = launchAction(actions.at(i), internetlink, shell);
        if (r)
            ++opened;
        else if (failures)
            *failures << launchFailedMessage(actions.at(i), r.error);
    }
    return opened;
}
