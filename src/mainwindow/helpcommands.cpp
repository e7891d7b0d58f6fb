#include "mainwindow/form1.h"

void Form1::contents_Click() {}
void Form1::index_Click() {}
void Form1::About_Click() {}
