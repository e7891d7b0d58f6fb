#include "mainwindow/form1.h"
#include "prompt/form2.h"

void Form1::qlauncher_Click()
{
    if (!m_form2)
        m_form2 = new Form2(*this);
    m_form2->show();
}
