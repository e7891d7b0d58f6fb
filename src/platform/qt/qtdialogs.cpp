#include "platform/backends.h"

#include "ui/programicon.h"
#include "platform/dialogs.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>

#include <cstdio>

namespace platform {
namespace {

class QtDialogs : public Dialogs
{
public:
    int messageBox(QWidget *parent, const QString &text, int style, const QString &caption) override
    {
        // Also for the session log: a program started at login has nobody watching its boxes.
        std::fprintf(stderr, "dudud-adadadiz: %s\n", text.toLocal8Bit().constData());
        std::fflush(stderr);
        QMessageBox box(parent);
        box.setObjectName(QStringLiteral("messageBox"));
        box.setWindowIcon(ui::programIcon());
        box.setWindowTitle(caption.isEmpty() ? applicationTitle() : caption);
        box.setText(text);
        box.setIcon((style & MbIconStop) ? QMessageBox::Critical : QMessageBox::NoIcon);
        if ((style & 0xF) == MbYesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
        } else {
            box.setStandardButtons(QMessageBox::Ok);
            box.setDefaultButton(QMessageBox::Ok);
        }
        // Wide enough for the window manager to show the whole caption on the title bar.
        if (auto *grid = qobject_cast<QGridLayout *>(box.layout())) {
            const int title = box.fontMetrics().horizontalAdvance(box.windowTitle()) + 140;
            grid->addItem(new QSpacerItem(title, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                          grid->rowCount(), 0, 1, grid->columnCount());
        }
        const int r = box.exec();
        if ((style & 0xF) == MbYesNo)
            return r == QMessageBox::Yes ? IdYes : IdNo;
        return IdOk;
    }

    QString openFileName(QWidget *parent) override { return QFileDialog::getOpenFileName(parent); }
};

} // namespace

std::unique_ptr<Dialogs> createDialogs()
{
    return std::make_unique<QtDialogs>();
}

} // namespace platform
