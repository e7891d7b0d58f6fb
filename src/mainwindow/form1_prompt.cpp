#include "mainwindow/form1.h"
#include "platform/windowfocus.h"
#include "prompt/form2.h"

void Form1::qlauncher_Click()
{
    if (!m_form2)
        m_form2 = new Form2(tables, shell(), dialogs(), windowFocus());
    m_form2->show();
    // F7 usually arrives while another application has the keyboard; a plain show would
    // leave the prompt behind it on window managers that prevent focus stealing.
    m_form2->activateWindow();
    windowFocus().activate(m_form2);
}
