#include "prompt/form2.h"

Form2::Form2(Form1 &main) : QWidget(nullptr), m_main(main)
{
    setObjectName(QStringLiteral("Form2"));
}
