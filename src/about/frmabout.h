#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>

class QLabel;
class QPushButton;

/// The About box: the program's icon, name, version and copyright notice, and OK. Opened
/// without an owner; it is destroyed when it closes.
///
/// While it is open, Timer1 brings it back in front of the main window and activates it
/// whenever the main window has become the active window. It never becomes a window that
/// stays on top, and it does not take the focus from the program's other windows or from
/// other programs.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);

    /// The window the box comes back in front of.
    void setMainWindow(QWidget *mainWindow) { m_mainWindow = mainWindow; }

    QLabel *picIcon = nullptr;
    QLabel *lblTitle = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblDescription = nullptr;
    QPushButton *cmdOK = nullptr;
    QTimer Timer1;

public slots:
    void cmdOK_Click();
    void Timer1_Timer();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *e) override;

private:
    /// Places the controls for the font: the design, grown where a text needs more room.
    void fitToFont();

    QWidget *Line1 = nullptr;
    QPointer<QWidget> m_mainWindow;
};
