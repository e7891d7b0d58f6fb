#include "platform/dialogs.h"
#include "platform/qt/qtbackends.h"

#include <QFileDialog>
#include <QMessageBox>

namespace platform {
namespace {

class QtDialogs : public Dialogs
{
public:
    int messageBox(QWidget *parent, const QString &text, int style, const QString &caption) override
    {
        QMessageBox box(parent);
        box.setObjectName(QStringLiteral("messageBox"));
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
