#include "Unit1/Application.h"
#include "platform/Memory.h"

int main(int argc, char** argv)
{
    velmar::prepareHeap();
    return runApplication(argc, argv);
}
