#include "Unit1/TForm1.h"

TForm1::TForm1(QWidget* parent)
    : QWidget(parent)
{
}
