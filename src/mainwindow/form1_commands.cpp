#include "mainwindow/form1.h"

void Form1::Add_Click() {}
void Form1::Modify_Click() {}
void Form1::Remove_Click() {}
void Form1::Exit_Click()
{
    exit1();
}
