#pragma once

#include <QDialog>

class Form1;

/// The entry editor (placeholder until the editor is built).
class Dialog : public QDialog
{
    Q_OBJECT
public:
    explicit Dialog(Form1 &main);

private:
    Form1 &m_main;
};
