#pragma once

#include <QDialog>

/// The About box (placeholder until it is built).
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);
};
