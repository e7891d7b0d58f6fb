#include "editor/dialog.h"

Dialog::Dialog(Form1 &main) : QDialog(nullptr), m_main(main)
{
    setObjectName(QStringLiteral("Dialog"));
}
