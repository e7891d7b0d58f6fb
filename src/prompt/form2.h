#pragma once

#include <QWidget>

class Form1;

/// The keyword prompt (placeholder until the prompt is built).
class Form2 : public QWidget
{
    Q_OBJECT
public:
    explicit Form2(Form1 &main);

private:
    Form1 &m_main;
};
