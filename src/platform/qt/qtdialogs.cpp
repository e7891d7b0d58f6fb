#include "platform/qt/qtbackends.h"

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
    explicit QtDialogs(QIcon icon) : m_icon(std::move(icon)) {}

    bool ask(QWidget *parent, const QString &text) override
    {
        QMessageBox box(parent);
        prepare(box, text, QMessageBox::NoIcon);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }

    void tell(QWidget *parent, const QString &text, Severity severity) override
    {
        QMessageBox box(parent);
        prepare(box, text,
                severity == Severity::Error ? QMessageBox::Critical : QMessageBox::NoIcon);
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.exec();
    }

    QString openFileName(QWidget *parent) override { return QFileDialog::getOpenFileName(parent); }

private:
    void prepare(QMessageBox &box, const QString &text, QMessageBox::Icon icon) const
    {
        // Also for the session log: a program started at login has nobody watching its boxes.
        std::fprintf(stderr, "dudud-adadadiz: %s\n", text.toLocal8Bit().constData());
        std::fflush(stderr);
        box.setObjectName(QStringLiteral("messageBox"));
        box.setWindowIcon(m_icon);
        box.setWindowTitle(applicationTitle());
        box.setText(text);
        box.setIcon(icon);
        // Wide enough for the window manager to show the whole caption on the title bar.
        if (auto *grid = qobject_cast<QGridLayout *>(box.layout())) {
            const int title = box.fontMetrics().horizontalAdvance(box.windowTitle()) + 140;
            grid->addItem(new QSpacerItem(title, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                          grid->rowCount(), 0, 1, grid->columnCount());
        }
    }

    QIcon m_icon;
};

} // namespace

std::unique_ptr<Dialogs> makeQtDialogs(const QIcon &windowIcon)
{
    return std::make_unique<QtDialogs>(windowIcon);
}

} // namespace platform
