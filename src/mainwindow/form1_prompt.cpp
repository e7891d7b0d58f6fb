#include "mainwindow/form1.h"
#include "platform/qt/windowactivation.h"
#include "prompt/form2.h"

void Form1::qlauncher_Click()
{
    if (!m_form2)
        m_form2 = new Form2(*this);
    m_form2->show();
    // F7 usually arrives while another application has the keyboard; a plain show would
    // leave the prompt behind it on window managers that prevent focus stealing.
    m_form2->activateWindow();
    platform::requestKeyboardFocus(m_form2);
}
